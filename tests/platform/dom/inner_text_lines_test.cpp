// SPDX-License-Identifier: MIT
// innerText where the element's block decides: white space collapsed per line
// of the block (an inline element's span cut out of it), what collapses at
// all, and which elements have boxes with text.

#include <gtest/gtest.h>

#include <string>

#include "platform/dom/document.h"

namespace docseek::dom {
namespace {

struct Case {
  const char* name;
  const char* html;  // a whole page; the element read has id="t"
  const char* expected;
};

std::string InnerTextOf(const std::string& html) {
  auto doc = Document::FromUtf8(html, "http://www.example.com/");
  const Element* e = doc->getElementById("t");
  if (!e) throw std::runtime_error("no element t");
  return doc->innerText(*e);
}

#define PAGE "<!DOCTYPE html><body>"

const Case kCases[] = {
    // A collapsed run keeps its first space, which belongs to the node where
    // the run began; runs at the start and end of the block's lines go.
    {"leading_space_of_link_kept", PAGE "<div>w0<a id=t> w1</a></div>", " w1"},
    {"trailing_space_of_link_kept", PAGE "<div><a id=t>w1 </a>w2</div>", "w1 "},
    {"run_begun_inside_link", PAGE "<div><a id=t>w1 </a> w2</div>", "w1 "},
    {"run_begun_before_link", PAGE "<div>w0 <a id=t> w1</a></div>", "w1"},
    {"link_alone_on_its_line", PAGE "<div> <a id=t> w1 </a> </div>", "w1"},
    {"line_ends_at_br", PAGE "<div>x <a id=t> w1 </a><br>y</div>", "w1"},
    {"line_ends_at_block", PAGE "<div>x<a id=t>w1 </a><div>y</div></div>", "w1"},
    {"nested_inline", PAGE "<p>a <b>b<i id=t> c </i></b> d</p>", " c "},
    {"span_holding_a_block", PAGE "<div>x <span id=t>a<div>b</div> c </span>y</div>", "a\nb\nc "},
    {"hit_title_in_heading", PAGE "<h3><a id=t href=x> 年度 <em>报告</em> </a></h3>", "年度 报告"},
    {"info_in_span", PAGE "<div>site <span id=t>- 12k - </span>2010-5-3</div>", "- 12k - "},
    {"block_element_unchanged", PAGE "<div>x <div id=t> a </div> y</div>", "a"},
    // The walk of the block may start after its last break before the element.
    {"after_block_sibling",
     PAGE "<div>a<div>b</div>w0 <span><i>x</i><a id=t> w1 </a></span>y</div>", " w1 "},
    {"after_br_in_parent", PAGE "<div>a <span>b<br><a id=t> w1</a></span></div>", "w1"},
    {"block_inside_earlier_inline", PAGE "<div>a <span>b<div></div></span> <a id=t> w1</a></div>",
     "w1"},
    {"hidden_block_is_no_break", PAGE "<div>a<div hidden>z</div> <a id=t> w1</a></div>", "w1"},
    {"preserved_in_pre", PAGE "<pre>x <a id=t> a </a> y</pre>", " a "},
    // Only space, tab and segment breaks collapse.
    {"form_feed_is_a_character", PAGE "<div id=t>a\fb</div>", "a\fb"},
    {"form_feed_between_spaces", PAGE "<div id=t>a \f b</div>", "a \f b"},
    {"form_feed_alone", PAGE "<div id=t>\f</div>", "\f"},
    {"break_after_zwsp_removed", PAGE "<div id=t>a\u200B\nb</div>", "a\u200Bb"},
    {"break_before_zwsp_removed", PAGE "<div id=t>a \n \u200Bb</div>", "a\u200Bb"},
    {"break_across_elements", PAGE "<div id=t>a\u200B<b>\n b</b></div>", "a\u200Bb"},
    {"space_next_to_zwsp_kept", PAGE "<div id=t>a\u200B b</div>", "a\u200B b"},
    {"break_elsewhere_is_a_space", PAGE "<div id=t>a\nb</div>", "a b"},
    // What has no boxes has no text.
    {"textarea_contents", PAGE "<div id=t>a<textarea>b</textarea>c</div>", "ac"},
    {"textarea_itself", PAGE "<textarea id=t>b</textarea>", ""},
    {"optgroup_outside_select", PAGE "<div id=t>a<optgroup label=x>b<i>c</i></optgroup>d</div>",
     "a\nbc\nd"},
    {"option_outside_select", PAGE "<div id=t>a<option>b</option>c</div>", "a\nb\nc"},
    {"optgroup_in_select",
     PAGE "<div id=t><select><optgroup><option>o</option></optgroup></select></div>", "o"},
    {"hidden_until_found_block", PAGE "<div id=t>a<div hidden=until-found>b</div>c</div>", "a\nc"},
    {"hidden_until_found_span", PAGE "<div id=t>a<span hidden=UNTIL-FOUND>b</span>c</div>", "a\nc"},
    {"hidden_other_value", PAGE "<div id=t>a<span hidden=x>b</span>c</div>", "ac"},
    // Quirks mode (no doctype): tables in pre go back to normal white space.
    {"quirks_table_in_pre", "<pre id=t>a  b<table><tr><td>c  d</td></tr></table></pre>",
     "a  b\nc d"},
    {"quirks_pre_in_table_in_pre",
     "<pre id=t><table><tr><td><pre>c  d</pre></td></tr></table></pre>", "c  d"},
    {"standards_table_in_pre",
     "<!DOCTYPE html><pre id=t>a  b<table><tr><td>c  d</td></tr></table></pre>", "a  b\nc  d"},
};

class InnerTextLines : public ::testing::TestWithParam<Case> {};

TEST_P(InnerTextLines, MatchesTheBrowser) {
  EXPECT_EQ(InnerTextOf(GetParam().html), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, InnerTextLines, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace docseek::dom
