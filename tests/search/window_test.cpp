// SPDX-License-Identifier: MIT
// The search window driven in-process against a local docseek-engine, where
// what the host cannot see (the progress bar, the order of completions, when
// the message appears) can be watched.

#include <glib.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "extraction/hit_loop.h"
#include "platform/event_loop.h"
#include "platform/strings.h"
#include "search/Unit4.h"
#include "support/search_fixture.h"

namespace docseek::test {
namespace {

using platform::BrowserObject;
using platform::TStringList;
using platform::TWebBrowser;
using search::TForm4;
using Lines = std::vector<std::string>;

struct Watched {
  std::vector<std::string> messages;
  std::vector<int> urlnum_at_message;
  std::vector<platform::ProgressStatus> updates;
};

class WatchingView : public platform::FormView {
 public:
  WatchingView(Watched& watched, const TForm4*& form) : watched_(watched), form_(form) {}
  void Show() override {}
  void Hide() override {}
  void Update(const platform::ProgressStatus& status) override {
    watched_.updates.push_back(status);
  }
  void Message(const std::string& text) override {
    watched_.messages.push_back(text);
    watched_.urlnum_at_message.push_back(form_->URLnum);
  }

 private:
  Watched& watched_;
  const TForm4*& form_;
};

class WindowTest : public ::testing::Test {
 protected:
  // Runs one search in a window of its own; `watch` sees every completion.
  void Search(const Lines& types, int count,
              std::function<void(TForm4&, const BrowserObject*)> watch = {},
              platform::BrowserLimits limits = {}) {
    const TForm4* current = nullptr;
    form_ =
        std::make_unique<TForm4>(loop_, std::make_unique<WatchingView>(watched_, current), limits);
    current = form_.get();
    for (const std::string& type : types) types_.Add(type);
    form_->Ffiletype = &types_;
    form_->Flistview = &results_;
    form_->Ffilecount = count;
    form_->Fkey = "report";
    if (watch) {
      TForm4& form = *form_;
      form.WebBrowser1.OnDocumentComplete =
          [&form, watch](TWebBrowser* sender, const BrowserObject* frame, const std::string& url) {
            watch(form, frame);
            form.WebBrowser1DocumentComplete(sender, frame, url);
          };
    }
    form_->ShowModal();
  }

  EngineProcess engine_;
  ProxyTo proxy_{engine_.proxy()};
  platform::EventLoop loop_;
  TStringList types_, results_;
  Watched watched_;
  std::unique_ptr<TForm4> form_;
};

TEST_F(WindowTest, ProgressStepsOncePerHitTriedAndStopsAtTheFirstMissingTitle) {
  engine_.write_page("pdf.html", ResultPage(NumberedHits(7)));
  Search({"pdf"}, 10);
  EXPECT_EQ(results_.Count(), 42u);
  EXPECT_EQ(form_->ProgressBar1.Position, 8);
  EXPECT_EQ(form_->URLnum, 1);
  EXPECT_TRUE(watched_.messages.empty());
  ASSERT_FALSE(watched_.updates.empty());
  EXPECT_EQ(watched_.updates.back().hits, 7);
  EXPECT_EQ(watched_.updates.front().engine, "Sogou");
  EXPECT_EQ(watched_.updates.front().item, "pdf");
}

TEST_F(WindowTest, CountZeroOrNegativeReadsNothingButVisitsEveryType) {
  for (int count : {0, -1}) {
    SCOPED_TRACE(count);
    results_ = TStringList();
    types_ = TStringList();
    Search({"pdf", "doc"}, count);
    EXPECT_EQ(results_.Count(), 0u);
    EXPECT_EQ(form_->ProgressBar1.Position, 0);
    EXPECT_EQ(form_->URLnum, 2);
  }
  EXPECT_EQ(LoggedQueries(engine_).size(), 4u);
}

TEST_F(WindowTest, TheMessageComesAfterTheNextQueryWasStarted) {
  std::vector<PageHit> hits = NumberedHits(5);
  hits[3].with_info = false;
  engine_.write_page("pdf.html", ResultPage(hits));
  Search({"pdf", "doc"}, 10);
  EXPECT_EQ(watched_.messages, (Lines{"没有找到"}));
  // NextURL had already moved on to (and navigated to) the doc query.
  EXPECT_EQ(watched_.urlnum_at_message, (std::vector<int>{1}));
  EXPECT_EQ(results_.Count(), 18u + 60u);
  EXPECT_EQ(form_->ProgressBar1.Position, 4 + 10);
}

TEST_F(WindowTest, OnlyTheTopLevelCompletionReadsThePage) {
  engine_.write_page("pdf.html",
                     "<html><body><iframe src='/f/a.html'></iframe>"
                     "<iframe src='/f/b.html'></iframe></body></html>");
  engine_.write_page("f/a.html", "<html><body><iframe src='c.html'></iframe></body></html>");
  engine_.write_page("f/b.html", ResultPage(NumberedHits(1)));
  engine_.write_page("f/c.html", ResultPage(NumberedHits(1)));
  std::vector<std::pair<bool, int>> completions;  // (top level?, URLnum)
  Search({"pdf", "doc"}, 1, [&](TForm4& form, const BrowserObject* frame) {
    completions.emplace_back(frame == form.WebBrowser1.Application(), form.URLnum);
  });
  // Three frames of the pdf page complete before the page itself, each only once.
  ASSERT_EQ(completions.size(), 5u);
  int frames_before_top = 0;
  for (std::size_t i = 0; i < 3; ++i) frames_before_top += completions[i].first ? 0 : 1;
  EXPECT_EQ(frames_before_top, 3);
  EXPECT_EQ(completions[3], std::make_pair(true, 0));
  EXPECT_EQ(completions[4], std::make_pair(true, 1));
  EXPECT_EQ(results_.Count(), 6u);  // the doc page's hit; the pdf page's own body has none
}

TEST_F(WindowTest, FailedNavigationsCompleteWithAnErrorPage) {
  ProxyTo unreachable("http://127.0.0.1:" + std::to_string(ClosedPort()));
  std::vector<bool> had_document;
  Search({"pdf", "doc", "xls"}, 10, [&](TForm4& form, const BrowserObject*) {
    had_document.push_back(form.WebBrowser1.Document() != nullptr);
  });
  EXPECT_EQ(had_document, (std::vector<bool>{true, true, true}));
  EXPECT_EQ(form_->URLnum, 3);
  EXPECT_EQ(results_.Count(), 0u);
  EXPECT_EQ(form_->ProgressBar1.Position, 3);  // one step per page, no hit found
  EXPECT_TRUE(watched_.messages.empty());
}

TEST_F(WindowTest, WhatOnePageAppendsIsBoundedAndEndsWithAWholeRecord) {
  // Each hit's summary holds the next hit: summary n is the rest of the page,
  // so the records would grow with hits times page size.
  const std::string filler(8 * 1024, 'a');
  std::string open, close;
  const int hits = 60;
  for (int n = 0; n < hits; ++n) {
    const std::string i = std::to_string(n);
    open += "<a id=uigs" + i + " href=http://files.example.com/" + i + ".pdf>t" + i +
            "</a><cite id=cacheresult_info_" + i + ">x - 1K - 2010-1-1</cite>" +
            "<div id=cacheresult_summary_" + i + ">" + filler + " ";
    close += "</div>";
  }
  const std::string page = "<!DOCTYPE html><body>" + open + close + "</body>";
  engine_.write_page("pdf.html", page);
  engine_.write_page("doc.html", ResultPage(NumberedHits(2)));
  Search({"pdf", "doc"}, 100);

  ASSERT_EQ(results_.Count() % 6, 0u);
  std::size_t pdf_bytes = 0, pdf_records = 0;
  for (std::size_t i = 0; i + 6 <= results_.Count(); i += 6) {
    if (results_.Get(i).starts_with("Title ")) continue;  // the doc page's
    ++pdf_records;
    for (std::size_t k = i; k < i + 6; ++k) pdf_bytes += results_.Get(k).size() + 1;
  }
  EXPECT_GT(pdf_records, 0u);
  EXPECT_LT(pdf_records, static_cast<std::size_t>(hits));
  EXPECT_LE(pdf_bytes, extraction::kOutputFloor + extraction::kOutputFactor * page.size());
  EXPECT_EQ(watched_.messages, (Lines{"没有找到"}));  // the page ended as a failed read
  EXPECT_EQ(results_.Count(), 6 * pdf_records + 12);  // and the doc page was read whole
}

TEST_F(WindowTest, ASixTypeSearchReadsAsInTurnOnAtMostSixConnections) {
  const Lines types = {"pdf", "doc", "xls", "ppt", "rtf", "all"};
  Search(types, 3);
  Lines expected;
  for (const std::string& type : types) {
    for (int n = 0; n < 3; ++n) {
      for (const std::string& line : SyntheticRecord("report", type, n)) expected.push_back(line);
    }
  }
  Lines got;
  for (std::size_t i = 0; i < results_.Count(); ++i) got.push_back(results_.Get(i));
  EXPECT_EQ(got, expected);
  EXPECT_EQ(form_->URLnum, 6);

  // Each query once; the first alone, the rest with the cookie its answer set.
  const std::vector<JsonValue> log = engine_.log_lines();
  ASSERT_EQ(log.size(), 6u);
  std::multiset<std::string> queries, asked;
  for (const std::string& type : types) {
    asked.insert("report filetype:" + type);
  }
  std::set<double> connections;
  for (std::size_t i = 0; i < log.size(); ++i) {
    queries.insert(log[i]["query"].as_string());
    connections.insert(log[i]["connection"].as_number());
    if (i == 0) {
      EXPECT_TRUE(log[i]["cookie"].is_null());
      EXPECT_EQ(log[i]["query"].as_string(), "report filetype:pdf");
    } else {
      ASSERT_FALSE(log[i]["cookie"].is_null());
      EXPECT_EQ(log[i]["cookie"].as_string(), "SUID=1");
    }
  }
  EXPECT_EQ(queries, asked);
  EXPECT_LE(connections.size(), 6u);
}

TEST_F(WindowTest, AWindowClosedEarlyLeavesNothingLoading) {
  EngineProcess slow_engine(EngineOptions{.args = {"--latency", "300"}});
  ProxyTo proxy(slow_engine.proxy());
  std::vector<int> pages;
  Search({"pdf", "doc", "xls", "ppt"}, 1, [&](TForm4& form, const BrowserObject* frame) {
    if (frame != form.WebBrowser1.Application()) return;
    pages.push_back(form.URLnum);
    if (form.URLnum == 1) form.Close();  // the user closes it on the second page
  });
  EXPECT_EQ(form_->WebBrowser1.TransfersInFlight(), 0u);
  bool waited = false;
  g_timeout_add(
      700,
      [](gpointer flag) {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
      },
      &waited);
  loop_.RunUntil(waited);
  EXPECT_EQ(pages, (std::vector<int>{0, 1}));
}

}  // namespace
}  // namespace docseek::test
