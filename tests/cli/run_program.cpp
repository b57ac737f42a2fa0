// SPDX-License-Identifier: MIT
#include "run_program.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <string_view>

extern char** environ;

namespace docseek::cli::testing {
namespace {

constexpr auto kDeadline = std::chrono::seconds(60);

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::vector<std::string> Environment(const std::vector<std::string>& changes) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string_view entry(*e);
    const std::string name = Lower(entry.substr(0, entry.find('=')));
    if (name == "columns" || name.find("proxy") != std::string::npos) continue;
    env.emplace_back(entry);
  }
  for (const std::string& change : changes) {
    const std::string name = change.substr(0, change.find('='));
    std::erase_if(env, [&](const std::string& e) { return e.starts_with(name + "="); });
    if (change.find('=') != std::string::npos) env.push_back(change);
  }
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> out;
  for (std::string& t : texts) out.push_back(t.data());
  out.push_back(nullptr);
  return out;
}

int Reap(pid_t pid, bool kill_it) {
  if (kill_it) kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Reads every fd into its sink until all are closed or the deadline passes;
// false on the deadline.
bool Drain(std::vector<int> fds, std::vector<std::string*> sinks) {
  const auto deadline = std::chrono::steady_clock::now() + kDeadline;
  std::vector<pollfd> polls;
  for (int fd : fds) polls.push_back(pollfd{fd, POLLIN, 0});
  std::size_t open_fds = polls.size();
  while (open_fds > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    if (poll(polls.data(), polls.size(), static_cast<int>(left.count())) < 0 && errno != EINTR) {
      break;
    }
    for (std::size_t i = 0; i < polls.size(); ++i) {
      if (polls[i].fd < 0 || polls[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = read(polls[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        // EOF, or EIO from a terminal whose last writer has gone.
        polls[i].fd = -1;
        --open_fds;
      }
    }
  }
  return true;
}

}  // namespace

Outcome RunProgram(const std::string& program, const std::vector<std::string>& args,
                   const RunOptions& options) {
  std::vector<std::string> env_text = Environment(options.env);
  std::vector<std::string> argv_text{program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> env = Pointers(env_text);
  std::vector<char*> argv = Pointers(argv_text);

  Outcome outcome;
  int out_pipe[2];
  int err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe: " << errno;
    return outcome;
  }
  int out_file = -1;
  if (options.stdout_file) {
    out_file = open(options.stdout_file->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out_file < 0) ADD_FAILURE() << "open " << *options.stdout_file << ": " << errno;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_RDONLY);
    dup2(null, STDIN_FILENO);
    dup2(out_file >= 0 ? out_file : out_pipe[1], STDOUT_FILENO);
    dup2(err_pipe[1], STDERR_FILENO);
    execve(program.c_str(), argv.data(), env.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (out_file >= 0) close(out_file);
  if (pid < 0) {
    ADD_FAILURE() << "fork: " << errno;
    close(out_pipe[0]);
    close(err_pipe[0]);
    return outcome;
  }
  const bool finished = Drain({out_pipe[0], err_pipe[0]}, {&outcome.out, &outcome.err});
  if (!finished) ADD_FAILURE() << program << " did not finish in time";
  close(out_pipe[0]);
  close(err_pipe[0]);
  outcome.exit_code = Reap(pid, !finished);
  return outcome;
}

Outcome RunInTerminal(const std::string& program, const std::vector<std::string>& args, int columns,
                      const RunOptions& options) {
  std::vector<std::string> env_text = Environment(options.env);
  std::vector<std::string> argv_text{program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> env = Pointers(env_text);
  std::vector<char*> argv = Pointers(argv_text);

  Outcome outcome;
  winsize size{};
  size.ws_row = 24;
  size.ws_col = static_cast<unsigned short>(columns);
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
  if (pid == 0) {
    const int null = open("/dev/null", O_RDONLY);
    dup2(null, STDIN_FILENO);
    execve(program.c_str(), argv.data(), env.data());
    _exit(127);
  }
  if (pid < 0) {
    ADD_FAILURE() << "forkpty: " << errno;
    return outcome;
  }
  const bool finished = Drain({master}, {&outcome.out});
  if (!finished) ADD_FAILURE() << program << " did not finish in time";
  close(master);
  outcome.exit_code = Reap(pid, !finished);
  return outcome;
}

}  // namespace docseek::cli::testing
