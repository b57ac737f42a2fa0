// SPDX-License-Identifier: MIT
// The C boundary under bad input, through the real plug-in: unusable lists, extreme counts,
// hostile keywords and types. Every request must reach only the engine (all proxies point at
// it and no_proxy is empty), carry what it was given without letting it write header fields,
// and the call must end in bounded time.

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <docseek/string_list.hpp>
#include <functional>
#include <string>
#include <vector>

#include "support/search_fixture.h"
#include "support/plugin_handle.h"

namespace docseek::test {
namespace {

using docseek::StringList;
using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

class Boundary : public ::testing::Test {
 protected:
  Boundary() {
    // https and everything else through the engine too: it logs what it is asked for,
    // CONNECT included, so no request can leave unseen.
    setenv("https_proxy", engine_.proxy().c_str(), 1);
    setenv("all_proxy", engine_.proxy().c_str(), 1);
  }
  // Every request the engine saw was a /web query for www.sogou.com (or a head too large to
  // read, which names no host).
  void ExpectOnlyEngineQueries(std::size_t expected_requests, bool may_be_fewer = false) {
    const auto log = engine_.log_lines();
    if (may_be_fewer) {
      EXPECT_LE(log.size(), expected_requests);
    } else {
      EXPECT_EQ(log.size(), expected_requests);
    }
    for (const JsonValue& line : log) {
      if (line["status"].as_number() == 431) continue;
      EXPECT_EQ(line["method"].as_string(), "GET");
      EXPECT_EQ(line["host"].as_string(), "www.sogou.com");
      EXPECT_EQ(line["path"].as_string(), "/web");
    }
  }
  EngineProcess engine_;
  ProxyTo proxy_{engine_.proxy()};
};

// Lists a host might pass that the plug-in must not touch: nothing is read, appended or
// requested.
TEST_F(Boundary, UnusableListsAreLeftAlone) {
  StringList types{"pdf"}, results;
  docseek_list short_results = *results.list();
  short_results.size = sizeof(docseek_list) - 1;
  docseek_list no_append = *results.list();
  no_append.append = nullptr;
  docseek_list short_types = *types.list();
  short_types.size = offsetof(docseek_list, line);
  docseek_list no_count = *types.list();
  no_count.count = nullptr;
  docseek_list no_line = *types.list();
  no_line.line = nullptr;
  docseek_list zero = {};
  struct Case {
    const char* name;
    const docseek_list* results;
    const docseek_list* types;
  } cases[] = {
      {"null results", nullptr, types.list()},
      {"null types", results.list(), nullptr},
      {"both null", nullptr, nullptr},
      {"short results", &short_results, types.list()},
      {"results without append", &no_append, types.list()},
      {"short types", results.list(), &short_types},
      {"types without count", results.list(), &no_count},
      {"types without line", results.list(), &no_line},
      {"zeroed results", &zero, types.list()},
      {"zeroed types", results.list(), &zero},
  };
  auto& plugin = PluginHandle::Get();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    plugin.Getinfo(c.results, c.types, 10, "report", "");
    if (c.results != results.list()) {
      plugin.GetBackType(c.results);
      plugin.GetBackCount(c.results);
    }
  }
  EXPECT_TRUE(results.lines().empty());
  EXPECT_EQ(types.lines(), Lines{"pdf"});
  ExpectOnlyEngineQueries(0);
}

TEST_F(Boundary, ARefusingResultsListStillVisitsEveryType) {
  StringList types{"pdf", "doc", "xls"}, results;
  int offered = 0;
  results.on_append([&](std::string_view) {
    ++offered;
    return false;
  });
  CaptureStderr quiet;  // the window reports each failed page
  PluginHandle::Get().Getinfo(results.list(), types.list(), 5, "report", "");
  EXPECT_TRUE(results.lines().empty());
  EXPECT_EQ(offered, 3);  // one refused line ends each page
  EXPECT_EQ(LoggedQueries(engine_),
            (Lines{"report filetype:pdf", "report filetype:doc", "report filetype:xls"}));
  ExpectOnlyEngineQueries(3);
}

struct InputCase {
  const char* name;
  std::function<std::string()> keyword;  // the text passed; see null_keyword
  bool null_keyword = false;
  Lines types = {"pdf"};
  int count = 2;
  // What must hold of the output (the log's queries are checked against keyword and types).
  std::size_t lines = 12;
  bool logged_query_exact = true;  // the decoded query equals keyword + " filetype:" + type
  bool may_not_be_sent = false;    // a client may refuse to send it at all
  std::chrono::seconds bound{20};
};

std::string Repeat(std::string_view unit, std::size_t bytes) {
  std::string out;
  while (out.size() < bytes) out += unit;
  return out;
}

class BoundaryInput : public Boundary, public ::testing::WithParamInterface<InputCase> {};

TEST_P(BoundaryInput, EndsInTimeAndAsksOnlyTheEngineForWhatItWasGiven) {
  const InputCase& c = GetParam();
  const std::string keyword = c.null_keyword ? std::string() : c.keyword();
  StringList types(c.types), results;
  CaptureStderr quiet;
  const Clock::time_point start = Clock::now();
  PluginHandle::Get().Getinfo(results.list(), types.list(), c.count,
                              c.null_keyword ? nullptr : keyword.c_str(), "");
  EXPECT_LT(Clock::now() - start, c.bound);
  EXPECT_EQ(results.lines().size(), c.lines);
  ExpectOnlyEngineQueries(c.types.size(), c.may_not_be_sent);
  if (c.logged_query_exact) {
    Lines expected;
    for (const std::string& type : c.types) expected.push_back(keyword + " filetype:" + type);
    EXPECT_EQ(LoggedQueries(engine_), expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BoundaryInput,
    ::testing::Values(
        InputCase{"CountIntMin", [] { return std::string("report"); }, false, {"pdf"}, INT_MIN, 0},
        InputCase{
            "CountIntMax", [] { return std::string("report"); }, false, {"pdf"}, INT_MAX, 600},
        InputCase{"NullKeyword", {}, true}, InputCase{"EmptyKeyword", [] { return std::string(); }},
        // Too long for any server to read: refused by the client or answered 431 by the
        // engine; either way the page has no hits.
        InputCase{"OneMegabyteKeyword",
                  [] { return Repeat("年度 report ", 1 << 20); },
                  false,
                  {"pdf"},
                  2,
                  0,
                  false,
                  true},
        // Invalid UTF-8 goes out escaped as bytes; the engine's log shows U+FFFD for them.
        InputCase{"InvalidUtf8Keyword",
                  [] { return std::string("\xff\xfe\xc3 \xed\xa0\x80 x"); },
                  false,
                  {"pdf"},
                  2,
                  12,
                  false},
        InputCase{"LineBreaksInKeyword",
                  [] { return std::string("a\r\nX-Injected: 1\r\n\r\nGET /evil HTTP/1.1"); }},
        InputCase{"LineBreaksInType",
                  [] { return std::string("report"); },
                  false,
                  {"pdf\r\nHost: evil.example\r\nX-Injected: 1"},
                  2,
                  12},
        InputCase{"NulLikeAndControlBytes", [] { return std::string("a\t\x01\x7f b"); }}),
    [](const ::testing::TestParamInfo<InputCase>& info) { return info.param.name; });

TEST_F(Boundary, TenThousandTypesAreEachVisitedOnce) {
  Lines many;
  for (int i = 0; i < 10'000; ++i) many.push_back("t" + std::to_string(i));
  StringList types(many), results;
  const Clock::time_point start = Clock::now();
  PluginHandle::Get().Getinfo(results.list(), types.list(), 0, "k", "");
  const auto took = Clock::now() - start;
  EXPECT_TRUE(results.lines().empty());
  const Lines queries = LoggedQueries(engine_);
  ASSERT_EQ(queries.size(), many.size());
  EXPECT_EQ(queries.front(), "k filetype:t0");
  EXPECT_EQ(queries.back(), "k filetype:t9999");
  EXPECT_LT(took, std::chrono::seconds(240));
  std::printf(
      "10 000 types: %lld ms\n",
      static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
}

}  // namespace
}  // namespace docseek::test
