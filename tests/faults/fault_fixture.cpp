// SPDX-License-Identifier: MIT
#include "fault_fixture.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <random>
#include <sstream>

namespace docseek::test {

const std::vector<FaultMode>& FaultModes() {
  static const std::vector<FaultMode> modes = {
      {"refused", Yield::kNothing, false},
      {"reset", Yield::kNothing, false},
      {"hang", Yield::kNothing, true},
      {"drip", Yield::kNothing, true},
      {"huge", Yield::kNothing, false},
      {"gzipbomb", Yield::kNothing, false},
      {"redirectloop", Yield::kNothing, false},
      {"tofile", Yield::kNothing, false},
      {"toscheme", Yield::kNothing, false},
      {"fileframe", Yield::kAll, false},
      {"status500", Yield::kAny, false},
      {"nonhtml", Yield::kAny, false},
      {"badcharset", Yield::kAny, false},
      {"truncated", Yield::kAllButLast, false},
      {"nested", Yield::kAny, false},
      {"bigtitle", Yield::kAny, false},
      {"nul", Yield::kAny, false},
      {"gzip", Yield::kAll, false},
      {"deflate", Yield::kAll, false},
      {"tls", Yield::kNothing, false},
  };
  return modes;
}

FileWatch::FileWatch(const std::string& path) {
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0 || inotify_add_watch(fd_, path.c_str(), IN_OPEN | IN_ACCESS) < 0) {
    throw std::runtime_error("inotify on " + path);
  }
}

FileWatch::~FileWatch() {
  if (fd_ >= 0) close(fd_);
}

int FileWatch::Touches() const {
  alignas(inotify_event) char buffer[4096];
  ssize_t n;
  while ((n = read(fd_, buffer, sizeof buffer)) > 0) {
    for (char* p = buffer; p < buffer + n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(p);
      if (event->mask & (IN_OPEN | IN_ACCESS)) ++touches_;
      p += sizeof(inotify_event) + event->len;
    }
  }
  return touches_;
}

FaultWorld::FaultWorld() {
  std::random_device random;
  secret_ = "docseek-secret-" + std::to_string(random()) + "-" + std::to_string(random());
  secret_path_ = (dir_.path() / "secret.txt").string();
  dir_.write("secret.txt", secret_ + "\nroot:x:0:0:root:/root:/bin/sh\n");
  EngineOptions options;
  options.args = {"--local-file", secret_path_, "--tls-port", std::to_string(tls_.port())};
  engine_ = std::make_unique<EngineProcess>(options);
  watch_ = std::make_unique<FileWatch>(secret_path_);
}

void ExpectRecords(const std::vector<std::string>& lines, std::string_view keyword, int count,
                   const std::vector<std::string>& types, const std::string& secret) {
  ASSERT_EQ(lines.size() % 6, 0u) << "a partial record";
  for (const std::string& line : lines) {
    ASSERT_EQ(line.find(secret), std::string::npos) << "the local file reached the results";
    ASSERT_EQ(line.find("root:x:0:0"), std::string::npos);
  }
  // Records by their type (the link suffix), in the order the types came.
  std::vector<std::pair<std::string, std::vector<std::vector<std::string>>>> groups;
  for (std::size_t i = 0; i < lines.size(); i += 6) {
    std::vector<std::string> record(lines.begin() + i, lines.begin() + i + 6);
    if (groups.empty() || groups.back().first != record[1]) groups.push_back({record[1], {}});
    groups.back().second.push_back(std::move(record));
  }
  std::map<std::string, Yield> yields;
  for (const FaultMode& mode : FaultModes()) yields[mode.name] = mode.yield;

  std::size_t g = 0;
  const int hits = std::max(0, std::min(count, 100));
  for (const std::string& type : types) {
    SCOPED_TRACE("type " + type);
    const Yield yield = yields.count(type) ? yields[type] : Yield::kAll;
    std::vector<std::vector<std::string>> got;
    if (g < groups.size() && groups[g].first == type) got = groups[g++].second;
    std::vector<std::vector<std::string>> all;
    for (int n = 0; n < hits; ++n) all.push_back(SyntheticRecord(keyword, type, n));
    switch (yield) {
      case Yield::kNothing:
        EXPECT_TRUE(got.empty()) << got.size() << " records";
        break;
      case Yield::kAll:
        EXPECT_EQ(got, all);
        break;
      case Yield::kAllButLast:
        if (!all.empty()) all.pop_back();
        EXPECT_EQ(got, all);
        break;
      case Yield::kAny:
        EXPECT_LE(got.size(), all.size());
        for (std::size_t n = 0; n < got.size(); ++n) {
          EXPECT_TRUE(got[n][5].starts_with("http://files")) << got[n][5];
        }
        break;
    }
  }
  EXPECT_EQ(g, groups.size()) << "records of a type out of place: " << groups[g].first;
}

bool LogMentions(const EngineProcess& engine, const std::string& text) {
  std::ifstream in(engine.log_path());
  std::stringstream all;
  all << in.rdbuf();
  return all.str().find(text) != std::string::npos;
}

std::vector<std::string> LoggedHosts(const EngineProcess& engine) {
  std::vector<std::string> hosts;
  for (const JsonValue& line : engine.log_lines()) {
    hosts.push_back(line["host"].is_null() ? "(none)" : line["host"].as_string());
  }
  return hosts;
}

}  // namespace docseek::test
