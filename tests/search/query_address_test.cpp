// SPDX-License-Identifier: MIT
#include "search/query_address.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/address.h"

namespace docseek {
namespace {

const std::string kTail = "&tsn=2&pid=&duppid=1&p=40230105&num=";

struct QueryCase {
  const char* name;
  std::string key;
  std::string type;
  int count;
  std::string expected_query;  // what follows "/web?query="
};

class QueryAddressTest : public ::testing::TestWithParam<QueryCase> {};

TEST_P(QueryAddressTest, BuildsTheAddress) {
  const QueryCase& c = GetParam();
  EXPECT_EQ(search::QueryAddress(c.key, c.type, c.count),
            "http://www.sogou.com/web?query=" + c.expected_query);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QueryAddressTest,
    ::testing::Values(QueryCase{"Plain", "report", "pdf", 20, "report filetype:pdf" + kTail + "20"},
                      QueryCase{"SpacesAndChineseUnchanged", "annual 年度 报告", "doc", 10,
                                "annual 年度 报告 filetype:doc" + kTail + "10"},
                      QueryCase{"StructuralCharactersEscaped", "AT&T C++ #1 50%", "pdf", 10,
                                "AT%26T C%2B%2B %231 50%25 filetype:pdf" + kTail + "10"},
                      QueryCase{"TypeEscapedToo", "x", "a&b#c", 10,
                                "x filetype:a%26b%23c" + kTail + "10"},
                      QueryCase{"OtherCharactersAsGiven", "a=b?c/d", "sogou", 100,
                                "a=b?c/d filetype:sogou" + kTail + "100"},
                      QueryCase{"ZeroCount", "x", "pdf", 0, "x filetype:pdf" + kTail + "0"},
                      QueryCase{"NegativeCount", "x", "pdf", -5, "x filetype:pdf" + kTail + "-5"},
                      QueryCase{"EmptyKeyword", "", "rtf", 10, " filetype:rtf" + kTail + "10"}),
    [](const ::testing::TestParamInfo<QueryCase>& info) { return info.param.name; });

TEST(EncodeForSendingTest, EscapesWhatCannotGoOnTheWire) {
  struct {
    std::string in, out;
  } cases[] = {
      {"http://h/web?query=a b", "http://h/web?query=a%20b"},
      {"http://h/?q=年", "http://h/?q=%E5%B9%B4"},
      {"http://h/?q=%2B%e5", "http://h/?q=%2B%e5"},  // existing escapes kept
      {"http://h/?q=50%", "http://h/?q=50%25"},      // a lone % is escaped
      {"http://h/?q=%4", "http://h/?q=%254"},
      {"http://h/?q=%zz", "http://h/?q=%25zz"},
      {"http://h/?q=a\tb\x7f\x01", "http://h/?q=a%09b%7F%01"},
      {"http://h/?q=\"<x>`", "http://h/?q=%22%3Cx%3E%60"},
      {"http://h/p?a=1&b=2#f", "http://h/p?a=1&b=2#f"},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::EncodeForSending(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace docseek
