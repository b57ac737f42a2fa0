// SPDX-License-Identifier: MIT
// A minimal host built against an installed copy: finds the plug-in through
// pkg-config, loads it and lists what it offers.
#include <dlfcn.h>
#include <docseek/string_list.hpp>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  void* plugin = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (plugin == nullptr) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  auto get_types = reinterpret_cast<docseek_GetBackType_fn>(dlsym(plugin, "GetBackType"));
  auto get_counts = reinterpret_cast<docseek_GetBackCount_fn>(dlsym(plugin, "GetBackCount"));
  if (get_types == nullptr || get_counts == nullptr || dlsym(plugin, "Getinfo") == nullptr) return 1;
  docseek::StringList lines;
  get_types(lines.list());
  get_counts(lines.list());
  for (const std::string& line : lines.lines()) std::printf("%s\n", line.c_str());
  return 0;
}
