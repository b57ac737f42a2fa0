// SPDX-License-Identifier: MIT
// The search window on a GTK 3 display, built as its own module
// (libdocseek-gtk.so) so that the plug-in itself links no toolkit. The window
// is a view only: the plug-in's event loop, which iterates the same GLib
// context GTK uses, delivers its events while the search runs.

#include <gtk/gtk.h>

#include <new>

#include "platform/gtk/view_module.h"

struct docseek_view {
  GtkBuilder* builder = nullptr;
  GtkWindow* window = nullptr;
  GtkProgressBar* progress = nullptr;
  guint pulse_source = 0;
  void (*on_close_request)(void* user) = nullptr;
  void* user = nullptr;
};

namespace {

// How often the indeterminate bar moves on its own, like a marquee.
constexpr guint kPulseMilliseconds = 100;

void Flush() {
  if (GdkDisplay* display = gdk_display_get_default()) gdk_display_flush(display);
}

// Our style, for our windows only (the selectors name them), added once per
// screen for the life of the process.
void AddStyleOnce() {
  static bool added = false;
  if (added) return;
  GdkScreen* screen = gdk_screen_get_default();
  if (screen == nullptr) return;
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_resource(css, "/org/docseek/form4/form4.css");
  gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(css),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);
  added = true;
}

// The host's window the user is working in, if the host is a GTK 3 program.
GtkWindow* HostActiveWindow(GtkWindow* ours) {
  GtkWindow* active = nullptr;
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* item = toplevels; item != nullptr; item = item->next) {
    auto* window = static_cast<GtkWindow*>(item->data);
    if (window != ours && gtk_widget_get_visible(GTK_WIDGET(window)) &&
        gtk_window_is_active(window)) {
      active = window;
      break;
    }
  }
  g_list_free(toplevels);
  return active;
}

gboolean Pulse(gpointer data) {
  gtk_progress_bar_pulse(static_cast<docseek_view*>(data)->progress);
  return G_SOURCE_CONTINUE;
}

// The window manager's close or Alt+F4: the form decides, the window stays
// until it is hidden.
gboolean DeleteEvent(GtkWidget*, GdkEvent*, gpointer data) {
  auto* view = static_cast<docseek_view*>(data);
  if (view->on_close_request != nullptr) view->on_close_request(view->user);
  return TRUE;
}

void StopPulse(docseek_view* view) {
  if (view->pulse_source != 0) g_source_remove(view->pulse_source);
  view->pulse_source = 0;
}

docseek_view* Create(void (*on_close_request)(void*), void* user) {
  // GTK sets the process's locale when it initialises; a plug-in must leave
  // the host's locale as the host set it.
  if (gdk_display_get_default() == nullptr) gtk_disable_setlocale();
  if (!gtk_init_check(nullptr, nullptr)) return nullptr;

  GtkBuilder* builder = gtk_builder_new();
  GError* error = nullptr;
  if (gtk_builder_add_from_resource(builder, "/org/docseek/form4/Form4.ui", &error) == 0) {
    g_error_free(error);
    g_object_unref(builder);
    return nullptr;
  }
  auto* view = new (std::nothrow) docseek_view;
  if (view == nullptr) {
    g_object_unref(builder);
    return nullptr;
  }
  view->builder = builder;
  view->window = GTK_WINDOW(gtk_builder_get_object(builder, "Form4"));
  view->progress = GTK_PROGRESS_BAR(gtk_builder_get_object(builder, "ProgressBar1"));
  view->on_close_request = on_close_request;
  view->user = user;
  g_signal_connect(view->window, "delete-event", G_CALLBACK(DeleteEvent), view);
  AddStyleOnce();
  return view;
}

void Show(docseek_view* view) {
  // Over the window the user is working in, as a dialog of it; centred on
  // the monitor all the same, as the window has always been.
  gtk_window_set_transient_for(view->window, HostActiveWindow(view->window));
  gtk_window_set_position(view->window, GTK_WIN_POS_CENTER);
  gtk_window_present(view->window);
  if (view->pulse_source == 0) view->pulse_source = g_timeout_add(kPulseMilliseconds, Pulse, view);
  Flush();
}

void Hide(docseek_view* view) {
  StopPulse(view);
  gtk_widget_hide(GTK_WIDGET(view->window));
  // The host may not spin its loop soon: the window must be gone when the
  // search returns.
  Flush();
}

void Update(docseek_view* view, const char*, const char*, int, int, int) {
  gtk_progress_bar_pulse(view->progress);
}

void Message(docseek_view* view, const char* text) {
  GtkWindow* parent =
      gtk_widget_get_visible(GTK_WIDGET(view->window)) ? view->window : HostActiveWindow(nullptr);
  GtkWidget* dialog = gtk_message_dialog_new(
      parent, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
      GTK_MESSAGE_INFO, GTK_BUTTONS_OK, "%s", text);
  gtk_window_set_title(GTK_WINDOW(dialog), "docseek");
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER_ON_PARENT);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  // Runs a nested loop on the default context, the one the search's own
  // events arrive on, so the next page loads and is read meanwhile.
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  Flush();
}

void Destroy(docseek_view* view) {
  StopPulse(view);
  gtk_widget_destroy(GTK_WIDGET(view->window));
  g_object_unref(view->builder);
  Flush();
  delete view;
}

const docseek_view_module kModule = {
    DOCSEEK_VIEW_MODULE_VERSION, Create, Show, Hide, Update, Message, Destroy,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const docseek_view_module*
docseek_view_module_get(void) {
  return &kModule;
}
