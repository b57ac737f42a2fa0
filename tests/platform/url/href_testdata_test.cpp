// SPDX-License-Identifier: MIT
// The web platform tests' URL parsing cases (tests/data/url/urltestdata.json)
// through the href read, as a page carries them: one page per case with
// <base href=BASE> (none where the case has no base: the document's own
// about:blank) and <a href=INPUT>. The link is the case's href, or the input
// itself where parsing must fail.

#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "platform/dom/document.h"
#include "platform/url/url_test_data.h"

namespace docseek::dom {
namespace {

using testing::Field;

// An attribute value in double quotes: '&' and '"' as references, the rest
// as it is.
std::string Quoted(std::string_view value) {
  std::string out = "\"";
  for (char c : value) {
    if (c == '&') {
      out += "&amp;";
    } else if (c == '"') {
      out += "&quot;";
    } else {
      out += c;
    }
  }
  return out + '"';
}

// Why a page cannot carry the case, or "" when it can.
std::string LeftOut(const std::string& input, const std::string* base) {
  // HTML reads NUL in an attribute value as U+FFFD.
  if (input.find('\0') != std::string::npos || (base && base->find('\0') != std::string::npos)) {
    return "NUL";
  }
  // Without a base the document's about:blank is one, and "#x" resolves
  // against it.
  if (!base) {
    std::size_t i = 0;
    while (i < input.size() && static_cast<unsigned char>(input[i]) <= 0x20) ++i;
    if (i < input.size() && input[i] == '#') return "fragment without base";
  }
  return "";
}

TEST(HrefTestData, EveryCaseAPageCanCarry) {
  const auto cases = testing::UrlTestCases();
  ASSERT_GT(cases.size(), 800u) << "tests/data/url/urltestdata.json missing";
  int run = 0;
  std::map<std::string, int> left_out;
  for (const auto& c : cases) {
    const std::string* input = Field(c, "input");
    ASSERT_NE(input, nullptr);
    const std::string* base = Field(c, "base");
    if (const std::string why = LeftOut(*input, base); !why.empty()) {
      ++left_out[why];
      continue;
    }
    std::string page = "<!DOCTYPE html><html><head>";
    if (base) page += "<base href=" + Quoted(*base) + ">";
    page += "</head><body><a id=t href=" + Quoted(*input) + ">x</a></body></html>";
    const auto doc = Document::FromUtf8(page, "about:blank");
    const Element* a = doc->getElementById("t");
    ASSERT_NE(a, nullptr) << page;
    const std::string* href = Field(c, "href");
    const std::string want = c.count("failure") ? *input : (href ? *href : "");
    EXPECT_EQ(doc->href(*a), want)
        << "input <" << *input << "> base <" << (base ? *base : "") << ">";
    ++run;
  }
  EXPECT_GT(run, 800);
  std::cout << run << " cases through href; left out:";
  for (const auto& [why, n] : left_out) std::cout << " " << why << " " << n << ";";
  std::cout << "\n";
}

}  // namespace
}  // namespace docseek::dom
