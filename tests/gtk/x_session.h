// SPDX-License-Identifier: MIT
// A private X server for the window tests, and the X tools they look
// through: Xvfb on a free display number, xdotool to find and type into
// windows, xwininfo and xprop to measure them, ImageMagick's import to take
// screenshots.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace docseek::test {

// The path of `program` on PATH, if it is there.
std::optional<std::filesystem::path> FindProgram(const std::string& program);

// Xvfb with one 1024 x 768 screen, on the first free display number, for the
// life of this object. Throws std::runtime_error when it does not come up.
class Xvfb {
 public:
  static constexpr int kWidth = 1024;
  static constexpr int kHeight = 768;

  explicit Xvfb(const std::filesystem::path& binary);
  ~Xvfb();
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;

  const std::string& display() const { return display_; }  // ":N"

 private:
  pid_t pid_ = -1;
  std::string display_;
};

struct CommandResult {
  int status = -1;  // exit code, or minus the signal that ended it
  std::string out;
  std::string err;
};

// Environment changes for a child: a value sets the variable, nullopt
// removes it.
using EnvChanges = std::map<std::string, std::optional<std::string>>;

// Runs `argv` (argv[0] looked up on PATH) to its end with this process's
// environment changed by `env`; killed after `timeout`. Safe to call from any
// thread.
CommandResult RunCommand(const std::vector<std::string>& argv, const EnvChanges& env = {},
                         std::chrono::milliseconds timeout = std::chrono::seconds(30));

// Polls `done` every 20 ms until it holds or `timeout` has passed.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// The visible windows whose name matches the regular expression `name`.
std::vector<unsigned long> VisibleWindows(const std::string& name);

// Waits for exactly one visible window matching `name` and returns it.
std::optional<unsigned long> WaitForWindow(const std::string& name,
                                           std::chrono::milliseconds timeout);

struct Geometry {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// Position on the screen and size of window `id`, from xwininfo.
std::optional<Geometry> WindowGeometry(unsigned long id);

// The value of property `property` of window `id` as xprop prints it after
// the "=" (or after "# " for window ids), empty when it is not set.
std::string WindowProperty(unsigned long id, const std::string& property);

// Asks window `id` to close the way a window manager's close button does:
// a WM_DELETE_WINDOW client message.
bool CloseLikeAWindowManager(unsigned long id);

}  // namespace docseek::test
