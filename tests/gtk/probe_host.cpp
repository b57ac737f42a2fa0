// SPDX-License-Identifier: MIT
// A host on no toolkit: loads the plug-in at ARGV[1], runs one search for
// pdf with two hits, and reports what it got and what the search mapped into
// the process:
//   lines=N        lines appended to the results list
//   module=PATH    the window module, or empty when it was never loaded
//   gtk=0|1        whether GTK 3 is in the process
//   locale=NAME    the process's locale afterwards (this host never sets one)
// With --preload LIB it first loads LIB globally, as a host built on another
// toolkit would have it; --preload-local LIB loads it privately, as a
// scripting host's extension would.
#include <dlfcn.h>
#include <docseek/plugin.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <docseek/string_list.hpp>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  const bool global = argc == 4 && std::strcmp(argv[2], "--preload") == 0;
  const bool local = argc == 4 && std::strcmp(argv[2], "--preload-local") == 0;
  if (argc != 2 && !global && !local) {
    std::fprintf(stderr, "usage: probe_host PLUGIN [--preload|--preload-local LIB]\n");
    return 2;
  }
  if (argc == 4 && dlopen(argv[3], RTLD_NOW | (global ? RTLD_GLOBAL : RTLD_LOCAL)) == nullptr) {
    std::fprintf(stderr, "probe_host: %s\n", dlerror());
    return 1;
  }
  void* plugin = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (plugin == nullptr) {
    std::fprintf(stderr, "probe_host: %s\n", dlerror());
    return 1;
  }
  auto getinfo = reinterpret_cast<docseek_Getinfo_fn>(dlsym(plugin, "Getinfo"));
  docseek::StringList types{"pdf"};
  docseek::StringList results;
  getinfo(results.list(), types.list(), 2, "report", "");

  std::string module;
  bool gtk = false;
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) {
    const std::size_t path = line.find('/');
    if (path == std::string::npos) continue;
    if (line.find("/libdocseek-gtk.so") != std::string::npos) module = line.substr(path);
    if (line.find("/libgtk-3.so") != std::string::npos) gtk = true;
  }
  std::printf("lines=%zu\nmodule=%s\ngtk=%d\nlocale=%s\n", results.lines().size(), module.c_str(),
              gtk ? 1 : 0, std::setlocale(LC_ALL, nullptr));
  return 0;
}
