// SPDX-License-Identifier: MIT
// Request log lines: valid JSON whatever bytes a request decodes to.
#include "request_log.h"

#include <gtest/gtest.h>

#include <string>

#include "support/json.h"

namespace docseek::engine {
namespace {

using test::JsonValue;
using test::parse_json;

struct EscapeCase {
  std::string name;
  std::string raw;
  std::string literal;  // what json_string writes
  std::string read;     // what a JSON reader gets back
};

class JsonString : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(JsonString, WritesAValidLiteral) {
  const EscapeCase& c = GetParam();
  const std::string literal = ::docseek::engine::JsonString(c.raw);
  EXPECT_EQ(literal, c.literal);
  EXPECT_EQ(parse_json(literal).as_string(), c.read);
}

const std::string kReplacement = "\xEF\xBF\xBD";

INSTANTIATE_TEST_SUITE_P(
    Cases, JsonString,
    ::testing::Values(
        EscapeCase{"Plain", "report", "\"report\"", "report"},
        EscapeCase{"QuoteAndBackslash", "a\"b\\c", "\"a\\\"b\\\\c\"", "a\"b\\c"},
        EscapeCase{"Controls", std::string("\n\t\x01\x1f\x7f", 5),
                   "\"\\u000A\\u0009\\u0001\\u001F\\u007F\"", std::string("\n\t\x01\x1f\x7f", 5)},
        EscapeCase{"Nul", std::string(1, '\0'), "\"\\u0000\"", std::string(1, '\0')},
        EscapeCase{"Utf8PassesThrough", "报告 €𝄞", "\"报告 €𝄞\"", "报告 €𝄞"},
        EscapeCase{"StrayByte",
                   "a\xff"
                   "b",
                   "\"a" + kReplacement + "b\"", "a" + kReplacement + "b"},
        // GBK for 报告: not UTF-8, so each byte is replaced.
        EscapeCase{"Gbk", "\xb1\xa8\xb8\xe6",
                   "\"" + kReplacement + kReplacement + kReplacement + kReplacement + "\"",
                   kReplacement + kReplacement + kReplacement + kReplacement},
        EscapeCase{"Truncated", "\xe6\x8a", "\"" + kReplacement + kReplacement + "\"",
                   kReplacement + kReplacement},
        EscapeCase{"Overlong", "\xc0\xaf", "\"" + kReplacement + kReplacement + "\"",
                   kReplacement + kReplacement},
        EscapeCase{"Surrogate", "\xed\xa0\x80",
                   "\"" + kReplacement + kReplacement + kReplacement + "\"",
                   kReplacement + kReplacement + kReplacement}),
    [](const auto& info) { return info.param.name; });

TEST(LogLine, RecordsTheDecodedRequest) {
  const ParsedHead parsed = ParseRequestHead(
      "GET /web?query=%E6%8A%A5+filetype%3Apdf&pid=&num=-3&num=5 HTTP/1.1\r\n"
      "Host: www.sogou.com\r\nUser-Agent: ua\r\n\r\n");
  ASSERT_EQ(parsed.error, 0);
  const JsonValue line = parse_json(LogLine(parsed.request, 200));
  EXPECT_EQ(line["method"].as_string(), "GET");
  EXPECT_EQ(line["target"].as_string(), "/web?query=%E6%8A%A5+filetype%3Apdf&pid=&num=-3&num=5");
  EXPECT_EQ(line["path"].as_string(), "/web");
  EXPECT_EQ(line["query"].as_string(), "报 filetype:pdf");
  EXPECT_EQ(line["num"].as_string(), "-3");
  const JsonValue::Object params = line["params"].as_object();
  ASSERT_EQ(params.size(), 4u);
  EXPECT_EQ(params[1].first, "pid");
  EXPECT_EQ(params[1].second.as_string(), "");
  EXPECT_EQ(params[3].second.as_string(), "5");
  EXPECT_EQ(line["host"].as_string(), "www.sogou.com");
  EXPECT_EQ(line["user_agent"].as_string(), "ua");
  EXPECT_EQ(line["status"].as_number(), 200);
}

TEST(LogLine, WhatAMalformedRequestNeverReachedIsNull) {
  const JsonValue garbage = parse_json(LogLine(ParseRequestHead("GARBAGE\r\n\r\n").request, 400));
  for (const char* field : {"method", "target", "path", "query", "num", "params", "host"}) {
    EXPECT_TRUE(garbage[field].is_null()) << field;
  }
  EXPECT_EQ(garbage["status"].as_number(), 400);

  const ParsedHead bad_version = ParseRequestHead("GET /web?query=q HTTP/3.0\r\n\r\n");
  const JsonValue partial = parse_json(LogLine(bad_version.request, bad_version.error));
  EXPECT_EQ(partial["method"].as_string(), "GET");
  EXPECT_EQ(partial["target"].as_string(), "/web?query=q");
  EXPECT_TRUE(partial["query"].is_null());
  EXPECT_EQ(partial["status"].as_number(), 505);
}

}  // namespace
}  // namespace docseek::engine
