// SPDX-License-Identifier: MIT
#include "plugin_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <type_traits>

#ifndef DOCSEEK_LIBDIR_FROM_BINDIR
#define DOCSEEK_LIBDIR_FROM_BINDIR "../lib"
#endif

namespace docseek::cli {
namespace {

constexpr const char* kLibraryName = "libdocseek.so";

std::string DlError() {
  const char* text = dlerror();
  return text != nullptr ? text : "unknown error";
}

}  // namespace

std::vector<std::string> DefaultPluginPaths(std::string_view program_path) {
  const std::filesystem::path bin_dir = std::filesystem::path(program_path).parent_path();
  std::vector<std::string> paths;
  for (const char* lib_dir : {"../lib", DOCSEEK_LIBDIR_FROM_BINDIR}) {
    std::string path = (bin_dir / lib_dir / kLibraryName).lexically_normal().string();
    if (paths.empty() || paths.front() != path) paths.push_back(std::move(path));
  }
  return paths;
}

std::variant<Plugin, LoadError> LoadPlugin(std::string path) {
  if (path.find('/') == std::string::npos) path = "./" + path;
  dlerror();
  // RTLD_NOW: a library with unresolved symbols is refused here, with a
  // message, rather than failing in the middle of a search.
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    return LoadError{"cannot load the plug-in " + path + ": " + DlError()};
  }
  Plugin plugin{.path = path};
  std::string missing;
  const auto lookup = [&](const char* name, auto& slot) {
    dlerror();
    void* symbol = dlsym(handle, name);
    if (symbol != nullptr) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(symbol);
    } else {
      missing += missing.empty() ? name : std::string(", ") + name;
    }
  };
  lookup("GetBackType", plugin.get_back_type);
  lookup("GetBackCount", plugin.get_back_count);
  lookup("Getinfo", plugin.getinfo);
  if (!missing.empty()) {
    dlclose(handle);
    return LoadError{"cannot use the plug-in " + path + ": it does not export " + missing};
  }
  // The handle is never closed: the plug-in may leave types or threads
  // registered with its libraries, and the process ends soon after anyway.
  return plugin;
}

std::variant<Plugin, LoadError> LoadDefaultPlugin(std::string_view program_path) {
  const std::vector<std::string> paths = DefaultPluginPaths(program_path);
  for (const std::string& path : paths) {
    if (access(path.c_str(), F_OK) == 0) return LoadPlugin(path);
  }
  std::string message = "no plug-in found at " + paths.front();
  for (std::size_t i = 1; i < paths.size(); ++i) message += " nor at " + paths[i];
  message += "; name one with --plugin PATH";
  return LoadError{std::move(message)};
}

}  // namespace docseek::cli
