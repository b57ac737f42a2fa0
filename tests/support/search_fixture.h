// SPDX-License-Identifier: MIT
// What the search tests share: pointing the plug-in's browser at a local
// docseek-engine, result pages in the engine's markup, expected records, and
// capturing what the plug-in writes to stderr.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/engine_process.h"

namespace docseek::test {

// Sends the browser's plain-HTTP traffic to `engine` for the life of this
// object, whatever proxy settings the environment had.
class ProxyTo {
 public:
  explicit ProxyTo(const std::string& proxy);
  ~ProxyTo();
  ProxyTo(const ProxyTo&) = delete;
  ProxyTo& operator=(const ProxyTo&) = delete;

 private:
  std::vector<std::pair<std::string, std::string>> saved_;
};

// One hit in the engine's markup.
struct PageHit {
  std::string title_html = "Title";
  std::string link = "http://files.example.com/a/report.pdf";
  std::string info_html = "files.example.com/a/report.pdf&nbsp;-&nbsp;12K&nbsp;-&nbsp;2010-5-3";
  std::string summary_html = "Summary";
  bool with_info = true;
};

// A result page holding `hits` numbered from 0.
std::string ResultPage(const std::vector<PageHit>& hits);

// `count` ordinary hits (PageHit defaults with the number in title and link).
std::vector<PageHit> NumberedHits(int count);

// The six lines the plug-in must append for synthetic hit n of the engine's
// own result page for (keyword, type).
std::vector<std::string> SyntheticRecord(std::string_view keyword, std::string_view type, int n);

// The decoded `query` parameter of each /web request the engine answered.
std::vector<std::string> LoggedQueries(const EngineProcess& engine);

// The port of a loopback socket that was just closed: connecting is refused.
int ClosedPort();

// Redirects fd 2 to a file while alive; text() is what was written so far.
class CaptureStderr {
 public:
  CaptureStderr();
  ~CaptureStderr();
  CaptureStderr(const CaptureStderr&) = delete;
  CaptureStderr& operator=(const CaptureStderr&) = delete;
  std::string text() const;

 private:
  int saved_ = -1;
  int file_ = -1;
};

// A loopback HTTP server in a child process that answers the next
// connections, one each, with the given raw responses, and reports the
// request heads it received. For what docseek-engine does not do.
class ScriptedServer {
 public:
  explicit ScriptedServer(std::vector<std::string> responses);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  std::string url(std::string_view path = "/") const;
  // Waits for the child to finish (it gives up 10 s after its last connection)
  // and returns the request heads in the order received.
  std::vector<std::string> Requests();

 private:
  int port_ = 0;
  int pipe_ = -1;
  int pid_ = -1;
  std::vector<std::string> requests_;
};

}  // namespace docseek::test
