// SPDX-License-Identifier: MIT
// docseek-engine as the plug-in and scripts meet it: a process on a loopback port, reached
// directly or as a proxy, that keeps serving whatever a client throws at it.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/engine_process.h"
#include "synthetic.h"

namespace docseek {
namespace {

using engine::RenderResultPage;
using test::EngineProcess;
using test::http_get;
using test::HttpOptions;
using test::raw_exchange;
using test::RawConnection;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The status code of the first response in raw bytes, 0 if there is none.
int status_of(const std::string& raw) {
  if (!raw.starts_with("HTTP/1.1 ") || raw.size() < 12) return 0;
  return std::stoi(raw.substr(9, 3));
}

int count_of(const std::string& haystack, const std::string& needle) {
  int n = 0;
  for (auto at = haystack.find(needle); at != std::string::npos;
       at = haystack.find(needle, at + needle.size())) {
    ++n;
  }
  return n;
}

// The address the plug-in asks for, with an already encoded keyword and type.
std::string plugin_target(const std::string& keyword, const std::string& type,
                          const std::string& num) {
  return "/web?query=" + keyword + "%20filetype:" + type +
         "&tsn=2&pid=&duppid=1&p=40230105&num=" + num;
}

class EngineHttp : public ::testing::Test {
 protected:
  // The engine still answers a plain request: nothing before has wedged or killed it.
  void expect_still_serving() {
    const auto r = http_get(engine.url("/web?query=alive%20filetype:pdf&num=1"));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, RenderResultPage("alive filetype:pdf", 1));
  }

  EngineProcess engine;
};

TEST_F(EngineHttp, ListensOnARealLoopbackPort) {
  EXPECT_NE(engine.port(), 0);
  const EngineProcess second;
  EXPECT_NE(second.port(), engine.port());
  EXPECT_EQ(http_get(second.url("/status/204")).status, 204);
}

TEST_F(EngineHttp, OriginAndProxyFormGetTheSamePage) {
  const std::string target = plugin_target("annual%20report", "pdf", "20");
  const auto direct = http_get(engine.url(target));
  HttpOptions through_proxy;
  through_proxy.proxy = engine.proxy();
  const auto proxied = http_get("http://www.sogou.com" + target, through_proxy);

  const std::string expected = RenderResultPage("annual report filetype:pdf", 20);
  for (const auto* r : {&direct, &proxied}) {
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(r->header("Content-Type"), "text/html; charset=utf-8");
    EXPECT_EQ(r->body, expected);
  }
  const auto log = engine.log_lines();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0]["target"].as_string(), target);
  EXPECT_EQ(log[0]["host"].as_string(), "127.0.0.1:" + std::to_string(engine.port()));
  EXPECT_EQ(log[1]["target"].as_string(), "http://www.sogou.com" + target);
  EXPECT_EQ(log[1]["host"].as_string(), "www.sogou.com");
  for (const auto& line : log) {
    EXPECT_EQ(line["path"].as_string(), "/web");
    EXPECT_EQ(line["query"].as_string(), "annual report filetype:pdf");
    EXPECT_EQ(line["num"].as_string(), "20");
    EXPECT_EQ(line["params"]["tsn"].as_string(), "2");
    EXPECT_EQ(line["params"]["pid"].as_string(), "");
    EXPECT_EQ(line["params"]["p"].as_string(), "40230105");
    EXPECT_EQ(line["status"].as_number(), 200);
  }
}

TEST_F(EngineHttp, DecodesQueriesAsAFormDoes) {
  struct Case {
    std::string encoded;
    std::string decoded;
  };
  const std::vector<Case> cases = {
      {"report%20filetype%3Apdf", "report filetype:pdf"},
      {"report+filetype:pdf", "report filetype:pdf"},
      {"C%2B%2B%20filetype:pdf", "C++ filetype:pdf"},
      {"R%26D%20filetype:doc", "R&D filetype:doc"},
      {"%23tag%20filetype:xls", "#tag filetype:xls"},
      {"100%25%20filetype:ppt", "100% filetype:ppt"},
      {"%E5%B9%B4%E5%BA%A6%E6%8A%A5%E5%91%8A%20filetype:rtf", "年度报告 filetype:rtf"},
      {"a+b%2Bc%20filetype:a%26b", "a b+c filetype:a&b"},
      {"x%20filetype:pdf%20filetype:doc", "x filetype:pdf filetype:doc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.encoded);
    const auto r = http_get(engine.url("/web?query=" + c.encoded + "&num=3"));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, RenderResultPage(c.decoded, 3));
  }
  // The log gives the exact decoded query of each request, in order.
  const auto log = engine.log_lines();
  ASSERT_EQ(log.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(log[i]["query"].as_string(), cases[i].decoded);
  }
}

TEST_F(EngineHttp, NumSetsTheNumberOfHits) {
  struct Case {
    std::string num_param;  // "" when the request has no num at all
    int hits;
  };
  for (const Case& c : std::vector<Case>{{"&num=0", 0},
                                         {"&num=1", 1},
                                         {"&num=37", 37},
                                         {"&num=100", 100},
                                         {"&num=101", 100},
                                         {"&num=100000000000", 100},
                                         {"&num=-10", 10},
                                         {"&num=abc", 10},
                                         {"&num=", 10},
                                         {"", 10}}) {
    SCOPED_TRACE(c.num_param);
    const auto r = http_get(engine.url("/web?query=k%20filetype:pdf" + c.num_param));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(count_of(r.body, "id=\"uigs"), c.hits);
    EXPECT_EQ(count_of(r.body, "id=\"cacheresult_info_"), c.hits);
    EXPECT_EQ(count_of(r.body, "id=\"cacheresult_summary_"), c.hits);
    EXPECT_EQ(r.body.find("id=\"uigs" + std::to_string(c.hits) + "\""), std::string::npos);
    if (c.hits > 0) {
      EXPECT_NE(r.body.find("id=\"uigs" + std::to_string(c.hits - 1) + "\""), std::string::npos);
    }
  }
  const auto log = engine.log_lines();
  ASSERT_FALSE(log.empty());
  EXPECT_TRUE(log.back()["num"].is_null());
  EXPECT_EQ(log[6]["num"].as_string(), "-10");
}

TEST_F(EngineHttp, EscapesTheKeywordInThePage) {
  const auto r = http_get(engine.url("/web?query=%3Cb%3E%22x%22%26%27y%27%20filetype:pdf&num=2"));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body.find("<b>"), std::string::npos);
  EXPECT_NE(r.body.find("<em>&lt;b&gt;&quot;x&quot;&amp;&#39;y&#39;</em>"), std::string::npos);
}

TEST_F(EngineHttp, HeadGivesTheHeadersOfGet) {
  const std::string target = plugin_target("k", "pdf", "5");
  const auto get = http_get(engine.url(target));
  HttpOptions head_only;
  head_only.head = true;
  const auto head = http_get(engine.url(target), head_only);
  EXPECT_EQ(head.status, 200);
  EXPECT_TRUE(head.body.empty());
  EXPECT_EQ(head.header("Content-Length"), std::to_string(get.body.size()));
  EXPECT_EQ(head.header("Content-Type"), get.header("Content-Type"));
  EXPECT_EQ(engine.log_lines().at(1)["method"].as_string(), "HEAD");
}

TEST_F(EngineHttp, AnswersOnlyGetAndHead) {
  const std::string post = raw_exchange(
      engine.port(), "POST /web HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n\r\nhello");
  EXPECT_EQ(status_of(post), 405);
  EXPECT_NE(post.find("Allow: GET, HEAD\r\n"), std::string::npos);
  // https through the proxy: refused, and the handshake bytes after it are never read as HTTP.
  const std::string connect = raw_exchange(
      engine.port(),
      "CONNECT www.sogou.com:443 HTTP/1.1\r\nHost: www.sogou.com:443\r\n\r\n\x16\x03\x01");
  EXPECT_EQ(status_of(connect), 405);
  EXPECT_EQ(count_of(connect, "HTTP/1.1 "), 1);
  expect_still_serving();
}

TEST_F(EngineHttp, MalformedRequestsGetAnErrorAndTheEngineGoesOn) {
  struct Case {
    std::string bytes;
    int status;
  };
  const std::vector<Case> cases = {
      {"GARBAGE\r\n\r\n", 400},
      {std::string("\0\x01\x02\xff\xfe\r\n\r\n", 9), 400},
      {"GET /a b HTTP/1.1\r\n\r\n", 400},
      {"GET web HTTP/1.1\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\nNoColon\r\n\r\n", 400},
      {"GET / HTTP/1.1\r\nX: a\r\n folded\r\n\r\n", 400},
      {"GET /web HTTP/1.1\r\nContent-Length: -1\r\n\r\n", 400},
      {"GET /web HTTP/2.0\r\n\r\n", 505},
      {"GET /web?query=" + std::string(70 * 1024, 'a') + " HTTP/1.1\r\n\r\n", 431},
      {"GET /web HTTP/1.1\r\nX: " + std::string(70 * 1024, 'a'), 431},  // never ends
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes.substr(0, 40));
    const std::string answer = raw_exchange(engine.port(), c.bytes);
    EXPECT_EQ(status_of(answer), c.status);
    EXPECT_NE(answer.find("Connection: close\r\n"), std::string::npos);
  }
  // Clients that give up halfway.
  for (const char* partial : {"GET /web?query=x HT", "", "\r\n"}) {
    RawConnection connection(engine.port());
    connection.send(partial);
  }
  expect_still_serving();
  const auto log = engine.log_lines();
  ASSERT_EQ(log.size(), cases.size() + 1);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(log[i]["status"].as_number(), cases[i].status);
  }
}

TEST_F(EngineHttp, ReadsARequestThatArrivesByteByByte) {
  const std::string request = "GET " + plugin_target("slow%20client", "pdf", "2") +
                              " HTTP/1.1\r\nHost: www.sogou.com\r\nConnection: close\r\n\r\n";
  RawConnection connection(engine.port());
  for (char c : request) {
    ASSERT_TRUE(connection.send(std::string_view(&c, 1)));
    std::this_thread::sleep_for(milliseconds(1));
  }
  const std::string answer = connection.read_until_close();
  EXPECT_EQ(status_of(answer), 200);
  EXPECT_TRUE(answer.ends_with(RenderResultPage("slow client filetype:pdf", 2)));
}

TEST_F(EngineHttp, AnswersPipelinedRequestsInOrderOnOneConnection) {
  const std::string answer =
      raw_exchange(engine.port(),
                   "GET /status/404 HTTP/1.1\r\nHost: x\r\n\r\n"
                   "GET /web?query=one%20filetype:pdf&num=1 HTTP/1.1\r\nHost: x\r\n\r\n"
                   "GET /status/503 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  const auto first = answer.find("HTTP/1.1 404");
  const auto second = answer.find("HTTP/1.1 200");
  const auto third = answer.find("HTTP/1.1 503");
  EXPECT_EQ(first, 0u);
  EXPECT_LT(first, second);
  EXPECT_LT(second, third);
  EXPECT_NE(third, std::string::npos);
  EXPECT_EQ(count_of(answer, "Connection: keep-alive\r\n"), 2);
  EXPECT_EQ(count_of(answer, "Connection: close\r\n"), 1);
  EXPECT_NE(answer.find(RenderResultPage("one filetype:pdf", 1)), std::string::npos);
}

TEST_F(EngineHttp, ClosesHttp10ConnectionsAfterOneAnswer) {
  RawConnection connection(engine.port());
  connection.send("GET /status/200 HTTP/1.0\r\n\r\n");
  const std::string answer = connection.read_until_close();
  EXPECT_EQ(status_of(answer), 200);
  EXPECT_NE(answer.find("Connection: close\r\n"), std::string::npos);
}

TEST_F(EngineHttp, ServesManyConnectionsOneAfterAnother) {
  constexpr int kRequests = 300;
  for (int i = 0; i < kRequests; ++i) {
    ASSERT_EQ(http_get(engine.url("/web?query=" + std::to_string(i) + "&num=0")).status, 200);
  }
  const auto log = engine.log_lines();
  ASSERT_EQ(log.size(), static_cast<std::size_t>(kRequests));
  EXPECT_EQ(log.back()["query"].as_string(), std::to_string(kRequests - 1));
}

TEST_F(EngineHttp, IdleAndHalfSentConnectionsBlockNoOne) {
  std::vector<std::unique_ptr<RawConnection>> idle;
  for (int i = 0; i < 40; ++i) {
    idle.push_back(std::make_unique<RawConnection>(engine.port()));
    if (i % 2) idle.back()->send("GET /web?query=half");
  }
  const auto start = Clock::now();
  expect_still_serving();
  EXPECT_LT(Clock::now() - start, milliseconds(2000));
}

TEST_F(EngineHttp, SlowAnswersDoNotHoldUpOthers) {
  RawConnection slow(engine.port());
  const auto start = Clock::now();
  slow.send("GET /slow?ms=1000 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  expect_still_serving();
  EXPECT_LT(Clock::now() - start, milliseconds(800));
  const std::string answer = slow.read_until_close();
  EXPECT_GE(Clock::now() - start, milliseconds(1000));
  EXPECT_EQ(status_of(answer), 200);
}

TEST_F(EngineHttp, StatusAndRedirectRoutes) {
  struct Case {
    std::string target;
    int status;
  };
  for (const Case& c : std::vector<Case>{{"/status/200", 200},
                                         {"/status/404", 404},
                                         {"/status/500", 500},
                                         {"/status/503", 503},
                                         {"/status/299", 299},
                                         {"/status/199", 400},
                                         {"/status/600", 400},
                                         {"/status/abc", 400},
                                         {"/status/", 400},
                                         {"/redirect", 400},
                                         {"/redirect?to=", 400},
                                         {"/redirect?to=http://x/%0D%0ASet-Cookie:%20a=b", 400},
                                         {"/slow?ms=-1", 400},
                                         {"/slow?ms=x", 400}}) {
    SCOPED_TRACE(c.target);
    const auto r = http_get(engine.url(c.target));
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.header("Content-Type"), "text/html; charset=utf-8");
    EXPECT_NE(r.body.find("<h1>" + std::to_string(c.status)), std::string::npos);
  }
  const auto no_content = http_get(engine.url("/status/204"));
  EXPECT_EQ(no_content.status, 204);
  EXPECT_TRUE(no_content.body.empty());

  const auto moved =
      http_get(engine.url("/redirect?to=http%3A%2F%2Fwww.sogou.com%2Fweb%3Fquery%3Da%26num%3D1"));
  EXPECT_EQ(moved.status, 302);
  EXPECT_EQ(moved.header("Location"), "http://www.sogou.com/web?query=a&num=1");
}

TEST_F(EngineHttp, RedirectsWithTheStatusAsked) {
  for (const int status : {301, 302, 307, 308}) {
    SCOPED_TRACE(status);
    const auto r = http_get(engine.url("/redirect?to=%2Fx&status=" + std::to_string(status)));
    EXPECT_EQ(r.status, status);
    EXPECT_EQ(r.header("Location"), "/x");
  }
  for (const char* bad : {"200", "303", "3O1", ""}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(http_get(engine.url(std::string("/redirect?to=%2Fx&status=") + bad)).status, 400);
  }
}

TEST_F(EngineHttp, AFirstVisitGetsASessionCookieAndTheLogShowsItComingBack) {
  const auto first = http_get(engine.url("/web?query=a&num=1"));
  EXPECT_EQ(first.header("Set-Cookie"), "SUID=1; path=/");
  const auto second = http_get(engine.url("/web?query=b&num=1"));
  EXPECT_EQ(second.header("Set-Cookie"), "SUID=2; path=/");
  const std::string answer =
      raw_exchange(engine.port(),
                   "GET /web?query=c&num=1 HTTP/1.1\r\nHost: x\r\nCookie: SUID=1\r\n\r\n"
                   "GET /status/200 HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(answer.find("Set-Cookie"), std::string::npos);  // a returning client keeps its own

  const auto log = engine.log_lines();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_TRUE(log[0]["cookie"].is_null());
  EXPECT_EQ(log[2]["cookie"].as_string(), "SUID=1");
  // Connections are numbered as accepted; the last two requests shared one.
  EXPECT_EQ(log[0]["connection"].as_number(), 1);
  EXPECT_EQ(log[1]["connection"].as_number(), 2);
  EXPECT_EQ(log[2]["connection"].as_number(), 3);
  EXPECT_EQ(log[3]["connection"].as_number(), 3);
}

TEST(EngineLatency, EveryAnswerWaitsTheLatencyOnTopOfItsOwnDelay) {
  EngineProcess engine(test::EngineOptions{.args = {"--latency", "300"}});
  const auto start = Clock::now();
  EXPECT_EQ(http_get(engine.url("/status/204")).status, 204);
  EXPECT_GE(Clock::now() - start, milliseconds(300));
  const auto slow_start = Clock::now();
  EXPECT_EQ(http_get(engine.url("/slow?ms=200")).status, 200);
  EXPECT_GE(Clock::now() - slow_start, milliseconds(500));
}

class EngineStop : public ::testing::TestWithParam<int> {};

TEST_P(EngineStop, EndsCleanlyOnSignal) {
  EngineProcess engine;
  RawConnection open_connection(engine.port());
  open_connection.send("GET /slow?ms=60000 HTTP/1.1\r\n\r\n");
  EXPECT_EQ(engine.stop(GetParam()), 0);
  EXPECT_TRUE(open_connection.closed_by_peer(milliseconds(1000)));
}

INSTANTIATE_TEST_SUITE_P(Signals, EngineStop, ::testing::Values(SIGTERM, SIGINT));

struct UsageCase {
  std::string name;
  std::vector<std::string> args;
  int status;
  std::string out;  // expected in stdout
  std::string err;  // expected in stderr
};

class EngineUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(EngineUsage, ExitsWithTheRightStatus) {
  const UsageCase& c = GetParam();
  const test::EngineRun run = test::run_engine(c.args);
  EXPECT_EQ(run.status, c.status);
  EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
  EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
  if (c.status != 0) {
    EXPECT_EQ(run.out, "");  // nothing a script could take for a port line
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EngineUsage,
    ::testing::Values(
        UsageCase{"Help", {"--help"}, 0, "Usage: docseek-engine", ""},
        UsageCase{"Version", {"--version"}, 0, "docseek-engine ", ""},
        UsageCase{"UnknownOption", {"--bogus"}, 2, "", "unknown argument: --bogus"},
        UsageCase{"MissingValue", {"--port"}, 2, "", "--port needs a value"},
        UsageCase{"PortNotANumber", {"--port", "http"}, 2, "", "bad port"},
        UsageCase{"PortTooLarge", {"--port", "65536"}, 2, "", "bad port"},
        UsageCase{"NegativePort", {"--port", "-1"}, 2, "", "bad port"},
        UsageCase{"LatencyNotANumber", {"--latency", "1s"}, 2, "", "bad latency"},
        UsageCase{"LatencyTooLong", {"--latency", "60001"}, 2, "", "bad latency"},
        UsageCase{"PagesNotADirectory", {"--pages", "no/such/dir"}, 2, "", "not a directory"},
        UsageCase{"LogInMissingDirectory", {"--log", "no/such/dir/log"}, 1, "", "cannot open log"}),
    [](const auto& info) { return info.param.name; });

TEST(EngineUsage, PortInUseIsAnError) {
  const EngineProcess first;
  const test::EngineRun run = test::run_engine({"--port", std::to_string(first.port())});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("bind"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace docseek
