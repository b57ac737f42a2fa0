// SPDX-License-Identifier: MIT
// The browser on its own against a local docseek-engine: what a navigation
// ends in, for pages that load and pages that cannot.

#include "platform/browser.h"

#include <curl/curl.h>
#include <glib.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

class BrowserTest : public ::testing::Test {
 protected:
  EngineProcess engine_;
  ProxyTo proxy_{engine_.proxy()};
  platform::EventLoop loop_;

  // Addresses on 127.0.0.1 go straight to their port, not through the engine.
  void SetUp() override { setenv("no_proxy", "127.0.0.1", 1); }

  // Navigates a fresh browser to `address` and waits for the top-level completion.
  std::shared_ptr<const dom::Document> Load(const std::string& address,
                                            platform::BrowserLimits limits = {}) {
    TWebBrowser browser(loop_, limits);
    bool done = false;
    int top_level = 0;
    browser.OnDocumentComplete = [&](TWebBrowser* sender, const BrowserObject* frame,
                                     const std::string&) {
      if (frame == sender->Application()) {
        ++top_level;
        done = true;
      }
    };
    browser.Navigate(address);
    loop_.RunUntil(done);
    EXPECT_EQ(top_level, 1);
    return browser.Document();
  }

  static std::string Text(const dom::Document& document, const std::string& id) {
    const dom::Element* element = document.getElementById(id);
    return element == nullptr ? "<no element " + id + ">" : document.innerText(*element);
  }

  // The reason on the error page, or "" when the page is not the error page.
  static std::string ErrorReason(const dom::Document& document) {
    const dom::Element* element = document.getElementById("error-reason");
    return element == nullptr ? "" : document.innerText(*element);
  }
};

TEST_F(BrowserTest, FollowsRedirectsAndResolvesLinksAgainstTheFinalAddress) {
  engine_.write_page("deep/page.html",
                     "<html><body><a id='a' href='../other.html?x=1'>x</a></body></html>");
  for (int redirects : {1, 20}) {  // 20 is as many as a browser follows
    SCOPED_TRACE(redirects);
    std::string path = "/deep/page.html";
    for (int i = 0; i < redirects; ++i) path = "/redirect?to=" + Escape(path);
    auto document = Load(engine_.url(path));
    ASSERT_TRUE(document);
    EXPECT_EQ(ErrorReason(*document), "");
    EXPECT_EQ(document->url(), engine_.url("/deep/page.html"));
    EXPECT_EQ(document->href(*document->getElementById("a")), engine_.url("/other.html?x=1"));
  }
}

TEST_F(BrowserTest, PagesThatCannotBeLoadedBecomeAnErrorPage) {
  engine_.write_page("file.pdf", "%PDF-1.4 not a page");
  std::string twenty_one = "/deep/page.html";
  for (int i = 0; i < 21; ++i) twenty_one = "/redirect?to=" + Escape(twenty_one);
  struct {
    const char* name;
    std::string address;
    const char* reason_part;
  } cases[] = {
      {"refused", "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/", "onnect"},
      {"redirect to file:", engine_.url("/redirect?to=" + Escape("file:///etc/passwd")), "rotocol"},
      {"too many redirects", engine_.url(twenty_one), "too many redirects"},
      {"not a page", engine_.url("/file.pdf"), "not a page: content type application/pdf"},
      {"scheme not allowed", "ftp://127.0.0.1/", "rotocol"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto document = Load(c.address);
    ASSERT_TRUE(document);
    EXPECT_NE(ErrorReason(*document).find(c.reason_part), std::string::npos)
        << ErrorReason(*document);
    EXPECT_EQ(document->getElementById("uigs0"), nullptr);
  }
}

TEST_F(BrowserTest, LimitsEndLoadsThatGoOnTooLong) {
  platform::BrowserLimits small;
  small.http.max_body = 1024;
  engine_.write_page("big.html", "<html><body>" + std::string(4096, 'x') + "</body></html>");
  EXPECT_NE(ErrorReason(*Load(engine_.url("/big.html"), small)).find("larger than"),
            std::string::npos);

  platform::BrowserLimits quick;
  quick.http.timeout_ms = 200;
  EXPECT_NE(ErrorReason(*Load(engine_.url("/slow?ms=3000"), quick)).find("timed out"),
            std::string::npos);
}

std::string Response(const std::string& status, const std::string& fields,
                     const std::string& body) {
  return "HTTP/1.1 " + status +
         "\r\nConnection: close\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
         fields + "\r\n" + body;
}

TEST_F(BrowserTest, AnHttpErrorShowsTheServersPage) {
  ScriptedServer server({Response("500 Internal Server Error", "Content-Type: text/html\r\n",
                                  "<p id='p'>the server says no</p>")});
  auto document = Load(server.url("/"));
  EXPECT_EQ(ErrorReason(*document), "");
  EXPECT_EQ(Text(*document, "p"), "the server says no");
}

TEST_F(BrowserTest, OneBrowserKeepsItsCookiesInMemoryAndAsksForCompression) {
  ScriptedServer server({Response("200 OK", "Set-Cookie: session=42; Path=/\r\n", "<p>1</p>"),
                         Response("200 OK", "", "<p>2</p>"), Response("200 OK", "", "<p>3</p>")});
  {
    TWebBrowser browser(loop_);
    bool done = false;
    browser.OnDocumentComplete = [&](TWebBrowser*, const BrowserObject*, const std::string&) {
      done = true;
    };
    for (const char* path : {"/first", "/second"}) {
      done = false;
      browser.Navigate(server.url(path));
      loop_.RunUntil(done);
    }
  }
  Load(server.url("/third"));  // another browser: another search
  std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].find("Cookie:"), std::string::npos);
  EXPECT_NE(requests[1].find("\r\nCookie: session=42"), std::string::npos) << requests[1];
  EXPECT_EQ(requests[2].find("Cookie:"), std::string::npos) << requests[2];
  EXPECT_NE(requests[0].find("\r\nAccept-Encoding: gzip, deflate"), std::string::npos);
}

TEST_F(BrowserTest, AGbkPageIsReadAsText) {
  // "中文" in GB18030, declared only by the page's <meta>.
  engine_.write_page("gbk.html",
                     "<html><head><meta charset='gbk'></head><body><p id='p'>\xD6\xD0\xCE\xC4"
                     "</p></body></html>");
  EXPECT_EQ(Text(*Load(engine_.url("/gbk.html")), "p"), "中文");
}

TEST_F(BrowserTest, TheEngineSeesABrowsersRequest) {
  Load(engine_.url("/web?query=a b 年&num=1"));
  std::vector<JsonValue> log = engine_.log_lines();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0]["target"].as_string(), "/web?query=a%20b%20%E5%B9%B4&num=1");
  EXPECT_NE(log[0]["user_agent"].as_string().find("Mozilla/5.0"), std::string::npos);
}

TEST_F(BrowserTest, ANewNavigationAbandonsTheOneUnderWay) {
  engine_.write_page("fast.html", "<p id='p'>fast</p>");
  TWebBrowser browser(loop_);
  bool done = false;
  std::vector<std::string> completed;
  browser.OnDocumentComplete = [&](TWebBrowser* sender, const BrowserObject* frame,
                                   const std::string& url) {
    if (frame != sender->Application()) return;
    completed.push_back(url);
    done = true;
  };
  browser.Navigate(engine_.url("/slow?ms=500"));
  browser.Navigate(engine_.url("/fast.html"));
  loop_.RunUntil(done);
  // Give an abandoned load the time it would have needed to complete.
  bool waited = false;
  guint timer = g_timeout_add(
      800,
      [](gpointer flag) {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
      },
      &waited);
  loop_.RunUntil(waited);
  (void)timer;
  EXPECT_EQ(completed, (std::vector<std::string>{engine_.url("/fast.html")}));
  EXPECT_EQ(Text(*browser.Document(), "p"), "fast");
}

TEST_F(BrowserTest, FramesAreBoundedAndOnlyComeOverHttp) {
  engine_.write_page(
      "schemes.html",
      "<iframe src='file:///etc/passwd'></iframe><iframe src='data:text/html,x'>"
      "</iframe><iframe src='javascript:1'></iframe><iframe src='/f.html'></iframe>");
  std::string page = "<html><body>";
  for (int i = 0; i < 20; ++i) page += "<iframe src='/f.html?" + std::to_string(i) + "'></iframe>";
  engine_.write_page("many.html", page + "</body></html>");
  engine_.write_page("f.html", "<p>frame</p>");
  engine_.write_page("nest.html", "<iframe src='/nest.html'></iframe>");

  struct {
    std::string path;
    int frames;
  } cases[] = {{"/many.html", 16}, {"/nest.html", 3}, {"/schemes.html", 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    TWebBrowser browser(loop_);
    bool done = false;
    int frames = 0;
    browser.OnDocumentComplete = [&](TWebBrowser* sender, const BrowserObject* frame,
                                     const std::string&) {
      if (frame == sender->Application()) {
        done = true;
      } else {
        ++frames;
      }
    };
    browser.Navigate(engine_.url(c.path));
    loop_.RunUntil(done);
    EXPECT_EQ(frames, c.frames);
  }
}

}  // namespace
}  // namespace docseek::test
