// SPDX-License-Identifier: MIT
// docseek-engine: a loopback stand-in for the search engine, so that tests and offline demos of
// the plug-in never reach the internet. See routes.h for what it answers.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "pages_dir.h"
#include "request_log.h"
#include "routes.h"
#include "server.h"

namespace {

using namespace docseek::engine;

constexpr int kUsageError = 2;

constexpr const char* kUsage =
    "Usage: docseek-engine [--port N] [--pages DIR] [--log FILE] [--tls-port N]\n"
    "                      [--local-file PATH] [--latency MS] [--help] [--version]\n"
    "\n"
    "Serves synthetic search result pages on 127.0.0.1, directly or as an HTTP proxy.\n"
    "Prints \"port N\" once it listens; stops on SIGTERM or SIGINT, and then prints\n"
    "\"connections N requests M\" on stderr.\n"
    "\n"
    "  --port N      port to listen on; 0 (the default) picks a free one\n"
    "  --pages DIR   serve DIR/TYPE.html for /web queries of that type, and DIR/PATH for\n"
    "                any other path\n"
    "  --log FILE    append one JSON line per request to FILE\n"
    "  --tls-port N  where the tls fault redirects to (https://127.0.0.1:N/)\n"
    "  --local-file PATH\n"
    "                the local file the file faults point at (default /etc/passwd)\n"
    "  --latency MS  wait MS milliseconds before each response (at most 60000)\n"
    "  --help        show this help\n"
    "  --version     show the version\n";

struct Options {
  std::uint16_t port = 0;
  std::uint16_t tls_port = 0;
  std::optional<std::string> pages;
  std::optional<std::string> log;
  std::optional<std::string> local_file;
  std::chrono::milliseconds latency{0};
};

int UsageError(const std::string& message) {
  std::fprintf(stderr, "docseek-engine: %s\n%s", message.c_str(), kUsage);
  return kUsageError;
}

// Parses argv into *options. Returns -1 to go on, or the exit status to stop with.
int ParseArgs(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--version") {
      std::printf("docseek-engine %s\n", DOCSEEK_VERSION);
      return 0;
    }
    if (arg != "--port" && arg != "--pages" && arg != "--log" && arg != "--tls-port" &&
        arg != "--local-file" && arg != "--latency") {
      return UsageError("unknown argument: " + std::string(arg));
    }
    if (i + 1 >= argc) return UsageError(std::string(arg) + " needs a value");
    const std::string_view value = argv[++i];
    if (arg == "--port" || arg == "--tls-port") {
      unsigned port = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), port);
      if (ec != std::errc{} || end != value.data() + value.size() || port > 65535) {
        return UsageError("bad port: " + std::string(value));
      }
      (arg == "--port" ? options->port : options->tls_port) = static_cast<std::uint16_t>(port);
    } else if (arg == "--latency") {
      unsigned ms = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), ms);
      if (ec != std::errc{} || end != value.data() + value.size() || ms > 60000) {
        return UsageError("bad latency: " + std::string(value));
      }
      options->latency = std::chrono::milliseconds(ms);
    } else if (arg == "--local-file") {
      options->local_file = std::string(value);
    } else if (arg == "--pages") {
      options->pages = std::string(value);
    } else {
      options->log = std::string(value);
    }
  }
  return -1;
}

int stop_pipe[2] = {-1, -1};

void OnStopSignal(int) {
  const int saved = errno;
  const char byte = 0;
  [[maybe_unused]] const ssize_t n = ::write(stop_pipe[1], &byte, 1);
  errno = saved;
}

bool InstallSignalHandlers() {
  if (::pipe2(stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  return sigaction(SIGTERM, &sa, nullptr) == 0 && sigaction(SIGINT, &sa, nullptr) == 0 &&
         sigaction(SIGPIPE, &ignore, nullptr) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const int status = ParseArgs(argc, argv, &options); status >= 0) return status;

  std::optional<PagesDir> pages;
  std::string error;
  if (options.pages) {
    pages = PagesDir::Open(*options.pages, &error);
    if (!pages) return UsageError(error);
  }
  RequestLog log;
  if (options.log && !log.Open(*options.log, &error)) {
    std::fprintf(stderr, "docseek-engine: cannot open log %s\n", error.c_str());
    return 1;
  }
  if (!InstallSignalHandlers()) {
    std::perror("docseek-engine: signals");
    return 1;
  }
  Router router(std::move(pages));
  ServerLimits limits;
  limits.latency = options.latency;
  Server server(router, log, limits);
  if (!server.Listen(options.port, &error)) {
    std::fprintf(stderr, "docseek-engine: %s\n", error.c_str());
    return 1;
  }
  router.SetPorts(server.Port(), options.tls_port);
  if (options.local_file) router.SetLocalFile(*options.local_file);
  // The one line on stdout: scripts and tests wait for it to know the port.
  std::printf("port %u\n", static_cast<unsigned>(server.Port()));
  std::fflush(stdout);
  const bool ran = server.Run(stop_pipe[0]);
  if (!ran) std::perror("docseek-engine: poll");
  std::fprintf(stderr, "connections %llu requests %llu\n",
               static_cast<unsigned long long>(server.Connections()),
               static_cast<unsigned long long>(server.Requests()));
  return ran ? 0 : 1;
}
