// SPDX-License-Identifier: MIT
#include "platform/gtk/window_loader.h"

#include <dlfcn.h>
#include <glib.h>
#include <link.h>

#include <cstdlib>
#include <cstring>

#include "platform/gtk/view_module.h"

namespace docseek::platform {

namespace {

constexpr const char* kModuleName = "libdocseek-gtk.so";

bool Named(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && value[0] != '\0';
}

// GTK 4 and GTK 2 cannot share a process with GTK 3; a host built on one
// of them keeps the terminal view.
int OtherGtkInLinkMap(dl_phdr_info* info, size_t, void*) {
  const char* name = info->dlpi_name;
  if (name == nullptr) return 0;
  return std::strstr(name, "libgtk-4.so") != nullptr ||
         std::strstr(name, "libgtk-x11-2.0.so") != nullptr;
}

bool OtherGtkLoaded() {
  if (dl_iterate_phdr(&OtherGtkInLinkMap, nullptr) != 0) return true;
  using MajorVersion = unsigned (*)();
  if (auto major = reinterpret_cast<MajorVersion>(dlsym(RTLD_DEFAULT, "gtk_get_major_version"))) {
    return major() != 3;
  }
  return false;
}

class ModuleView final : public FormView {
 public:
  explicit ModuleView(const docseek_view_module& module) : module_(module) {}
  ~ModuleView() override {
    if (view_ != nullptr) module_.destroy(view_);
  }

  bool Open() {
    view_ = module_.create(&ModuleView::CloseRequested, this);
    return view_ != nullptr;
  }

  void Show() override { module_.show(view_); }
  void Hide() override { module_.hide(view_); }
  void Update(const ProgressStatus& status) override {
    module_.update(view_, status.engine.c_str(), status.item.c_str(), status.index, status.total,
                   status.hits);
  }
  void Message(const std::string& text) override { module_.message(view_, text.c_str()); }

 private:
  // Runs inside GTK's signal emission: nothing may unwind through it.
  static void CloseRequested(void* user) {
    auto* self = static_cast<ModuleView*>(user);
    try {
      if (self->OnCloseRequest) self->OnCloseRequest();
    } catch (...) {
      // The form only records the request; there is nothing else to do.
    }
  }

  const docseek_view_module& module_;
  docseek_view* view_ = nullptr;
};

}  // namespace

std::string WindowModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&WindowModulePath), &info) == 0 || info.dli_fname == nullptr) {
    return {};
  }
  std::string path = info.dli_fname;
  const std::size_t slash = path.rfind('/');
  path = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  return path + kModuleName;
}

bool WindowPossible() {
  if (!Named("DISPLAY") && !Named("WAYLAND_DISPLAY")) return false;
  // GTK delivers its events on the global default context; the search's
  // loop iterates this thread's default. The window can only be drawn and
  // answered when the two are the same and this thread owns it.
  GMainContext* context = g_main_context_ref_thread_default();
  const bool ours =
      context == g_main_context_default() && g_main_context_is_owner(g_main_context_default());
  g_main_context_unref(context);
  return ours && !OtherGtkLoaded();
}

std::unique_ptr<FormView> LoadWindowView(const std::string& path) {
  if (path.empty()) return nullptr;
  // Never unloaded: GTK and GLib keep type registrations that must not
  // dangle, and the next search finds it already there.
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (handle == nullptr) {
    dlerror();  // the host's next dlerror() is about the host's own calls
    return nullptr;
  }
  auto entry = reinterpret_cast<docseek_view_module_fn>(dlsym(handle, DOCSEEK_VIEW_MODULE_ENTRY));
  const docseek_view_module* module = entry != nullptr ? entry() : nullptr;
  if (module == nullptr || module->version != DOCSEEK_VIEW_MODULE_VERSION ||
      module->create == nullptr || module->show == nullptr || module->hide == nullptr ||
      module->update == nullptr || module->message == nullptr || module->destroy == nullptr) {
    return nullptr;
  }
  auto view = std::make_unique<ModuleView>(*module);
  if (!view->Open()) return nullptr;
  return view;
}

}  // namespace docseek::platform
