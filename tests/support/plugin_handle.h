// SPDX-License-Identifier: MIT
// The real plug-in, loaded as a host loads it (dlopen of build/lib/libdocseek.so), for tests
// that must go through the C boundary.
#pragma once

#include <dlfcn.h>
#include <docseek/plugin.h>

#include <stdexcept>
#include <string>

namespace docseek::test {

class PluginHandle {
 public:
  static PluginHandle& Get() {
    static PluginHandle instance;
    return instance;
  }
  docseek_GetBackType_fn GetBackType = nullptr;
  docseek_GetBackCount_fn GetBackCount = nullptr;
  docseek_Getinfo_fn Getinfo = nullptr;

 private:
  PluginHandle() {
    const std::string path = DOCSEEK_BINARY_DIR "/lib/libdocseek.so";
    // Never unloaded: GLib keeps type registrations that must not dangle.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) throw std::runtime_error(dlerror());
    GetBackType = reinterpret_cast<docseek_GetBackType_fn>(dlsym(handle, "GetBackType"));
    GetBackCount = reinterpret_cast<docseek_GetBackCount_fn>(dlsym(handle, "GetBackCount"));
    Getinfo = reinterpret_cast<docseek_Getinfo_fn>(dlsym(handle, "Getinfo"));
  }
};

}  // namespace docseek::test
