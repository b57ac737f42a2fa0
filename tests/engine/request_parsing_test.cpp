// SPDX-License-Identifier: MIT
// How the engine reads request heads, targets and query strings.
#include <gtest/gtest.h>

#include <string>

#include "http.h"
#include "url.h"

namespace docseek::engine {
namespace {

struct DecodeCase {
  std::string raw;
  bool plus_is_space;
  std::string decoded;
};

class PercentDecode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(PercentDecode, DecodesLikeAForm) {
  EXPECT_EQ(::docseek::engine::PercentDecode(GetParam().raw, GetParam().plus_is_space),
            GetParam().decoded);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PercentDecode,
    ::testing::Values(DecodeCase{"a%20b", true, "a b"}, DecodeCase{"a+b", true, "a b"},
                      DecodeCase{"a+b", false, "a+b"}, DecodeCase{"C%2B%2B", true, "C++"},
                      DecodeCase{"a%26b%23c%25d", true, "a&b#c%d"},
                      DecodeCase{"%e6%8a%a5%E5%91%8A", true, "报告"},
                      DecodeCase{"%00", true, std::string(1, '\0')},
                      // Broken escapes stay as they are rather than swallow what follows.
                      DecodeCase{"100%", true, "100%"}, DecodeCase{"%4", true, "%4"},
                      DecodeCase{"%zz%4g", true, "%zz%4g"}, DecodeCase{"%%41", true, "%A"}));

TEST(ParseQuery, KeepsOrderEmptyValuesAndEscapedSeparators) {
  const Params params = ParseQuery("query=a%26b%3Dc+filetype%3Apdf&tsn=2&pid=&&flag&num=20&num=30");
  const Params expected = {{"query", "a&b=c filetype:pdf"},
                           {"tsn", "2"},
                           {"pid", ""},
                           {"flag", ""},
                           {"num", "20"},
                           {"num", "30"}};
  EXPECT_EQ(params, expected);
  EXPECT_EQ(FindParam(params, "num"), "20");  // the first of a repeated name
  EXPECT_EQ(FindParam(params, "missing"), std::nullopt);
}

struct TargetCase {
  std::string target;
  std::optional<Target> split;
};

class SplitTarget : public ::testing::TestWithParam<TargetCase> {};

TEST_P(SplitTarget, FindsPathAndQuery) {
  const auto got = ::docseek::engine::SplitTarget(GetParam().target);
  ASSERT_EQ(got.has_value(), GetParam().split.has_value());
  if (got) {
    EXPECT_EQ(got->path, GetParam().split->path);
    EXPECT_EQ(got->query, GetParam().split->query);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitTarget,
    ::testing::Values(TargetCase{"/web?query=a&num=1", Target{"/web", "query=a&num=1"}},
                      TargetCase{"/a/b.html", Target{"/a/b.html", ""}},
                      TargetCase{"http://www.sogou.com/web?query=a", Target{"/web", "query=a"}},
                      TargetCase{"HTTP://www.sogou.com:80/web", Target{"/web", ""}},
                      TargetCase{"http://www.sogou.com", Target{"/", ""}},
                      TargetCase{"http://www.sogou.com?x=1", Target{"/", "x=1"}},
                      TargetCase{"/web?query=a#frag", Target{"/web", "query=a"}},
                      TargetCase{"/web?query=a?b", Target{"/web", "query=a?b"}},
                      TargetCase{"web", std::nullopt}, TargetCase{"*", std::nullopt},
                      TargetCase{"www.sogou.com:443", std::nullopt},
                      TargetCase{"ftp://host/x", std::nullopt}, TargetCase{"http://", std::nullopt},
                      TargetCase{"http:///web", std::nullopt}));

struct HeadCase {
  std::string name;
  std::string head;
  int error;
};

class ParseHead : public ::testing::TestWithParam<HeadCase> {};

TEST_P(ParseHead, AnswersFaultsWithTheRightStatus) {
  EXPECT_EQ(ParseRequestHead(GetParam().head).error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseHead,
    ::testing::Values(
        HeadCase{"Good", "GET /web?query=a HTTP/1.1\r\nHost: x\r\n\r\n", 0},
        HeadCase{"BareLineFeeds", "GET / HTTP/1.1\nHost: x\n\n", 0},
        HeadCase{"LeadingEmptyLines", "\r\n\r\nGET / HTTP/1.1\r\n\r\n", 0},
        HeadCase{"Http10", "GET / HTTP/1.0\r\n\r\n", 0},
        HeadCase{"NoHostIsTolerated", "GET / HTTP/1.1\r\n\r\n", 0},
        HeadCase{"ConnectAuthority", "CONNECT www.sogou.com:443 HTTP/1.1\r\n\r\n", 0},
        HeadCase{"OtherAuthority", "GET www.sogou.com:443 HTTP/1.1\r\n\r\n", 400},
        HeadCase{"OnlyGarbage", "GARBAGE\r\n\r\n", 400}, HeadCase{"Empty", "\r\n\r\n", 400},
        HeadCase{"SpaceInTarget", "GET /a b HTTP/1.1\r\n\r\n", 400},
        HeadCase{"DoubleSpace", "GET  / HTTP/1.1\r\n\r\n", 400},
        HeadCase{"RelativeTarget", "GET web HTTP/1.1\r\n\r\n", 400},
        HeadCase{"ControlInTarget", std::string("GET /\x01 HTTP/1.1\r\n\r\n"), 400},
        HeadCase{"NulInPath", "GET /a%00b HTTP/1.1\r\n\r\n", 400},
        HeadCase{"BadMethod", "G(T / HTTP/1.1\r\n\r\n", 400},
        HeadCase{"NotHttp", "GET / FTP/1.0\r\n\r\n", 400},
        HeadCase{"FutureHttp", "GET / HTTP/2.0\r\n\r\n", 505},
        HeadCase{"FieldWithoutColon", "GET / HTTP/1.1\r\nNoColon\r\n\r\n", 400},
        HeadCase{"SpaceBeforeColon", "GET / HTTP/1.1\r\nHost : x\r\n\r\n", 400},
        HeadCase{"FoldedField", "GET / HTTP/1.1\r\nX: a\r\n b\r\n\r\n", 400},
        HeadCase{"ControlInValue", std::string("GET / HTTP/1.1\r\nX: a\x7f\r\n\r\n"), 400},
        HeadCase{"BadLength", "GET / HTTP/1.1\r\nContent-Length: 1x\r\n\r\n", 400},
        HeadCase{"ConflictingLengths",
                 "GET / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n", 400},
        HeadCase{"TooManyFields",
                 "GET / HTTP/1.1\r\n" +
                     [] {
                       std::string fields;
                       for (std::size_t i = 0; i <= kMaxHeaderFields; ++i) {
                         fields += "X-" + std::to_string(i) + ": v\r\n";
                       }
                       return fields;
                     }() +
                     "\r\n",
                 431},
        HeadCase{"TooLarge", "GET / HTTP/1.1\r\nX: " + std::string(kMaxHeadBytes, 'a') + "\r\n\r\n",
                 431}),
    [](const auto& info) { return info.param.name; });

TEST(ParseHead, ReadsTheRequest) {
  const ParsedHead parsed = ParseRequestHead(
      "GET http://www.sogou.com/web%2Fx?query=a+b%2Bc&num=5 HTTP/1.1\r\n"
      "host:  www.sogou.com \r\nUser-Agent: t\r\n\r\n");
  ASSERT_EQ(parsed.error, 0);
  const Request& req = parsed.request;
  EXPECT_EQ(req.method, "GET");
  EXPECT_EQ(req.target, "http://www.sogou.com/web%2Fx?query=a+b%2Bc&num=5");
  EXPECT_EQ(req.path, "/web/x");  // paths are decoded without turning '+' into a space
  EXPECT_EQ(FindParam(req.params, "query"), "a b+c");
  EXPECT_EQ(req.Header("HOST"), "www.sogou.com");
  EXPECT_TRUE(req.keep_alive);
  EXPECT_FALSE(req.has_body);
}

struct ConnectionCase {
  std::string head;
  bool keep_alive;
  bool has_body;
};

class ParseHeadConnection : public ::testing::TestWithParam<ConnectionCase> {};

TEST_P(ParseHeadConnection, DecidesKeepAliveAndBody) {
  const ParsedHead parsed = ParseRequestHead(GetParam().head);
  ASSERT_EQ(parsed.error, 0);
  EXPECT_EQ(parsed.request.keep_alive, GetParam().keep_alive);
  EXPECT_EQ(parsed.request.has_body, GetParam().has_body);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseHeadConnection,
    ::testing::Values(
        ConnectionCase{"GET / HTTP/1.1\r\n\r\n", true, false},
        ConnectionCase{"GET / HTTP/1.1\r\nConnection: Upgrade, Close\r\n\r\n", false, false},
        ConnectionCase{"GET / HTTP/1.0\r\n\r\n", false, false},
        ConnectionCase{"GET / HTTP/1.0\r\nConnection: keep-alive\r\n\r\n", true, false},
        ConnectionCase{"GET / HTTP/1.1\r\nContent-Length: 0\r\n\r\n", true, false},
        ConnectionCase{"POST / HTTP/1.1\r\nContent-Length: 5\r\n\r\n", true, true},
        ConnectionCase{"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", true, true}));

TEST(FindHeadEnd, WaitsForTheEmptyLine) {
  EXPECT_EQ(FindHeadEnd("GET / HTTP/1.1\r\nHost: x\r\n"), std::nullopt);
  EXPECT_EQ(FindHeadEnd("\r\n\r\n"), std::nullopt);  // only the empty lines before a request
  const std::string two = "GET /a HTTP/1.1\r\n\r\nGET /b HTTP/1.1\r\n\r\n";
  EXPECT_EQ(FindHeadEnd(two), two.find("GET /b"));
  EXPECT_EQ(FindHeadEnd("GET / HTTP/1.1\n\nrest"), 16u);
}

TEST(SerializeResponse, HeadKeepsTheLengthAndDropsTheBody) {
  Response r = ErrorResponse(404);
  const std::string get = SerializeResponse(r, false, true);
  const std::string head = SerializeResponse(r, true, false);
  const std::string length = "Content-Length: " + std::to_string(r.body.size()) + "\r\n";
  EXPECT_NE(get.find(length), std::string::npos);
  EXPECT_NE(head.find(length), std::string::npos);
  EXPECT_TRUE(get.ends_with("\r\n\r\n" + r.body));
  EXPECT_TRUE(head.ends_with("Connection: close\r\n\r\n"));
  r.status = 204;
  EXPECT_EQ(SerializeResponse(r, false, true).find("Content-Length"), std::string::npos);
  EXPECT_TRUE(SerializeResponse(r, false, true).ends_with("\r\n\r\n"));
}

}  // namespace
}  // namespace docseek::engine
