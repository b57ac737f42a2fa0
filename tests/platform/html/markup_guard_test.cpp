// SPDX-License-Identifier: MIT
// The pass before gumbo: nesting capped, <noscript> content removed, every
// other page left alone.

#include "platform/html/markup_guard.h"

#include <gtest/gtest.h>
#include <gumbo.h>

#include <chrono>
#include <string>
#include <vector>

namespace docseek::html {
namespace {

std::string Guarded(const std::string& html, size_t max_depth, bool* changed = nullptr) {
  std::string out;
  const bool c = GuardMarkup(html, &out, max_depth);
  if (changed) *changed = c;
  return c ? out : html;
}

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

struct Case {
  const char* name;
  const char* html;
};

// Markup whose model depth stays small however long it runs: implied end tags
// must be understood, or the guard would cut real pages. Each is repeated
// 2000 times under a limit of 64.
const Case kFlatCases[] = {
    {"closed_divs", "<div class=a><span>x</span></div>"},
    {"unclosed_p", "<p>para"},
    {"unclosed_li", "<li>item"},
    {"unclosed_dt_dd", "<dt>k<dd>v"},
    {"unclosed_option", "<option>o"},
    {"unclosed_td_tr", "<tr><td>a<td>b"},
    {"void_elements", "<br><img src=x><input><hr><meta charset=x><link rel=x><wbr>"},
    {"self_closing_syntax", "<br/><img src=x />"},
    {"nested_anchors", "<a href=x>link"},
    {"headings", "<h3>t<h4>u"},
    {"raw_text", "<script>if (a<b) { document.write('<div>'); }</script><style>div>p{}</style>"},
    {"textarea_and_title", "<textarea><div><div></textarea><title><b><b></title>"},
    {"comments", "<!-- <div> --><!--><!---><!-- -- --!>"},
    {"attributes_with_gt", "<span title=\"a>b\" data-x='<div>'>x</span>"},
    {"svg_self_closing", "<svg><path d=\"M0\"/><rect/></svg>"},
    {"cdata_in_svg", "<svg><![CDATA[<g><g>]]></svg>"},
    {"stray_end_tags", "</div></span></p></li>"},
    {"tables", "<table><tr><td>a</td></tr></table>"},
    {"select", "<select><option>a<div>ignored<option>b</select>"},
    // Formatting elements the tree builder re-opens, without growing deeper.
    {"font_soup", "<font color=red>a<font size=2>b</font></font>"},
    {"misnested_b_i", "<b><i>x</b>y</i>"},
    {"bold_paragraph_closed_late", "<p><b x=1>t</p>"},
    {"misnested_i_b", "<p><i><b>z</i></b>"},
    {"anchor_around_paragraph", "<a><p>x</a>y"},
    {"list_of_links", "<li><a href=x>y"},
};

class FlatMarkup : public ::testing::TestWithParam<Case> {};

TEST_P(FlatMarkup, IsNotChanged) {
  const std::string html = "<html><body>" + Repeat(GetParam().html, 2000) + "</body></html>";
  std::string out;
  GuardStats stats;
  EXPECT_FALSE(GuardMarkup(html, &out, 64, &stats)) << "dropped " << stats.dropped_tags;
  EXPECT_LT(stats.max_depth_seen, 12u);
}

INSTANTIATE_TEST_SUITE_P(Cases, FlatMarkup, ::testing::ValuesIn(kFlatCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Depth of gumbo's tree (elements only, html = 1), walked without recursion.
size_t GumboDepth(const std::string& html) {
  GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, html.data(), html.size());
  size_t best = 0;
  std::vector<std::pair<const GumboNode*, size_t>> stack{{output->root, 1}};
  while (!stack.empty()) {
    auto [n, depth] = stack.back();
    stack.pop_back();
    best = std::max(best, depth);
    if (n->type != GUMBO_NODE_ELEMENT) continue;
    for (unsigned i = 0; i < n->v.element.children.length; ++i) {
      stack.emplace_back(static_cast<const GumboNode*>(n->v.element.children.data[i]), depth + 1);
    }
  }
  gumbo_destroy_output(&kGumboDefaultOptions, output);
  return best;
}

// The guard's model of the tree builder tracks the depth gumbo really builds,
// for markup that nests (each case repeated 300 times; limit out of reach).
TEST(MarkupGuard, ModelDepthFollowsGumbo) {
  for (const char* snippet :
       {"<div><span>x", "<p><b>bold</p>text", "<table><tr><td><b>x", "<ul><li><ol><li>x",
        "<b><i>x</b>y</i>", "<font color=red>a<font size=2>b</font></font>", "<dl><dt>a<dd><div>b",
        "<svg><g><text>x", "<select><option>a</select><div>", "<p><i><b>z</i></b>", "<a><p>x</a>y",
        "<em><h2>t</em></h2>", "<table><caption><div>c</caption><tr><td>x"}) {
    const std::string html = "<html><body>" + Repeat(snippet, 300) + "</body></html>";
    std::string out;
    GuardStats stats;
    GuardMarkup(html, &out, 100000, &stats);
    const size_t real = GumboDepth(html);
    EXPECT_LE(stats.max_depth_seen, real + 2) << snippet;
    EXPECT_GE(stats.max_depth_seen + 2, real) << snippet;
  }
}

TEST(MarkupGuard, CapsReopenedFormatting) {
  // Each paragraph re-opens every <b> of the list: without the guard, 1 MiB
  // of this makes gumbo build tens of millions of elements.
  std::string html = "<body>";
  for (int i = 0; html.size() < (1u << 20); ++i) {
    html += "<p><b x=" + std::to_string(i % 600) + ">t</p>";
  }
  std::string out;
  GuardStats stats;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(GuardMarkup(html, &out, kMaxDepth, &stats));
  EXPECT_GT(stats.formatting_resets, 0u);
  EXPECT_LT(stats.elements, 400000u);
  EXPECT_LT(GumboDepth(out), kMaxDepth + 64);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 5.0);
}

TEST(MarkupGuard, DropsTagsBeyondTheLimitWithTheirEndTags) {
  // html and body count as two levels.
  bool changed = false;
  EXPECT_EQ(Guarded("<div>1<div>2<div>3<div>4</div>5</div>6</div>7</div>8", 4, &changed),
            "<div>1<div>23456</div>7</div>8");
  EXPECT_TRUE(changed);
  EXPECT_EQ(Guarded("<b><i><u><s>x", 4), "<b><i>x");
}

TEST(MarkupGuard, RemovesNoscriptContent) {
  EXPECT_EQ(Guarded("a<noscript><img src=x></noscript>b<NOSCRIPT >c</noscript >d", 512),
            "a<noscript></noscript>b<NOSCRIPT ></noscript >d");
  // Not inside foreign content, where it is an ordinary element name.
  bool changed = true;
  Guarded("<svg><noscript><g/></noscript></svg>", 512, &changed);
  EXPECT_FALSE(changed);
}

TEST(MarkupGuard, RealisticPageUnchanged) {
  const std::string page =
      "<!DOCTYPE html><html><head><meta charset=utf-8><title>t</title>"
      "<script>var s = '<div>';</script></head><body><div id=wrap><ul class=nav>"
      "<li><a href=/>home<li><a href=/a>a</ul><table><tr><td>x<td>y<tr><td>z</table>"
      "<form><select name=s><option>1<option>2</select><input name=q></form>"
      "<p>one<p>two<dl><dt>k<dd>v</dl></div></body></html>";
  std::string out;
  GuardStats stats;
  EXPECT_FALSE(GuardMarkup(Repeat(page, 50), &out, kMaxDepth, &stats));
  EXPECT_EQ(stats.dropped_tags, 0u);
}

}  // namespace
}  // namespace docseek::html
