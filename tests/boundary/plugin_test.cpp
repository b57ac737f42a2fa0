// SPDX-License-Identifier: MIT
// The real plug-in, loaded as a host loads it, against a local docseek-engine.

#include <dlfcn.h>
#include <docseek/plugin.h>
#include <gtest/gtest.h>
#include <stdio.h>

#include <algorithm>
#include <chrono>
#include <docseek/string_list.hpp>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/search_fixture.h"

namespace docseek::test {
namespace {

const std::string kPlugin = DOCSEEK_BINARY_DIR "/lib/libdocseek.so";
using Lines = std::vector<std::string>;

class Plugin {
 public:
  Plugin() {
    handle_ = dlopen(kPlugin.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) throw std::runtime_error(dlerror());
    GetBackType = reinterpret_cast<docseek_GetBackType_fn>(dlsym(handle_, "GetBackType"));
    GetBackCount = reinterpret_cast<docseek_GetBackCount_fn>(dlsym(handle_, "GetBackCount"));
    Getinfo = reinterpret_cast<docseek_Getinfo_fn>(dlsym(handle_, "Getinfo"));
  }
  // Never unloaded: GLib keeps type registrations that must not dangle.
  docseek_GetBackType_fn GetBackType = nullptr;
  docseek_GetBackCount_fn GetBackCount = nullptr;
  docseek_Getinfo_fn Getinfo = nullptr;

 private:
  void* handle_ = nullptr;
};

Plugin& plugin() {
  static Plugin instance;
  return instance;
}

Lines Concat(std::initializer_list<Lines> parts) {
  Lines out;
  for (const Lines& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Lines SyntheticRecords(std::string_view keyword, std::string_view type, int count) {
  Lines out;
  for (int n = 0; n < count; ++n) {
    Lines record = SyntheticRecord(keyword, type, n);
    out.insert(out.end(), record.begin(), record.end());
  }
  return out;
}

TEST(PluginExports, ExactlyTheThreeEntryPoints) {
  FILE* nm = popen(("nm -D --defined-only " + kPlugin).c_str(), "r");
  ASSERT_NE(nm, nullptr);
  std::set<std::string> names;
  char line[1024];
  while (fgets(line, sizeof line, nm) != nullptr) {
    std::string text(line);
    text.erase(text.find_last_not_of("\n") + 1);
    names.insert(text.substr(text.rfind(' ') + 1));
  }
  ASSERT_EQ(pclose(nm), 0);
  EXPECT_EQ(names, (std::set<std::string>{"GetBackType", "GetBackCount", "Getinfo"}));
}

TEST(PluginChoices, AppendWithoutClearing) {
  StringList types;
  plugin().GetBackType(types.list());
  EXPECT_EQ(types.lines(), (Lines{"pdf", "doc", "xls", "ppt", "rtf", "sogou"}));

  StringList existing{"mine", "also mine"};
  plugin().GetBackType(existing.list());
  ASSERT_EQ(existing.lines().size(), 8u);
  EXPECT_EQ(existing.lines()[0], "mine");
  EXPECT_EQ(existing.lines()[7], "sogou");

  StringList counts;
  plugin().GetBackCount(counts.list());
  plugin().GetBackCount(counts.list());
  EXPECT_EQ(counts.lines(), (Lines{"10", "20", "30", "50", "100", "10", "20", "30", "50", "100"}));
}

TEST(PluginChoices, ARefusingListEndsTheCall) {
  StringList list;
  list.on_append([&](std::string_view) { return list.lines().size() < 2; });
  plugin().GetBackType(list.list());
  EXPECT_EQ(list.lines(), (Lines{"pdf", "doc"}));
}

TEST(PluginChoices, UnusableListsAreLeftAlone) {
  plugin().GetBackType(nullptr);
  StringList list;
  docseek_list old = *list.list();
  old.size = sizeof(docseek_list) - 1;  // a host built against a shorter list
  plugin().GetBackCount(&old);
  EXPECT_TRUE(list.lines().empty());
}

class PluginSearch : public ::testing::Test {
 protected:
  EngineProcess engine;
  ProxyTo proxy{engine.proxy()};
};

struct QueryCase {
  const char* name;
  std::string keyword;
  int count;
};

class PluginQueries : public PluginSearch, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(PluginQueries, OneRequestPerTypeWithTheDecodedQuery) {
  const QueryCase& c = GetParam();
  StringList types{"pdf", "doc", "sogou"};
  StringList results;
  plugin().Getinfo(results.list(), types.list(), c.count, c.keyword.c_str(), "ignored");

  std::vector<JsonValue> log = engine.log_lines();
  ASSERT_EQ(log.size(), 3u);
  const char* type_names[] = {"pdf", "doc", "sogou"};
  for (std::size_t i = 0; i < log.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(log[i]["host"].as_string(), "www.sogou.com");
    EXPECT_EQ(log[i]["path"].as_string(), "/web");
    EXPECT_EQ(log[i]["query"].as_string(), c.keyword + " filetype:" + type_names[i]);
    const JsonValue& params = log[i]["params"];
    EXPECT_EQ(params["num"].as_string(), std::to_string(c.count));
    EXPECT_EQ(params["tsn"].as_string(), "2");
    EXPECT_EQ(params["pid"].as_string(), "");
    EXPECT_EQ(params["duppid"].as_string(), "1");
    EXPECT_EQ(params["p"].as_string(), "40230105");
  }
  int hits = c.count <= 0 ? 0 : std::min(c.count, 100);
  EXPECT_EQ(results.lines().size(), static_cast<std::size_t>(6 * 3 * hits));
}

INSTANTIATE_TEST_SUITE_P(
    Keywords, PluginQueries,
    ::testing::Values(QueryCase{"Spaces", "annual report 2010", 2},
                      QueryCase{"Chinese", "年度 报告", 2}, QueryCase{"Ampersand", "AT&T", 1},
                      QueryCase{"NumberSign", "C# #1", 1}, QueryCase{"Plus", "C++ a+b", 1},
                      QueryCase{"Percent", "100% %41", 1},
                      QueryCase{"Mixed", "Q&A #2 + 5% 问答", 1},
                      QueryCase{"CountZero", "report", 0},
                      QueryCase{"CountNegative", "report", -3}),
    [](const ::testing::TestParamInfo<QueryCase>& info) { return info.param.name; });

TEST_F(PluginSearch, RecordsArriveTypeAfterTypeInListOrder) {
  StringList types{"pdf", "doc"};
  StringList results{"kept"};
  plugin().Getinfo(results.list(), types.list(), 3, "report", "");
  EXPECT_EQ(results.lines(), Concat({{"kept"},
                                     SyntheticRecords("report", "pdf", 3),
                                     SyntheticRecords("report", "doc", 3)}));
  EXPECT_EQ(LoggedQueries(engine), (Lines{"report filetype:pdf", "report filetype:doc"}));
}

TEST_F(PluginSearch, SevenHitsWithCountTenGiveFortyTwoLines) {
  engine.write_page("pdf.html", ResultPage(NumberedHits(7)));
  StringList types{"pdf"};
  StringList results;
  plugin().Getinfo(results.list(), types.list(), 10, "report", "");
  ASSERT_EQ(results.lines().size(), 42u);
  EXPECT_EQ(Lines(results.lines().begin() + 36, results.lines().end()),
            (Lines{"Title 6", "pdf", "12", "2010-5-3", "Summary",
                   "http://files.example.com/a/report-6.pdf"}));
}

TEST_F(PluginSearch, APageFailingAtHitThreeKeepsWholeRecordsAndMovesOn) {
  std::vector<PageHit> hits = NumberedHits(6);
  hits[3].with_info = false;
  engine.write_page("pdf.html", ResultPage(hits));
  StringList types{"pdf", "doc"};
  StringList results;
  CaptureStderr captured;
  plugin().Getinfo(results.list(), types.list(), 10, "report", "");

  ASSERT_EQ(results.lines().size(), 18u + 60u);
  EXPECT_EQ(Lines(results.lines().begin() + 12, results.lines().begin() + 18),
            (Lines{"Title 2", "pdf", "12", "2010-5-3", "Summary",
                   "http://files.example.com/a/report-2.pdf"}));
  EXPECT_EQ(Lines(results.lines().begin() + 18, results.lines().end()),
            SyntheticRecords("report", "doc", 10));
  EXPECT_EQ(LoggedQueries(engine), (Lines{"report filetype:pdf", "report filetype:doc"}));
  // The window's message, then the reason for the user.
  EXPECT_EQ(captured.text(),
            "没有找到\n"
            "docseek: pdf: the result page could not be read after 3 hits: hit 3: no element "
            "with id \"cacheresult_info_3\" (reading innerText)\n");
}

TEST_F(PluginSearch, FramesDoNotMoveTheSearchOn) {
  // The pdf page is a frameset; its frames (one nested) hold hits of their own.
  engine.write_page("pdf.html",
                    "<html><frameset cols='50%,50%'><frame src='/frames/left.html'>"
                    "<frame src='http://www.sogou.com/frames/right.html'></frameset></html>");
  engine.write_page("frames/left.html", ResultPage(NumberedHits(2)));
  engine.write_page("frames/right.html",
                    "<html><body><iframe src='inner.html'></iframe></body></html>");
  engine.write_page("frames/inner.html", ResultPage(NumberedHits(2)));
  StringList types{"pdf", "doc", "xls"};
  StringList results;
  plugin().Getinfo(results.list(), types.list(), 2, "report", "");

  EXPECT_EQ(LoggedQueries(engine),
            (Lines{"report filetype:pdf", "report filetype:doc", "report filetype:xls"}));
  std::set<std::string> paths;
  for (const JsonValue& line : engine.log_lines()) paths.insert(line["path"].as_string());
  EXPECT_TRUE(paths.count("/frames/left.html") && paths.count("/frames/right.html") &&
              paths.count("/frames/inner.html"));
  // The frameset itself has no hits; doc and xls are each read once.
  EXPECT_EQ(results.lines(),
            Concat({SyntheticRecords("report", "doc", 2), SyntheticRecords("report", "xls", 2)}));
}

TEST(PluginFailures, AnUnreachableEngineStillVisitsEveryTypeAndReturns) {
  ProxyTo proxy("http://127.0.0.1:" + std::to_string(ClosedPort()));
  StringList types{"pdf", "doc", "xls"};
  StringList results;
  auto start = std::chrono::steady_clock::now();
  plugin().Getinfo(results.list(), types.list(), 10, "report", "");
  EXPECT_TRUE(results.lines().empty());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST_F(PluginSearch, TwoSearchesInARowEachRunFully) {
  StringList types{"pdf"};
  StringList first, second;
  plugin().Getinfo(first.list(), types.list(), 2, "one", "");
  plugin().Getinfo(second.list(), types.list(), 2, "two", nullptr);
  EXPECT_EQ(first.lines(), SyntheticRecords("one", "pdf", 2));
  EXPECT_EQ(second.lines(), SyntheticRecords("two", "pdf", 2));
}

TEST_F(PluginSearch, GetinfoDuringASearchDoesNothing) {
  StringList types{"pdf"};
  StringList results;
  StringList from_callback, from_thread;
  bool tried = false;
  results.on_append([&](std::string_view) {
    if (!tried) {
      tried = true;
      // From the host's own callback, on the searching thread...
      plugin().Getinfo(from_callback.list(), types.list(), 2, "nested", "");
      // ... and from a second thread while this one is searching.
      std::thread other(
          [&] { plugin().Getinfo(from_thread.list(), types.list(), 2, "threaded", ""); });
      other.join();
    }
    return true;
  });
  plugin().Getinfo(results.list(), types.list(), 2, "outer", "");
  EXPECT_TRUE(tried);
  EXPECT_TRUE(from_callback.lines().empty());
  EXPECT_TRUE(from_thread.lines().empty());
  EXPECT_EQ(results.lines(), SyntheticRecords("outer", "pdf", 2));
  EXPECT_EQ(LoggedQueries(engine), (Lines{"outer filetype:pdf"}));
}

// A type list whose count callback makes a Getinfo of its own, before the
// search has set anything up: that call must find the search under way too.
struct ReentrantTypes {
  StringList types{"pdf"};
  StringList nested_results;
  int nested_calls = 0;
  docseek_list list{};

  ReentrantTypes() {
    list = *types.list();
    list.context = this;
    list.count = [](void* context) -> size_t {
      auto* self = static_cast<ReentrantTypes*>(context);
      if (self->nested_calls++ == 0) {
        plugin().Getinfo(self->nested_results.list(), self->types.list(), 2, "nested", "");
      }
      const docseek_list* inner = self->types.list();
      return inner->count(inner->context);
    };
    list.line = [](void* context, size_t index, size_t* length) {
      const docseek_list* inner = static_cast<ReentrantTypes*>(context)->types.list();
      return inner->line(inner->context, index, length);
    };
  }
};

TEST_F(PluginSearch, GetinfoFromTheTypeListsCountDoesNothing) {
  ReentrantTypes types;
  StringList results;
  plugin().Getinfo(results.list(), &types.list, 2, "outer", "");
  EXPECT_GE(types.nested_calls, 1);
  EXPECT_TRUE(types.nested_results.lines().empty());
  EXPECT_EQ(results.lines(), SyntheticRecords("outer", "pdf", 2));
  EXPECT_EQ(LoggedQueries(engine), (Lines{"outer filetype:pdf"}));
}

TEST_F(PluginSearch, AnEmptyTypeListReturnsAtOnce) {
  StringList types;
  StringList results;
  plugin().Getinfo(results.list(), types.list(), 10, "report", "");
  EXPECT_TRUE(results.lines().empty());
  EXPECT_TRUE(engine.log_lines().empty());
}

TEST_F(PluginSearch, ARefusedResultLineEndsThatPageOnly) {
  StringList types{"pdf", "doc"};
  StringList results;
  results.on_append([&](std::string_view) { return results.lines().size() < 6; });
  CaptureStderr captured;
  plugin().Getinfo(results.list(), types.list(), 3, "report", "");
  EXPECT_EQ(results.lines(), SyntheticRecords("report", "pdf", 1));
  EXPECT_EQ(LoggedQueries(engine), (Lines{"report filetype:pdf", "report filetype:doc"}));
}

// A type list that notes the results list's size each time the plug-in asks
// for its count once every line has been read. Hosts that search several
// types in one call (the docseek CLI) rely on the plug-in asking once after
// each page's hits are appended, the last page included.
struct CountingTypes {
  StringList types;
  const StringList& results;
  std::vector<bool> read;
  std::vector<size_t> marks;
  docseek_list list{};

  CountingTypes(std::initializer_list<std::string> lines, const StringList& r)
      : types(lines), results(r), read(lines.size(), false) {
    list = *types.list();
    list.context = this;
    list.count = [](void* context) -> size_t {
      auto* self = static_cast<CountingTypes*>(context);
      if (std::find(self->read.begin(), self->read.end(), false) == self->read.end()) {
        self->marks.push_back(self->results.lines().size());
      }
      return self->types.lines().size();
    };
    list.line = [](void* context, size_t index, size_t* length) {
      auto* self = static_cast<CountingTypes*>(context);
      if (index < self->read.size()) self->read[index] = true;
      const docseek_list* inner = self->types.list();
      return inner->line(inner->context, index, length);
    };
  }
};

TEST_F(PluginSearch, AsksForTheTypeCountAfterEachPage) {
  std::vector<PageHit> broken = NumberedHits(4);
  broken[2].with_info = false;
  engine.write_page("doc.html", ResultPage(broken));
  engine.write_page("xls.html", "<html><body><p>No hits.</p></body></html>");
  StringList results{"kept"};
  CountingTypes types({"pdf", "doc", "xls", "ppt"}, results);
  CaptureStderr captured;
  plugin().Getinfo(results.list(), &types.list, 3, "report", "");
  // pdf: 3 hits; doc: 2 whole hits before the broken one; xls: none; ppt: 3.
  EXPECT_EQ(types.marks, (std::vector<size_t>{1 + 18, 1 + 18 + 12, 1 + 18 + 12, 1 + 18 + 12 + 18}));
  EXPECT_EQ(results.lines().size(), 1u + 48u);
}

}  // namespace
}  // namespace docseek::test
