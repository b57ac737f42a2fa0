// SPDX-License-Identifier: MIT
#include "test_display.h"

#include <cstdlib>
#include <memory>

#include "x_session.h"

namespace docseek::test {

namespace {
std::unique_ptr<Xvfb>& Server() {
  static std::unique_ptr<Xvfb> server;
  return server;
}
}  // namespace

const std::string* TestDisplay() {
  std::unique_ptr<Xvfb>& server = Server();
  if (!server) {
    const auto binary = FindProgram("Xvfb");
    if (!binary) return nullptr;
    server = std::make_unique<Xvfb>(*binary);
    setenv("DISPLAY", server->display().c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    // The same look on every machine, and no waiting for an accessibility
    // bus that a test machine does not run.
    setenv("GDK_BACKEND", "x11", 1);
    setenv("GTK_THEME", "Adwaita", 1);
    setenv("NO_AT_BRIDGE", "1", 1);
  }
  return &server->display();
}

void StopTestDisplay() {
  Server().reset();
  unsetenv("DISPLAY");
}

}  // namespace docseek::test
