// SPDX-License-Identifier: MIT
// Finding and opening the plug-in. The host knows the plug-in only by its three
// C exports: it must keep working with any library that has them, so it never
// links against libdocseek.
#pragma once

#include <docseek/plugin.h>

#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace docseek::cli {

struct Plugin {
  std::string path;
  docseek_GetBackType_fn get_back_type = nullptr;
  docseek_GetBackCount_fn get_back_count = nullptr;
  docseek_Getinfo_fn getinfo = nullptr;
};

struct LoadError {
  std::string message;
};

// Where the plug-in sits beside the program at `program_path`, best first:
// ../lib in both the build tree (build/bin, build/lib) and a plain install,
// then the install's own library folder when it is another one (a multiarch
// folder such as lib/x86_64-linux-gnu).
std::vector<std::string> DefaultPluginPaths(std::string_view program_path);

// Opens the library at `path` and looks up the three exports. A path without
// a slash is taken relative to the current folder rather than searched for
// along the library path, so that what is loaded is what the user named.
std::variant<Plugin, LoadError> LoadPlugin(std::string path);

// The first of DefaultPluginPaths() that exists, opened; the error names every
// place looked at when there is none.
std::variant<Plugin, LoadError> LoadDefaultPlugin(std::string_view program_path);

}  // namespace docseek::cli
