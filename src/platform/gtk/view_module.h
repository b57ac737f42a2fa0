// SPDX-License-Identifier: MIT
#pragma once

// The plain C contract between the plug-in and its window module
// (libdocseek-gtk.so). The plug-in links no toolkit: it opens the module only
// when a display is there and reaches it through this table, so nothing of
// C++ or GTK crosses between the two libraries. No function here may let an
// exception out or fail the search: a view that cannot draw simply draws
// nothing.

#ifdef __cplusplus
extern "C" {
#endif

#define DOCSEEK_VIEW_MODULE_VERSION 1
// The one symbol the module exports.
#define DOCSEEK_VIEW_MODULE_ENTRY "docseek_view_module_get"

typedef struct docseek_view docseek_view;

typedef struct docseek_view_module {
  int version;  // DOCSEEK_VIEW_MODULE_VERSION
  // Opens the display and builds the (hidden) window. `on_close_request` is
  // called, with `user`, when the user closes the window by other means (the
  // window manager's close, Alt+F4); the window stays up until hide(). Returns
  // null when no display can be opened.
  docseek_view* (*create)(void (*on_close_request)(void* user), void* user);
  void (*show)(docseek_view* view);
  void (*hide)(docseek_view* view);
  // One step of progress: a hit read or a page started.
  void (*update)(docseek_view* view, const char* engine, const char* item, int index, int total,
                 int hits);
  // A modal message over the window; returns once the user has dismissed it.
  void (*message)(docseek_view* view, const char* text);
  void (*destroy)(docseek_view* view);
} docseek_view_module;

typedef const docseek_view_module* (*docseek_view_module_fn)(void);

#ifdef __cplusplus
}
#endif
