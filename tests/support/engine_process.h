// SPDX-License-Identifier: MIT
// docseek-engine as a test fixture: start it on a free loopback port, give it a fresh pages
// directory and request log, and stop it (kill and reap) whatever happens to the test.
//
//   docseek::test::EngineProcess engine;           // --port 0 --pages DIR --log FILE
//   engine.write_page("pdf.html", "<html>...</html>");
//   auto r = docseek::test::http_get(engine.url("/web?query=x%20filetype:pdf"));
//   auto lines = engine.log_lines();               // one JSON object per request
//
// The plug-in reaches the engine as an HTTP proxy: set http_proxy to engine.proxy().
#pragma once

#include <sys/types.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/http_client.h"
#include "support/json.h"

namespace docseek::test {

// A fresh directory, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Writes path()/relative, creating parent directories (see write_file).
  void write(std::string_view relative, std::string_view content) const {
    write_file(path_ / relative, content);
  }
  // Writes `file`, creating parent directories. The file is replaced in one step, so a program
  // reading it meanwhile sees the old content or the new, never a mix.
  static void write_file(const std::filesystem::path& file, std::string_view content);

 private:
  std::filesystem::path path_;
};

struct EngineOptions {
  bool pages = true;              // --pages <dir>/pages
  bool log = true;                // --log <dir>/requests.log
  std::vector<std::string> args;  // further arguments
};

class EngineProcess {
 public:
  // Starts the engine and waits (at most 10 s) for its "port N" line. Throws std::runtime_error
  // when it does not come, after reaping the process.
  EngineProcess() : EngineProcess(EngineOptions{}) {}
  explicit EngineProcess(EngineOptions options);
  // Stops the engine if it still runs: SIGTERM, then SIGKILL after 5 s; always reaps it.
  ~EngineProcess();
  EngineProcess(const EngineProcess&) = delete;
  EngineProcess& operator=(const EngineProcess&) = delete;

  // ${DOCSEEK_BINARY_DIR}/bin/docseek-engine
  static std::filesystem::path binary();

  std::uint16_t port() const { return port_; }
  pid_t pid() const { return pid_; }
  // "http://127.0.0.1:PORT" followed by `path_and_query`.
  std::string url(std::string_view path_and_query = "/") const;
  // "http://127.0.0.1:PORT", for CURLOPT_PROXY or http_proxy.
  std::string proxy() const { return url(""); }

  std::filesystem::path pages_dir() const { return dir_.path() / "pages"; }
  std::filesystem::path log_path() const { return dir_.path() / "requests.log"; }
  // Writes pages_dir()/relative (see TempDir::write); the engine reads it on the next request.
  void write_page(std::string_view relative, std::string_view content) const;
  // The request log so far, one value per request in the order they were answered.
  std::vector<JsonValue> log_lines() const { return read_json_lines(log_path()); }
  // A directory beside pages_dir(), for files that must stay out of the engine's reach.
  const std::filesystem::path& sandbox() const { return dir_.path(); }

  // Sends `sig`, waits for the engine to end (SIGKILL after 5 s) and returns its exit code, or
  // minus the signal that ended it. Later calls return the same without sending anything.
  int stop(int sig = SIGTERM);

 private:
  TempDir dir_;
  pid_t pid_ = -1;
  std::uint16_t port_ = 0;
  std::optional<int> status_;
};

// Runs the engine with `args` to its end (killed after `timeout`), for command-line checks.
struct EngineRun {
  int status = 0;  // exit code, or minus the signal that ended it
  std::string out;
  std::string err;
};
EngineRun run_engine(const std::vector<std::string>& args,
                     std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace docseek::test
