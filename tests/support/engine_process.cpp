// SPDX-License-Identifier: MIT
#include "support/engine_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace docseek::test {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr milliseconds kStartTimeout{10'000};
constexpr milliseconds kStopTimeout{5'000};

// Starts `argv` with stdout and stderr on the given descriptors (-1: inherited). The child
// asks to be killed when the test process dies, so a crashed test leaves no engine behind.
pid_t spawn(const std::vector<std::string>& args, int out_fd, int err_fd) {
  // Everything the child needs is prepared before fork(): between fork() and exec() only
  // async-signal-safe calls are allowed in a process that may have threads.
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (out_fd >= 0) ::dup2(out_fd, STDOUT_FILENO);
    if (err_fd >= 0) ::dup2(err_fd, STDERR_FILENO);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return pid;
}

int decode_status(int wstatus) {
  if (WIFEXITED(wstatus)) return WEXITSTATUS(wstatus);
  if (WIFSIGNALED(wstatus)) return -WTERMSIG(wstatus);
  return -1;
}

// Waits for `pid` up to `timeout`; nullopt if it is still running then.
std::optional<int> wait_for(pid_t pid, milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (true) {
    int wstatus = 0;
    const pid_t r = ::waitpid(pid, &wstatus, WNOHANG);
    if (r == pid) return decode_status(wstatus);
    if (r < 0 && errno != EINTR) return -1;  // not our child any more: nothing left to wait for
    if (Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(milliseconds(5));
  }
}

// Ends `pid` for sure: `sig`, then SIGKILL if it lingers. Returns how it ended.
int terminate(pid_t pid, int sig) {
  ::kill(pid, sig);
  if (auto status = wait_for(pid, kStopTimeout)) return *status;
  ::kill(pid, SIGKILL);
  return wait_for(pid, milliseconds(60'000)).value_or(-SIGKILL);
}

// Reads the first line from `fd` within `timeout`; nullopt on EOF or timeout.
std::optional<std::string> read_line(int fd, milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  std::string line;
  while (true) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return std::nullopt;
    char c;
    const ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    if (c == '\n') return line;
    line += c;
  }
}

std::string slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      (std::filesystem::path(base && *base ? base : "/tmp") / "docseek-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) {
    throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void TempDir::write_file(const std::filesystem::path& file, std::string_view content) {
  std::filesystem::create_directories(file.parent_path());
  const std::filesystem::path temp = file.string() + ".writing";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) throw std::runtime_error("cannot write " + temp.string());
  }
  std::filesystem::rename(temp, file);
}

std::filesystem::path EngineProcess::binary() {
  return std::filesystem::path(DOCSEEK_BINARY_DIR) / "bin" / "docseek-engine";
}

EngineProcess::EngineProcess(EngineOptions options) {
  std::vector<std::string> args = {binary().string(), "--port", "0"};
  if (options.pages) {
    std::filesystem::create_directories(pages_dir());
    args.insert(args.end(), {"--pages", pages_dir().string()});
  }
  if (options.log) args.insert(args.end(), {"--log", log_path().string()});
  args.insert(args.end(), options.args.begin(), options.args.end());

  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) {
    throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  }
  try {
    pid_ = spawn(args, out[1], -1);
  } catch (...) {
    ::close(out[0]);
    ::close(out[1]);
    throw;
  }
  ::close(out[1]);
  const std::optional<std::string> line = read_line(out[0], kStartTimeout);
  ::close(out[0]);

  unsigned port = 0;
  if (!line || std::sscanf(line->c_str(), "port %u", &port) != 1 || port == 0 || port > 65535) {
    status_ = terminate(pid_, SIGKILL);
    throw std::runtime_error("docseek-engine did not report its port (got \"" + line.value_or("") +
                             "\", exit " + std::to_string(*status_) + ")");
  }
  port_ = static_cast<std::uint16_t>(port);
}

EngineProcess::~EngineProcess() { stop(); }

std::string EngineProcess::url(std::string_view path_and_query) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path_and_query);
}

void EngineProcess::write_page(std::string_view relative, std::string_view content) const {
  dir_.write((std::filesystem::path("pages") / relative).string(), content);
}

int EngineProcess::stop(int sig) {
  if (!status_) status_ = terminate(pid_, sig);
  return *status_;
}

EngineRun run_engine(const std::vector<std::string>& args, milliseconds timeout) {
  const TempDir dir;
  const auto out_path = dir.path() / "out";
  const auto err_path = dir.path() / "err";
  const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  std::vector<std::string> argv = {EngineProcess::binary().string()};
  argv.insert(argv.end(), args.begin(), args.end());
  EngineRun run;
  pid_t pid = -1;
  try {
    pid = spawn(argv, out, err);
  } catch (...) {
    ::close(out);
    ::close(err);
    throw;
  }
  ::close(out);
  ::close(err);
  const auto status = wait_for(pid, timeout);
  run.status = status ? *status : terminate(pid, SIGKILL);
  run.out = slurp(out_path);
  run.err = slurp(err_path);
  return run;
}

}  // namespace docseek::test
