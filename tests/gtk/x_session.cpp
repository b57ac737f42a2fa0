// SPDX-License-Identifier: MIT
#include "x_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/engine_process.h"

extern char** environ;

namespace docseek::test {

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

std::optional<int> WaitPid(pid_t pid, milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (true) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    if (done < 0) return -1;
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(milliseconds(10));
  }
}

int Stop(pid_t pid) {
  ::kill(pid, SIGTERM);
  if (auto status = WaitPid(pid, std::chrono::seconds(5))) return *status;
  ::kill(pid, SIGKILL);
  return WaitPid(pid, std::chrono::seconds(5)).value_or(-SIGKILL);
}

std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Environment(const EnvChanges& changes) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string item = *entry;
    const std::string name = item.substr(0, item.find('='));
    if (changes.count(name) == 0) env.push_back(item);
  }
  for (const auto& [name, value] : changes) {
    if (value) env.push_back(name + "=" + *value);
  }
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (std::string& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

}  // namespace

std::optional<std::filesystem::path> FindProgram(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (dir.empty()) continue;
    const std::filesystem::path candidate = std::filesystem::path(dir) / program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::nullopt;
}

Xvfb::Xvfb(const std::filesystem::path& binary) {
  // Xvfb picks the first free display number and writes it to this pipe.
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> args = {binary.string(), "-displayfd", "3",   "-screen", "0",
                                   "1024x768x24",   "-nolisten",  "tcp", "-noreset"};
  std::vector<std::string> env = Environment({});
  const int spawned = posix_spawn(&pid_, binary.c_str(), &actions, nullptr, Pointers(args).data(),
                                  Pointers(env).data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (spawned != 0) {
    ::close(fds[0]);
    throw std::runtime_error("cannot start Xvfb: " + std::string(std::strerror(spawned)));
  }
  std::string number;
  const auto deadline = Clock::now() + std::chrono::seconds(15);
  while (number.find('\n') == std::string::npos && Clock::now() < deadline) {
    pollfd p{fds[0], POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char buffer[32];
    const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    number.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fds[0]);
  if (number.find('\n') == std::string::npos) {
    Stop(pid_);
    throw std::runtime_error("Xvfb did not report a display number");
  }
  display_ = ":" + number.substr(0, number.find('\n'));
}

Xvfb::~Xvfb() {
  if (pid_ > 0) Stop(pid_);
}

CommandResult RunCommand(const std::vector<std::string>& argv, const EnvChanges& changes,
                         milliseconds timeout) {
  const TempDir dir;
  const auto out_path = dir.path() / "out";
  const auto err_path = dir.path() / "err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  std::vector<std::string> args = argv;
  std::vector<std::string> env = Environment(changes);
  std::string program = argv.at(0);
  if (program.find('/') == std::string::npos) {
    if (auto found = FindProgram(program)) program = found->string();
  }
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, Pointers(args).data(),
                                  Pointers(env).data());
  posix_spawn_file_actions_destroy(&actions);
  CommandResult result;
  if (spawned != 0) {
    result.err = "cannot run " + program + ": " + std::strerror(spawned);
    return result;
  }
  const auto status = WaitPid(pid, timeout);
  result.status = status ? *status : Stop(pid);
  result.out = Slurp(out_path);
  result.err = Slurp(err_path);
  return result;
}

bool WaitFor(const std::function<bool()>& done, milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(milliseconds(20));
  }
  return true;
}

std::vector<unsigned long> VisibleWindows(const std::string& name) {
  const CommandResult r = RunCommand({"xdotool", "search", "--onlyvisible", "--name", name});
  std::vector<unsigned long> ids;
  std::istringstream lines(r.out);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty()) ids.push_back(std::stoul(line));
  }
  return ids;
}

std::optional<unsigned long> WaitForWindow(const std::string& name, milliseconds timeout) {
  std::vector<unsigned long> ids;
  if (!WaitFor(
          [&] {
            ids = VisibleWindows(name);
            return ids.size() == 1;
          },
          timeout)) {
    return std::nullopt;
  }
  return ids[0];
}

std::optional<Geometry> WindowGeometry(unsigned long id) {
  const CommandResult r = RunCommand({"xwininfo", "-id", std::to_string(id)});
  if (r.status != 0) return std::nullopt;
  Geometry g;
  int found = 0;
  std::istringstream lines(r.out);
  std::string line;
  const std::pair<const char*, int*> fields[] = {{"Absolute upper-left X:", &g.x},
                                                 {"Absolute upper-left Y:", &g.y},
                                                 {"Width:", &g.width},
                                                 {"Height:", &g.height}};
  while (std::getline(lines, line)) {
    for (const auto& [label, value] : fields) {
      const std::size_t at = line.find(label);
      if (at != std::string::npos) {
        *value = std::stoi(line.substr(at + std::strlen(label)));
        ++found;
      }
    }
  }
  if (found != 4) return std::nullopt;
  return g;
}

std::string WindowProperty(unsigned long id, const std::string& property) {
  const CommandResult r = RunCommand({"xprop", "-id", std::to_string(id), property});
  std::string out = r.out;
  std::size_t at = out.find("# ");
  if (at == std::string::npos) at = out.find("= ");
  if (r.status != 0 || at == std::string::npos) return {};
  out = out.substr(at + 2);
  out.erase(out.find_last_not_of("\n") + 1);
  return out;
}

bool CloseLikeAWindowManager(unsigned long id) {
  const CommandResult r = RunCommand({DOCSEEK_X_CLOSE_WINDOW, std::to_string(id)});
  return r.status == 0;
}

}  // namespace docseek::test
