// SPDX-License-Identifier: MIT
// The browser on its own against a local docseek-engine: what a navigation
// ends in, for pages that load and pages that cannot.

#include "platform/browser.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/address_space.h"
#include "platform/event_loop.h"
#include "platform/http.h"
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

// A loopback server of this test's own for a chain of frames: /chain/N holds
// an iframe of /chain/N+1 (up to 4), and every frame is answered after
// `delay`. Connections are served one at a time, as the chain asks for them.
class FrameChainServer {
 public:
  explicit FrameChainServer(std::chrono::milliseconds delay) : delay_(delay) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 8) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("cannot listen");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~FrameChainServer() {
    stop_ = true;
    thread_.join();
    close(listener_);
  }
  std::string url(int n) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/chain/" + std::to_string(n);
  }
  std::vector<std::string> requested() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requested_;
  }

 private:
  void Serve() {
    while (!stop_) {
      pollfd p{listener_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      char buffer[4096];
      const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
      const std::string head(buffer, got > 0 ? static_cast<std::size_t>(got) : 0);
      const std::string path = head.substr(4, head.find(' ', 4) - 4);  // "GET /chain/N ..."
      {
        std::lock_guard<std::mutex> lock(mutex_);
        requested_.push_back(path);
      }
      const int n = std::atoi(path.c_str() + std::string("/chain/").size());
      if (n > 0) {
        for (auto waited = std::chrono::milliseconds(0); waited < delay_ && !stop_;
             waited += std::chrono::milliseconds(10)) {
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
      }
      std::string body = "<html><body><p id=p>frame " + std::to_string(n) + "</p>";
      if (n < 4) body += "<iframe src='" + url(n + 1) + "'></iframe>";
      body += "</body></html>";
      const std::string response =
          "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n"
          "Content-Length: " +
          std::to_string(body.size()) + "\r\n\r\n" + body;
      send(fd, response.data(), response.size(), MSG_NOSIGNAL);
      close(fd);
    }
  }

  std::chrono::milliseconds delay_;
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> requested_;
  std::thread thread_;
};

TEST_F(BrowserTest, TheNavigationLimitCoversThePageAndAllItsFrames) {
  // Each frame alone is well within the limit; the chain of them is not.
  FrameChainServer server(std::chrono::milliseconds(600));
  platform::BrowserLimits limits;
  limits.max_frame_depth = 5;
  limits.http.timeout_ms = 1000;
  const auto start = std::chrono::steady_clock::now();
  auto document = Load(server.url(0), limits);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(Text(*document, "p"), "frame 0");  // the page completes without its late frames
  // Frame 2 started with 400 ms left and was cut off; frame 3 was never asked for.
  EXPECT_EQ(server.requested(), (std::vector<std::string>{"/chain/0", "/chain/1", "/chain/2"}));
  EXPECT_LT(took, std::chrono::milliseconds(2000));  // not 4 x 600 ms
}

// A page from the internet (here: a name reached through the proxy) may not
// lead into this machine or a private network, by redirect or by frame.
const char* const kPrivateTargets[] = {
    "http://127.0.0.1:PORT/f.html",  "http://localhost:PORT/f.html",
    "http://[::1]:PORT/f.html",      "http://0.0.0.0:PORT/f.html",
    "http://2130706433:PORT/f.html", "http://[::ffff:127.0.0.1]:PORT/f.html",
    "http://10.1.2.3/f.html",        "http://172.16.0.1/f.html",
    "http://192.168.1.1/f.html",     "http://169.254.169.254/f.html",
    "http://[fe80::1]/f.html",       "http://[fd00::1]/f.html",
};

std::string WithPort(std::string target, int port) {
  if (const auto at = target.find("PORT"); at != std::string::npos) {
    target.replace(at, 4, std::to_string(port));
  }
  return target;
}

TEST_F(BrowserTest, APublicPageCannotLeadIntoThisMachineOrAPrivateNetwork) {
  engine_.write_page("f.html", "<p id='p'>private</p>");
  for (const char* target : kPrivateTargets) {
    SCOPED_TRACE(target);
    const std::string to = WithPort(target, engine_.port());
    auto document = Load("http://files.example.com/redirect?to=" + Escape(to));
    EXPECT_NE(ErrorReason(*document).find("refused"), std::string::npos) << ErrorReason(*document);
    EXPECT_EQ(document->getElementById("p"), nullptr);
  }
  std::string frames;
  for (const char* target : kPrivateTargets) {
    frames += "<iframe src='" + WithPort(target, engine_.port()) + "'></iframe>";
  }
  engine_.write_page("framed.html", "<body>" + frames + "</body>");
  Load("http://files.example.com/framed.html");
  // A redirect to a public name is followed as ever.
  EXPECT_EQ(Text(*Load("http://files.example.com/redirect?to=" +
                       Escape("http://files.example.com/f.html")),
                 "p"),
            "private");
  // Nothing reached the engine but through the public name.
  for (const JsonValue& line : engine_.log_lines()) {
    EXPECT_EQ(line["host"].as_string(), "files.example.com") << line["target"].as_string();
  }
}

TEST_F(BrowserTest, WithoutAProxyTheAddressConnectedToIsChecked) {
  unsetenv("http_proxy");  // ProxyTo puts it back
  platform::HttpClient client(loop_);
  for (const std::string& url :
       {engine_.url("/f.html"), "http://localhost:" + std::to_string(engine_.port()) + "/"}) {
    SCOPED_TRACE(url);
    bool done = false;
    platform::HttpResult got;
    platform::GetOptions options;
    options.initiator = platform::AddressSpace::kPublic;
    client.Get(
        url,
        [&](platform::HttpResult result) {
          got = std::move(result);
          done = true;
        },
        options);
    loop_.RunUntil(done);
    EXPECT_NE(got.error.find("the address connected to is on this machine"), std::string::npos)
        << got.error;
  }
  EXPECT_TRUE(engine_.log_lines().empty());
}

TEST(AddressSpace, HostsAsWritten) {
  using platform::AddressSpace;
  const struct {
    const char* host;
    std::optional<AddressSpace> space;
  } cases[] = {
      {"127.0.0.1", AddressSpace::kLocal},
      {"127.1.2.3", AddressSpace::kLocal},
      {"0.0.0.0", AddressSpace::kLocal},
      {"2130706433", AddressSpace::kLocal},
      {"0x7f.1", AddressSpace::kLocal},
      {"localhost", AddressSpace::kLocal},
      {"LocalHost.", AddressSpace::kLocal},
      {"a.localhost", AddressSpace::kLocal},
      {"[::1]", AddressSpace::kLocal},
      {"::", AddressSpace::kLocal},
      {"[::ffff:127.0.0.1]", AddressSpace::kLocal},
      {"10.0.0.1", AddressSpace::kPrivate},
      {"172.16.0.1", AddressSpace::kPrivate},
      {"172.31.255.255", AddressSpace::kPrivate},
      {"192.168.0.1", AddressSpace::kPrivate},
      {"169.254.169.254", AddressSpace::kPrivate},
      {"[fe80::1]", AddressSpace::kPrivate},
      {"[fc00::1]", AddressSpace::kPrivate},
      {"[fdff::1]", AddressSpace::kPrivate},
      {"[::ffff:10.0.0.1]", AddressSpace::kPrivate},
      {"172.32.0.1", AddressSpace::kPublic},
      {"172.15.0.1", AddressSpace::kPublic},
      {"8.8.8.8", AddressSpace::kPublic},
      {"[2001:db8::1]", AddressSpace::kPublic},
      {"[fec0::1]", AddressSpace::kPublic},
      {"www.sogou.com", std::nullopt},
      {"localhost.example.com", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::HostLiteralSpace(c.host), c.space) << c.host;
  }
}

TEST(EventLoopThreads, OnlyTheMainThreadTakesTheGlobalDefaultContext) {
  GMainContext* global = g_main_context_default();
  {
    platform::EventLoop main_loop;
    EXPECT_EQ(main_loop.native_context(), global);
  }
  // Nobody holds the global context now; a worker still gets its own.
  GMainContext* worker_context = nullptr;
  bool window_possible_context = true;
  std::thread worker([&] {
    platform::EventLoop loop;
    worker_context = loop.native_context();
    GMainContext* thread_default = g_main_context_ref_thread_default();
    window_possible_context = thread_default == global;
    g_main_context_unref(thread_default);
  });
  worker.join();
  EXPECT_NE(worker_context, global);
  EXPECT_FALSE(window_possible_context);  // so the window module is not loaded there
  // A worker that is iterating the global context (the host's loop runs there) keeps it.
  GMainContext* iterating_context = nullptr;
  std::thread iterating([&] {
    ASSERT_TRUE(g_main_context_acquire(global));
    {
      platform::EventLoop loop;
      iterating_context = loop.native_context();
    }
    g_main_context_release(global);
  });
  iterating.join();
  EXPECT_EQ(iterating_context, global);
}

}  // namespace
}  // namespace docseek::test
