// SPDX-License-Identifier: MIT
#pragma once

// Finding and opening the search window's module (libdocseek-gtk.so). The
// plug-in links no toolkit; it opens the module only when the process can
// show a GTK 3 window, and falls back to the terminal view otherwise.

#include <memory>
#include <string>

#include "platform/forms.h"

namespace docseek::platform {

// The module's path: libdocseek-gtk.so in the folder of the library (or
// program) that holds this code, as found through the dynamic linker.
std::string WindowModulePath();

// Whether this process and thread can show the window: a display is named,
// this thread owns GLib's default context (the one GTK delivers its events
// on), and no other GTK major version is already loaded.
bool WindowPossible();

// The window view from the module at `path`; null when the module cannot be
// loaded, is not ours, or cannot open the display.
std::unique_ptr<FormView> LoadWindowView(const std::string& path);

}  // namespace docseek::platform
