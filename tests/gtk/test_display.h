// SPDX-License-Identifier: MIT
// The private X display the window tests share within one test program.
#pragma once

#include <string>

namespace docseek::test {

// Starts Xvfb on first use and points this process at it (DISPLAY, the X11
// backend, a fixed theme, no accessibility bus). Null when Xvfb is not
// installed; throws when it is installed but does not start.
const std::string* TestDisplay();

// Stops the Xvfb started by TestDisplay(), if any.
void StopTestDisplay();

}  // namespace docseek::test

// Skips the calling test when there is no Xvfb to run it on.
#define DOCSEEK_REQUIRE_DISPLAY()                                              \
  do {                                                                         \
    if (::docseek::test::TestDisplay() == nullptr) {                           \
      GTEST_SKIP() << "Xvfb is not installed, so the window cannot be tested " \
                      "(scripts/install-deps installs it)";                    \
    }                                                                          \
  } while (false)
