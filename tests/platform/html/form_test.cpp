// SPDX-License-Identifier: MIT
// The tree for forms as the standard builds it, which gumbo 0.10.1 alone gets
// wrong when text comes just before </form>.

#include <gtest/gtest.h>

#include <string>

#include "platform/dom/document.h"
#include "platform/html/markup_guard.h"

namespace docseek::html {
namespace {

// gumbo 0.10.1 puts text just before </form> after the form; the guard makes
// it write the text out first. Each case: a body, then the innerText of
// id=f (the form) and id=d (around it) as the standard's tree gives them.
TEST(MarkupGuard, FormKeepsItsText) {
  const struct {
    const char* body;
    const char* form;
    const char* around;
  } cases[] = {
      {"<div id=d><form id=f>a</form>b</div>", "a", "a\nb"},
      {"<div id=d><form id=f>a <b>c</b> </form>b</div>", "a c", "a c\nb"},
      // A form start tag inside a form is ignored; the first </form> closes it.
      {"<div id=d><form id=f>a<form id=g>x</form>b</form>c</div>", "ax", "ax\nbc"},
      {"<table><tr><td id=d><form id=f>a</form>b</td></tr></table>", "a", "a\nb"},
      {"<div id=d><form id=f><i>a</i></form>b</div>", "a", "a\nb"},
      {"<div id=d><form id=f>a</FORM >b</div>", "a", "a\nb"},
  };
  for (const auto& c : cases) {
    auto doc = dom::Document::FromUtf8(std::string("<!DOCTYPE html><body>") + c.body, "http://h/");
    const dom::Element* f = doc->getElementById("f");
    const dom::Element* d = doc->getElementById("d");
    ASSERT_TRUE(f && d) << c.body;
    EXPECT_EQ(doc->innerText(*f), c.form) << c.body;
    EXPECT_EQ(doc->innerText(*d), c.around) << c.body;
    EXPECT_EQ(doc->getElementById("g"), nullptr) << c.body;
  }
  // Only where text comes before the end tag; end tags in comments and
  // attribute values are not tags.
  std::string out;
  EXPECT_TRUE(GuardMarkup("<form>a</form>", &out));
  EXPECT_EQ(out, "<form>a<!----></form>");
  EXPECT_FALSE(GuardMarkup("<form><input></form><!-- x</form> --><p title='a</form>'>", &out));
}

}  // namespace
}  // namespace docseek::html
