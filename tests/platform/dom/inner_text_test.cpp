// SPDX-License-Identifier: MIT
// innerText as the WHATWG "innerText getter" gives it for a page with only the
// default style sheet. Each case is a body fragment with one element id="t".

#include <gtest/gtest.h>

#include <string>

#include "platform/dom/document.h"

namespace docseek::dom {
namespace {

struct Case {
  const char* name;
  const char* body;
  const char* expected;
};

std::string InnerTextOf(const std::string& body, const char* id = "t") {
  auto doc = Document::FromUtf8(
      "<!DOCTYPE html><html><head><title>page</title></head><body>" + body + "</body></html>",
      "http://www.example.com/");
  const Element* e = doc->getElementById(id);
  if (!e) throw std::runtime_error(std::string("no element ") + id);
  return doc->innerText(*e);
}

const Case kCases[] = {
    // The engine's hit title: inline markup and comments inside.
    {"hit_title", "<a id=t href=x>年度<em>report</em>报告 0</a>", "年度report报告 0"},
    {"comments_in_title", "<a id=t>A<!-- c --> <b>B</b><!--x-->C<!----></a>", "A BC"},
    {"nested_inline", "<span id=t>a<b>b<i>c<u>d</u></i></b>e</span>", "abcde"},
    {"comment_only", "<div id=t><!-- nothing --></div>", ""},
    {"empty", "<div id=t></div>", ""},
    // White space as white-space:normal collapses it.
    {"collapse", "<div id=t>  a \n\t b  </div>", "a b"},
    {"collapse_across_inline", "<div id=t>a <b> b</b> c</div>", "a b c"},
    {"trim_inside_inline_at_edges", "<div id=t> <b> a </b> </div>", "a"},
    {"space_only_inline", "<div id=t>a<span> </span>b</div>", "a b"},
    // <br> is a line break that is never trimmed.
    {"br", "<div id=t>a<br>b<br></div>", "a\nb\n"},
    {"br_trims_spaces", "<div id=t>a <br> b</div>", "a\nb"},
    {"br_twice", "<div id=t>a<br><br>b</div>", "a\n\nb"},
    {"br_first", "<div id=t><br>a</div>", "\na"},
    {"br_then_block", "<div id=t><div>a<br></div><div>b</div></div>", "a\n\nb"},
    // Block-level children: one required line break; p: two.
    {"block_children", "<div id=t>a<div>b</div>c</div>", "a\nb\nc"},
    {"nested_blocks_merge", "<div id=t><div><div>a</div></div><div>b</div></div>", "a\nb"},
    {"block_in_inline", "<span id=t>a<div>b</div>c</span>", "a\nb\nc"},
    {"space_before_block_goes", "<div id=t>a <div> b </div> c</div>", "a\nb\nc"},
    {"paragraphs", "<div id=t><p>a</p><p>b</p></div>", "a\n\nb"},
    {"paragraph_between_text", "<div id=t>x<p>a</p>y</div>", "x\n\na\n\ny"},
    {"paragraph_and_div_take_largest", "<div id=t><p>a</p><div>b</div></div>", "a\n\nb"},
    {"leading_trailing_breaks_dropped", "<div id=t><p>a</p></div>", "a"},
    {"list", "<ul id=t><li>a</li> <li>b</li>\n<li>c</li></ul>", "a\nb\nc"},
    {"heading_and_text", "<div id=t><h3>T</h3>x</div>", "T\nx"},
    {"definition_list", "<dl id=t><dt>k</dt><dd>v</dd></dl>", "k\nv"},
    {"misc_blocks",
     "<div id=t><center>a</center><blockquote>b</blockquote><section>c</section>"
     "<nav>d</nav><footer>e</footer><address>f</address><hr>g</div>",
     "a\nb\nc\nd\ne\nf\ng"},
    // Not rendered: nothing from them.
    {"hidden_attribute", "<div id=t>a<span hidden>b</span>c</div>", "ac"},
    {"hidden_block", "<div id=t>a<div hidden>b</div>c</div>", "ac"},
    {"script_and_style", "<div id=t>a<script>var x = 1;</script><style>p {}</style>b</div>", "ab"},
    {"noscript", "<div id=t>a<noscript><b>js off</b></noscript>b</div>", "ab"},
    {"template", "<div id=t>a<template>b</template>c</div>", "ac"},
    {"input_hidden", "<div id=t>a<input type=HIDDEN value=v>b</div>", "ab"},
    {"closed_details", "<details id=t><summary>S</summary>body</details>", "S"},
    {"open_details", "<details id=t open><summary>S</summary>body</details>", "S\nbody"},
    {"svg_inside_html", "<div id=t>a<svg><text>b</text></svg>c</div>", "ac"},
    {"image_has_no_text", "<div id=t>a<img alt=pic src=x.png>b</div>", "ab"},
    // Tables: cells by tabs, rows by line breaks, whitespace text between them
    // and hidden cells do not count.
    {"table", "<table id=t><tr><td>a</td> <td>b</td>\n</tr>\n<tr><td>c</td><td>d</td></tr></table>",
     "a\tb\nc\td"},
    {"table_sections",
     "<table id=t><thead><tr><th>h1</th><th>h2</th></tr></thead>"
     "<tbody><tr><td>1</td><td>2</td></tr></tbody></table>",
     "h1\th2\n1\t2"},
    {"table_hidden_last_cell", "<table id=t><tr><td>a</td><td>b</td><td hidden>x</td></tr></table>",
     "a\tb"},
    {"table_cell_spaces_trimmed", "<table id=t><tr><td> a </td><td> b </td></tr></table>", "a\tb"},
    {"table_in_text", "<div id=t>x<table><tr><td>a</td></tr></table>y</div>", "x\na\ny"},
    {"table_blocks_in_cells", "<table id=t><tr><td><p>a</p></td><td><div>b</div></td></tr></table>",
     "a\n\n\t\nb"},
    // No-break spaces come out as spaces, and are not collapsed.
    {"nbsp_info_line",
     "<cite id=t>www.example.com/a.pdf&nbsp;-&nbsp;123K&nbsp;-&nbsp;2010-5-3</cite>",
     "www.example.com/a.pdf - 123K - 2010-5-3"},
    {"nbsp_not_collapsed", "<div id=t>a&nbsp; b&nbsp;</div>", "a  b "},
    {"character_references", "<div id=t>&lt;a&gt; &amp; &#20013;&copy;&#x4e2d;</div>",
     "<a> & 中©中"},
    // White space kept in pre and its like.
    {"pre", "<pre id=t>a  b\n  c</pre>", "a  b\n  c"},
    {"pre_leading_newline_dropped_by_parser", "<pre id=t>\nx  y</pre>", "x  y"},
    {"pre_inside_div", "<div id=t>x<pre> a\n b </pre>y</div>", "x\n a\n b \ny"},
    {"pre_keeps_inline_children", "<pre id=t>a <b> b </b></pre>", "a  b "},
    {"listing", "<listing id=t>\na   b</listing>", "a   b"},
};

class InnerTextTable : public ::testing::TestWithParam<Case> {};

TEST_P(InnerTextTable, Matches) {
  const Case& c = GetParam();
  EXPECT_EQ(InnerTextOf(c.body), c.expected) << c.body;
}

INSTANTIATE_TEST_SUITE_P(Cases, InnerTextTable, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// An element that is not rendered itself gives its textContent.
TEST(InnerText, NotRenderedElementGivesTextContent) {
  auto doc = Document::FromUtf8(
      "<html><head><title id=title> My  <b>title</b>&nbsp;x</title></head><body>"
      "<div hidden><span id=inner>a  <b>b</b>\n c</span></div>"
      "<script id=script>if (a < b) { x(); }</script>"
      "<div><template><p id=in_template>t</p></template></div>"
      "</body></html>",
      "http://www.example.com/");
  // <title> is RCDATA: "<b>" is text.
  EXPECT_EQ(doc->innerText(*doc->getElementById("title")), " My  <b>title</b> x");
  EXPECT_EQ(doc->innerText(*doc->getElementById("inner")), "a  b\n c");
  EXPECT_EQ(doc->innerText(*doc->getElementById("script")), "if (a < b) { x(); }");
  // Template contents are not in the document.
  EXPECT_EQ(doc->getElementById("in_template"), nullptr);
}

TEST(InnerText, WholeBodySkipsHead) {
  auto doc = Document::FromUtf8(
      "<html><head><title>T</title><style>body{}</style><script>x()</script></head>"
      "<body id=b><div>one</div> two <p>three</p></body></html>",
      "http://www.example.com/");
  EXPECT_EQ(doc->innerText(*doc->getElementById("b")), "one\ntwo\n\nthree");
}

// SVG and MathML elements have no innerText member.
TEST(InnerText, ForeignElementsThrow) {
  auto doc = Document::FromUtf8(
      "<body><svg id=svg><text id=text>hi</text><a id=svg_a href=x>l</a></svg>"
      "<math id=math><mi id=mi>x</mi></math></body>",
      "http://www.example.com/");
  for (const char* id : {"svg", "text", "svg_a", "math", "mi"}) {
    const Element* e = doc->getElementById(id);
    ASSERT_NE(e, nullptr) << id;  // getElementById finds elements in any namespace
    EXPECT_THROW(doc->innerText(*e), docseek::Error) << id;
  }
}

}  // namespace
}  // namespace docseek::dom
