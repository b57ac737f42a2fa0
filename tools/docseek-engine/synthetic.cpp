// SPDX-License-Identifier: MIT
// Only the standard library here: the plug-in's tests compile this file in to know what a page
// holds, without linking the rest of the engine.
#include "synthetic.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string>
#include <vector>

namespace docseek::engine {
namespace {

constexpr std::string_view kTypeMarker = " filetype:";
constexpr std::string_view kNbsp = "\u00a0";

// A field's text as a run of pieces, some of them highlighted: one description gives both the
// text a reader sees and the markup, so the two cannot drift apart.
struct Piece {
  std::string text;
  bool em = false;
};
using Pieces = std::vector<Piece>;

std::string Plain(const Pieces& pieces) {
  std::string out;
  for (const Piece& p : pieces) out += p.text;
  return out;
}

std::string Markup(const Pieces& pieces) {
  std::string out;
  for (const Piece& p : pieces) {
    if (p.em) {
      out += "<em>" + HtmlEscape(p.text) + "</em>";
    } else {
      out += HtmlEscape(p.text);
    }
  }
  return out;
}

Pieces TitlePieces(std::string_view keyword, int n) {
  const std::string num = std::to_string(n);
  const Piece kw{std::string(keyword), true};
  switch (n % 4) {
    case 0:
      return {{"年度"}, kw, {"报告 " + num}};
    case 1:
      return {kw, {": Q&A and annual report " + num}};
    case 2:
      return {{"关于"}, kw, {"的说明/第" + num + "部分"}};
    default:
      return {{"What is "}, kw, {"? Notes v1." + num}};
  }
}

Pieces SummaryPieces(std::string_view keyword, std::string_view type, int n) {
  const std::string num = std::to_string(n);
  const Piece kw{std::string(keyword), true};
  if (n % 2 == 0) {
    return {{"这是一份关于"}, kw, {"的" + std::string(type) + "文档，第" + num + "条结果。"}};
  }
  return {
      {"A " + std::string(type) + " document about "}, kw, {", result " + num + " of this page."}};
}

bool Unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

std::string UrlEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (Unreserved(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

std::string HitMarkup(std::string_view keyword, std::string_view type, int n, const Hit& hit) {
  const std::string id = std::to_string(n);
  std::string out;
  out += "<div class=\"vrwrap\"><h3 class=\"vrTitle\"><a id=\"uigs" + id + "\" href=\"" +
         HtmlEscape(hit.link) + "\" target=\"_blank\">" + Markup(TitlePieces(keyword, n)) +
         "</a></h3>";
  out += "<div class=\"fb\"><cite id=\"cacheresult_info_" + id + "\">" + HtmlEscape(hit.site) +
         "&nbsp;-&nbsp;" + HtmlEscape(hit.size) + "&nbsp;-&nbsp;" + HtmlEscape(hit.date) +
         "</cite></div>";
  out += "<p class=\"str_info\" id=\"cacheresult_summary_" + id + "\">" +
         Markup(SummaryPieces(keyword, type, n)) + "</p></div>\n";
  return out;
}

}  // namespace

SearchTerms SplitQuery(std::string_view query) {
  const auto at = query.rfind(kTypeMarker);
  if (at == std::string_view::npos) return {std::string(query), {}};
  return {std::string(query.substr(0, at)), std::string(query.substr(at + kTypeMarker.size()))};
}

int HitCount(std::optional<std::string_view> num) {
  if (!num || num->empty()) return kDefaultHits;
  int value = 0;
  for (char c : *num) {
    if (c < '0' || c > '9') return kDefaultHits;
    // Saturate instead of overflowing: anything past the cap means the cap.
    value = std::min(value * 10 + (c - '0'), kMaxHits + 1);
  }
  return std::min(value, kMaxHits);
}

Hit SyntheticHit(std::string_view keyword, std::string_view type, int n) {
  static constexpr std::array<std::string_view, 4> kSlugs = {"report", "notes", "manual", "paper"};
  static constexpr std::array<std::string_view, 7> kSizes = {"123K", "1.2K", "87K", "1024K",
                                                             "33k",  "4.5K", "560K"};
  Hit hit;
  hit.title = Plain(TitlePieces(keyword, n));
  hit.site = "files" + std::to_string(n % 5) + ".example.com/docs/" +
             std::string(kSlugs[n % kSlugs.size()]) + "-" + std::to_string(n) + "." +
             UrlEncode(type);
  hit.link = "http://" + hit.site;
  hit.size = std::string(kSizes[n % kSizes.size()]);
  hit.date = std::to_string(2005 + n % 10) + "-" + std::to_string(1 + 7 * n % 12) + "-" +
             std::to_string(1 + 11 * n % 28);
  hit.info = hit.site;
  hit.info.append(kNbsp).append("-").append(kNbsp).append(hit.size);
  hit.info.append(kNbsp).append("-").append(kNbsp).append(hit.date);
  hit.summary = Plain(SummaryPieces(keyword, type, n));
  return hit;
}

std::string RenderResultPage(std::string_view query, int hits) {
  const SearchTerms terms = SplitQuery(query);
  const std::string q = HtmlEscape(query);
  std::string out;
  out += "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>" + q +
         " - 搜狗搜索</title></head>\n<body>\n";
  out +=
      "<div id=\"header\"><form id=\"searchForm\" action=\"/web\" method=\"get\">"
      "<input type=\"text\" name=\"query\" id=\"upquery\" value=\"" +
      q + "\"><input type=\"submit\" value=\"搜狗搜索\"></form></div>\n";
  out += "<div id=\"main\"><div class=\"results\">\n";
  if (hits <= 0) {
    out += "<div class=\"no-result\">抱歉，没有找到与“" + HtmlEscape(terms.keyword) +
           "”相关的网页。</div>\n";
  }
  for (int n = 0; n < hits; ++n) {
    out += HitMarkup(terms.keyword, terms.type, n, SyntheticHit(terms.keyword, terms.type, n));
  }
  out +=
      "</div></div>\n<div id=\"footer\">docseek-engine: synthetic results, not real search "
      "hits</div>\n</body></html>\n";
  return out;
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace docseek::engine
