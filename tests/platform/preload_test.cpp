// SPDX-License-Identifier: MIT
// Preload seen from outside the browser: a list of pages navigated in turn
// must complete, read and reach the server as it does without preload; only
// the transfers start early.

#include "platform/preload.h"

#include <curl/curl.h>
#include <glib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "platform/browser.h"
#include "platform/event_loop.h"
#include "support/search_fixture.h"

namespace docseek::test {
namespace {

using platform::BrowserObject;
using platform::TWebBrowser;

std::string Escape(const std::string& text) {
  char* escaped = curl_easy_escape(nullptr, text.c_str(), static_cast<int>(text.size()));
  std::string out(escaped);
  curl_free(escaped);
  return out;
}

// Everything a window could observe of one navigation: each completion (frame
// or top, in order) and what the top page reads as.
struct Visit {
  std::vector<std::string> completions;
  std::string document_url;
  std::string page_text;

  bool operator==(const Visit&) const = default;
};

[[maybe_unused]] std::ostream& operator<<(std::ostream& out, const Visit& visit) {
  out << visit.document_url << " [";
  for (const std::string& c : visit.completions) out << c << "; ";
  return out << "] " << visit.page_text;
}

class PreloadTest : public ::testing::Test {
 protected:
  EngineProcess engine_;
  platform::EventLoop loop_;

  void SetUp() override { setenv("no_proxy", "127.0.0.1", 1); }

  void Wait(int ms) {
    bool waited = false;
    g_timeout_add(
        ms,
        [](gpointer flag) {
          *static_cast<bool*>(flag) = true;
          return G_SOURCE_REMOVE;
        },
        &waited);
    loop_.RunUntil(waited);
  }

  // Navigates to each address in turn from the previous page's completion, as
  // the search window does, with or without handing the list over first.
  std::vector<Visit> VisitAll(const std::vector<std::string>& addresses, bool preload) {
    TWebBrowser browser(loop_);
    std::vector<Visit> visits;
    std::size_t next = 0;
    bool done = false;
    browser.OnDocumentComplete = [&](TWebBrowser* sender, const BrowserObject* frame,
                                     const std::string& url) {
      Visit& visit = visits.back();
      if (frame != sender->Application()) {
        visit.completions.push_back("frame " + url);
        return;
      }
      visit.completions.push_back("top " + url);
      auto document = sender->Document();
      visit.document_url = document->url();
      // The elements these pages are told apart by: fixture text, a hit, the
      // error page's reason, the slow page's number.
      for (const char* id : {"t", "uigs0", "uigs1", "error-reason", "slow"}) {
        if (const dom::Element* element = document->getElementById(id)) {
          // curl's messages carry how long a failed connect took, which
          // differs from run to run: that part is not what is compared.
          static const std::regex kTiming(" after [0-9]+ ms");
          visit.page_text += std::string(id) + "=" +
                             std::regex_replace(document->innerText(*element), kTiming, "") + "\n";
        }
      }
      if (next == addresses.size()) {
        done = true;
        return;
      }
      visits.emplace_back();
      sender->Navigate(addresses[next++]);
    };
    if (preload) browser.Preload(addresses);
    visits.emplace_back();
    browser.Navigate(addresses[next++]);
    loop_.RunUntil(done);
    EXPECT_EQ(browser.TransfersInFlight(), 0u);
    return visits;
  }

  // The request targets the engine answered since `from`, in order.
  std::vector<JsonValue> LogFrom(std::size_t from) const {
    std::vector<JsonValue> lines = engine_.log_lines();
    return std::vector<JsonValue>(lines.begin() + static_cast<long>(from), lines.end());
  }
};

std::multiset<std::string> Targets(const std::vector<JsonValue>& lines) {
  std::multiset<std::string> targets;
  for (const JsonValue& line : lines) targets.insert(line["target"].as_string());
  return targets;
}

TEST_F(PreloadTest, PagesReadAndCompleteAsWithoutPreload) {
  if (!platform::Preloader::kEnabled) GTEST_SKIP() << "built without preload";
  engine_.write_page("deep/page.html", "<html><body><p id='t'>moved here</p></body></html>");
  engine_.write_page("framed.html",
                     "<html><body><p id='t'>outer</p><iframe src='/f/a.html'></iframe>"
                     "<iframe src='/f/b.html'></iframe></body></html>");
  engine_.write_page("f/a.html", "<html><body><iframe src='c.html'></iframe></body></html>");
  engine_.write_page("f/b.html", "<p>b</p>");
  engine_.write_page("f/c.html", "<p>c</p>");
  const std::string refused = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/gone";
  const std::vector<std::string> addresses = {
      engine_.url("/web?query=first&num=2"),
      engine_.url("/redirect?to=" + Escape("/deep/page.html")),
      engine_.url("/framed.html"),
      refused,
      engine_.url("/status/404"),
      engine_.url("/web?query=a b 年&num=2"),
      engine_.url("/slow?ms=50"),
      engine_.url("/web?query=last&num=1"),
  };
  const std::vector<Visit> sequential = VisitAll(addresses, false);
  const std::size_t sequential_requests = engine_.log_lines().size();
  const std::vector<Visit> preloaded = VisitAll(addresses, true);
  const std::vector<JsonValue> log = LogFrom(sequential_requests);

  ASSERT_EQ(preloaded.size(), addresses.size());
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    SCOPED_TRACE(addresses[i]);
    // Frames complete before their page, the failure shows the error page, the
    // redirect lands where it leads: all as when navigated directly.
    EXPECT_EQ(preloaded[i], sequential[i]);
  }
  EXPECT_NE(sequential[3].page_text.find("error-reason="), std::string::npos);
  EXPECT_EQ(sequential[2].completions.size(), 4u);  // three frames, then the page

  // Each request once, the same ones; the first alone and first.
  const std::vector<JsonValue> before = engine_.log_lines();
  EXPECT_EQ(Targets(log),
            Targets(std::vector<JsonValue>(
                before.begin(), before.begin() + static_cast<long>(sequential_requests))));
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0]["target"].as_string(), "/web?query=first&num=2");
  // The second browser is another session: its first answer set a cookie,
  // and every later request carries it.
  const std::string cookie = "SUID=2";
  EXPECT_TRUE(log[0]["cookie"].is_null());
  for (std::size_t i = 1; i < log.size(); ++i) {
    SCOPED_TRACE(log[i]["target"].as_string());
    ASSERT_FALSE(log[i]["cookie"].is_null());
    EXPECT_EQ(log[i]["cookie"].as_string(), cookie);
  }
}

TEST_F(PreloadTest, ANavigationElsewhereOrStopLeavesNothingLoading) {
  if (!platform::Preloader::kEnabled) GTEST_SKIP() << "built without preload";
  engine_.write_page("fast.html", "<p id='p'>fast</p>");
  std::vector<std::string> slow;
  for (int i = 0; i < 8; ++i) slow.push_back(engine_.url("/slow?ms=400&n=" + std::to_string(i)));

  TWebBrowser browser(loop_);
  std::vector<std::string> completed;
  bool done = false;
  browser.OnDocumentComplete = [&](TWebBrowser* sender, const BrowserObject* frame,
                                   const std::string& url) {
    if (frame != sender->Application()) return;
    completed.push_back(url);
    done = true;
  };
  browser.Preload(slow);
  browser.Navigate(slow[0]);
  loop_.RunUntil(done);
  // The others went out after the first answer, at most six at a time.
  EXPECT_LE(browser.TransfersInFlight(), platform::Preloader::kMaxInFlight);
  EXPECT_GT(browser.TransfersInFlight(), 0u);

  // Navigating to a page being preloaded takes it; navigating away from it
  // again abandons that transfer like any other load.
  done = false;
  browser.Navigate(slow[1]);
  browser.Navigate(engine_.url("/fast.html"));
  loop_.RunUntil(done);
  EXPECT_EQ(completed.back(), engine_.url("/fast.html"));

  browser.Stop();
  EXPECT_EQ(browser.TransfersInFlight(), 0u);
  Wait(700);
  EXPECT_EQ(completed.size(), 2u);
  // A page whose preload was cancelled loads directly again.
  done = false;
  browser.Navigate(slow[5]);
  loop_.RunUntil(done);
  EXPECT_EQ(completed.back(), slow[5]);
}

TEST_F(PreloadTest, APageNavigatedToBeforeItsTurnIsAskedForOnce) {
  if (!platform::Preloader::kEnabled) GTEST_SKIP() << "built without preload";
  std::vector<std::string> slow;
  for (int i = 0; i < 9; ++i) slow.push_back(engine_.url("/slow?ms=300&n=" + std::to_string(i)));
  TWebBrowser browser(loop_);
  std::vector<std::string> completed;
  bool done = false;
  browser.OnDocumentComplete = [&](TWebBrowser* sender, const BrowserObject* frame,
                                   const std::string& url) {
    if (frame != sender->Application()) return;
    completed.push_back(url);
    done = true;
  };
  browser.Preload(slow);
  browser.Navigate(slow[0]);
  loop_.RunUntil(done);
  // Six are under way; the last has not been asked for yet.
  done = false;
  browser.Navigate(slow[8]);
  loop_.RunUntil(done);
  Wait(800);  // the other preloads finish meanwhile
  EXPECT_EQ(browser.TransfersInFlight(), 0u);
  std::multiset<std::string> targets = Targets(engine_.log_lines());
  for (const std::string& address : slow) {
    SCOPED_TRACE(address);
    EXPECT_LE(targets.count(address.substr(address.find("/slow"))), 1u);
  }
  EXPECT_EQ(targets.count("/slow?ms=300&n=8"), 1u);
  EXPECT_EQ(completed, (std::vector<std::string>{slow[0], slow[8]}));
}

TEST_F(PreloadTest, APermanentRedirectIsRememberedForTheRestOfTheSession) {
  engine_.write_page("new/page.html", "<p>here</p>");
  struct {
    int status;
    bool remembered;
  } cases[] = {{301, true}, {308, true}, {302, false}, {307, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    const std::string address = engine_.url("/redirect?to=" + Escape("/new/page.html") +
                                            "&status=" + std::to_string(c.status));
    const std::size_t before = engine_.log_lines().size();
    {
      TWebBrowser browser(loop_);
      bool done = false;
      browser.OnDocumentComplete = [&](TWebBrowser* sender, const BrowserObject* frame,
                                       const std::string&) {
        if (frame == sender->Application()) done = true;
      };
      for (int i = 0; i < 2; ++i) {
        done = false;
        browser.Navigate(address);
        loop_.RunUntil(done);
        EXPECT_EQ(browser.Document()->url(), engine_.url("/new/page.html"));
      }
    }
    const std::vector<JsonValue> log = LogFrom(before);
    const auto hops = std::count_if(log.begin(), log.end(), [](const JsonValue& line) {
      return line["path"].as_string() == "/redirect";
    });
    EXPECT_EQ(hops, c.remembered ? 1 : 2);
    EXPECT_EQ(log.size(), c.remembered ? 3u : 4u);
  }
  // Another browser is another search: it asks again.
  const std::size_t before = engine_.log_lines().size();
  VisitAll({engine_.url("/redirect?to=" + Escape("/new/page.html") + "&status=301")}, false);
  EXPECT_EQ(LogFrom(before).size(), 2u);
}

}  // namespace
}  // namespace docseek::test
