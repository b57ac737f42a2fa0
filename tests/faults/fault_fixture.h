// SPDX-License-Identifier: MIT
// What the fault tests share: the table of the engine's fault modes with what a search may
// append for each, an engine that points its file faults at a sentinel file of the test's own
// and its tls fault at a TLS endpoint of the test's own, and the checks of a search's output.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/search_fixture.h"
#include "support/engine_process.h"
#include "tls_server.h"

namespace docseek::test {

// What a fault's page may leave in the results list.
enum class Yield {
  kNothing,     // the page fails to load: no hit
  kAll,         // every hit, exactly as on the ordinary page
  kAllButLast,  // the hits before the one the page breaks off in
  kAny,         // some complete records with the engine's links (text may be garbled)
};

struct FaultMode {
  const char* name;
  Yield yield;
  bool slow;  // waits out the navigation limit
};

// Every fault mode of docseek-engine.
const std::vector<FaultMode>& FaultModes();

// The sentinel file must never be opened; inotify sees every open of it.
class FileWatch {
 public:
  explicit FileWatch(const std::string& path);
  ~FileWatch();
  FileWatch(const FileWatch&) = delete;
  FileWatch& operator=(const FileWatch&) = delete;
  // Opens and reads of the file since the watch started.
  int Touches() const;

 private:
  int fd_ = -1;
  mutable int touches_ = 0;
};

class FaultWorld {
 public:
  FaultWorld();
  EngineProcess& engine() { return *engine_; }
  const std::string& secret() const { return secret_; }
  int secret_touches() const { return watch_->Touches(); }
  const TlsServer& tls() const { return tls_; }

 private:
  TempDir dir_;
  std::string secret_path_;
  std::string secret_;
  TlsServer tls_;
  std::unique_ptr<EngineProcess> engine_;
  std::unique_ptr<FileWatch> watch_;
};

// Checks a search's output for `types` (each a fault mode name or an ordinary type) with
// `count` hits asked for: whole records only, grouped by type in order, each group what the
// mode may yield, ordinary types intact, and no line carrying `secret`.
void ExpectRecords(const std::vector<std::string>& lines, std::string_view keyword, int count,
                   const std::vector<std::string>& types, const std::string& secret);

// Whether the engine's request log mentions `text` anywhere, and the hosts it was asked for.
bool LogMentions(const EngineProcess& engine, const std::string& text);
std::vector<std::string> LoggedHosts(const EngineProcess& engine);

}  // namespace docseek::test
