// SPDX-License-Identifier: MIT
// Synthetic result pages of docseek-engine, and the rule that makes them.
//
// A result page answers "KEYWORD filetype:TYPE" with a fixed number of hits. Every field of hit n
// depends only on (keyword, type, n), so the same request always gives the same bytes and a test
// can compute what any reader of the page must find. The rule, for n = 0, 1, 2, ...:
//
//   title    n % 4 == 0: "年度" KEYWORD "报告 " n
//            n % 4 == 1: KEYWORD ": Q&A and annual report " n
//            n % 4 == 2: "关于" KEYWORD "的说明/第" n "部分"
//            n % 4 == 3: "What is " KEYWORD "? Notes v1." n
//            (Chinese and English alternate; the keyword is wrapped in <em> in the markup)
//   link     "http://files" (n % 5) ".example.com/docs/" SLUG "-" n "." TYPE', where SLUG is
//            report, notes, manual, paper for n % 4 = 0..3 and TYPE' is TYPE with every byte
//            other than A-Z a-z 0-9 - . _ ~ written as %XX (upper-case hex), so the link is
//            already in the form a URL parser leaves unchanged
//   site     the link without "http://"
//   size     n % 7 -> 123K, 1.2K, 87K, 1024K, 33k, 4.5K, 560K
//   date     (2005 + n % 10) "-" (1 + 7n % 12) "-" (1 + 11n % 28), no leading zeros
//   info     site NBSP "-" NBSP size NBSP "-" NBSP date (NBSP is U+00A0, &nbsp; in the markup)
//   summary  even n: "这是一份关于" KEYWORD "的" TYPE "文档，第" n "条结果。"
//            odd n:  "A " TYPE " document about " KEYWORD ", result " n " of this page."
//
// Markup of hit n (the ids are what a reader looks the hit up by):
//   <div class="vrwrap"><h3 class="vrTitle"><a id="uigsN" href="LINK" target="_blank">TITLE</a>
//   </h3><div class="fb"><cite id="cacheresult_info_N">INFO</cite></div>
//   <p class="str_info" id="cacheresult_summary_N">SUMMARY</p></div>
// (one line in the page; wrapped here for reading). Keyword and type are HTML-escaped wherever
// they appear. The text fields below are the elements' text content: the markup decoded, the
// keyword as given. A renderer's innerText additionally collapses runs of white space, which
// only matters for keywords or types that contain such runs.
#ifndef DOCSEEK_ENGINE_SYNTHETIC_H
#define DOCSEEK_ENGINE_SYNTHETIC_H

#include <optional>
#include <string>
#include <string_view>

namespace docseek::engine {

inline constexpr int kDefaultHits = 10;
inline constexpr int kMaxHits = 100;

// The two halves of a query "KEYWORD filetype:TYPE": the type is the text after the last
// " filetype:", the keyword everything before it. Without that marker the whole query is the
// keyword and the type is empty.
struct SearchTerms {
  std::string keyword;
  std::string type;
};
SearchTerms SplitQuery(std::string_view query);

// Hits on a page for the value of the `num` parameter: a decimal count of 0 or more, at most
// kMaxHits; kDefaultHits when num is missing, negative or not a plain decimal number.
int HitCount(std::optional<std::string_view> num);

struct Hit {
  std::string title;
  std::string link;
  std::string site;
  std::string size;
  std::string date;
  std::string info;
  std::string summary;
};
Hit SyntheticHit(std::string_view keyword, std::string_view type, int n);

// The whole result page for a decoded query and a hit count from HitCount().
std::string RenderResultPage(std::string_view query, int hits);

// Escapes < > & " ' for use in text and in quoted attribute values.
std::string HtmlEscape(std::string_view text);

}  // namespace docseek::engine

#endif  // DOCSEEK_ENGINE_SYNTHETIC_H
