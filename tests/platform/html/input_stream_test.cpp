// SPDX-License-Identifier: MIT
// Control characters and noncharacters of the input stream stay in the text
// and in attribute values (gumbo alone would give U+FFFD); NUL keeps the
// tokenizer's rules; invalid bytes still decode to U+FFFD.

#include "platform/html/input_stream.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/dom/document.h"

namespace docseek::dom {
namespace {

struct Case {
  const char* name;
  std::string text;  // UTF-8, put into the title and the href of <a id=t>
  std::string inner_text;
  std::string href;
};

const std::string kFffd = "\xEF\xBF\xBD";

const Case kCases[] = {
    {"vertical_tab", "a\vb", "a\vb", "http://h/a%0Bb"},
    {"c0_controls",
     "a\x01\x08\x0E\x1F"
     "b",
     "a\x01\x08\x0E\x1F"
     "b",
     "http://h/a%01%08%0E%1Fb"},
    {"delete",
     "a\x7F"
     "b",
     "a\x7F"
     "b",
     "http://h/a%7Fb"},
    {"c1_controls",
     "a\xC2\x80\xC2\x85\xC2\x9F"
     "b",
     "a\xC2\x80\xC2\x85\xC2\x9F"
     "b",
     "http://h/a%C2%80%C2%85%C2%9Fb"},
    {"noncharacters_fdd0_fdef", "\xEF\xB7\x90\xEF\xB7\xAF", "\xEF\xB7\x90\xEF\xB7\xAF",
     "http://h/%EF%B7%90%EF%B7%AF"},
    {"noncharacters_fffe_ffff", "\xEF\xBF\xBE\xEF\xBF\xBF", "\xEF\xBF\xBE\xEF\xBF\xBF",
     "http://h/%EF%BF%BE%EF%BF%BF"},
    {"noncharacters_planes_1_and_16", "\xF0\x9F\xBF\xBE\xF4\x8F\xBF\xBF",
     "\xF0\x9F\xBF\xBE\xF4\x8F\xBF\xBF", "http://h/%F0%9F%BF%BE%F4%8F%BF%BF"},
    // What is not one of them is left as it is: U+FFFD, U+FFFC, U+10FFFD,
    // U+10FE01 (the escape's own characters), U+FDF0.
    {"neighbours_untouched", kFffd + "\xEF\xBF\xBC\xEF\xB7\xB0", kFffd + "\xEF\xBF\xBC\xEF\xB7\xB0",
     "http://h/%EF%BF%BD%EF%BF%BC%EF%B7%B0"},
    {"private_use_plane_16", "\xF4\x8F\xBF\xBD\xF4\x8F\xB8\x81\xF4\x8F\xBF\xBD\xF4\x8F\xBF\xBD",
     "\xF4\x8F\xBF\xBD\xF4\x8F\xB8\x81\xF4\x8F\xBF\xBD\xF4\x8F\xBF\xBD",
     "http://h/%F4%8F%BF%BD%F4%8F%B8%81%F4%8F%BF%BD%F4%8F%BF%BD"},
    // NUL: dropped from text in body, U+FFFD in an attribute value.
    {"nul", std::string("a\0b", 3), "ab", "http://h/a%EF%BF%BDb"},
    // Tab, LF, FF and CR are white space, not controls to keep.
    {"white_space", "a\tb", "a b", "http://h/ab"},
};

class InputStream : public ::testing::TestWithParam<Case> {};

TEST_P(InputStream, KeepsTheCharacter) {
  const Case& c = GetParam();
  auto doc = Document::FromUtf8(
      "<!DOCTYPE html><body><a id=t href=\"/" + c.text + "\">" + c.text + "</a>", "http://h/");
  const Element* a = doc->getElementById("t");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(doc->innerText(*a), c.inner_text);
  EXPECT_EQ(doc->href(*a), c.href);
}

INSTANTIATE_TEST_SUITE_P(Cases, InputStream, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// An id holding a control character is found by it.
TEST(InputStream, IdsKeepTheirCharacters) {
  auto doc = Document::FromUtf8("<p id=\"a\vb\">x</p><p id=\"\xC2\x85\">y</p>", "http://h/");
  const Element* p = doc->getElementById("a\vb");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(doc->innerText(*p), "x");
  ASSERT_NE(doc->getElementById("\xC2\x85"), nullptr);
}

// The bytes a page's encoding cannot decode are still U+FFFD, and what its
// decoder does give (a C1 control from windows-1252's 0x81) is kept.
TEST(InputStream, InvalidBytesStillReplaced) {
  const struct {
    const char* content_type;
    std::string body;
    std::string text;
  } cases[] = {
      {"text/html; charset=utf-8", "<p id=t>a\xFF\xC2\x85z</p>", "a" + kFffd + "\xC2\x85z"},
      {"text/html; charset=windows-1252", "<p id=t>a\x81z</p>", "a\xC2\x81z"},
      {"text/html; charset=gbk", "<p id=t>a\x81\x7Fz</p>", "a" + kFffd + "\x7Fz"},
  };
  for (const auto& c : cases) {
    auto doc = Document::Load(c.body, c.content_type, "http://h/");
    const Element* p = doc->getElementById("t");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(doc->innerText(*p), c.text) << c.content_type;
  }
}

// The escape round-trips whatever text it meets, its own characters included.
TEST(InputStream, EscapeRoundTrips) {
  const std::string samples[] = {"",
                                 "plain",
                                 "\v",
                                 "\xF4\x8F\xBF\xBD",
                                 "\xF4\x8F\xBF\xBD\xF4\x8F\xB8\x81",
                                 "x\xEF\xBF\xBF\xC2\x9F\x01\xF4\x8F\xBF\xBD",
                                 "\xF4\x8F\xBF\xBD\xF4\x8F\xBF\xBD\x0B"};
  for (const std::string& s : samples) {
    std::string escaped;
    const bool changed = html::EscapeInputStream(s, &escaped);
    if (!changed) escaped = s;
    html::UnescapeInputStream(escaped);
    EXPECT_EQ(escaped, s);
  }
  // Wherever the character sits in a longer text (the scan takes 8 bytes
  // a step), it is found.
  for (const std::string c : {"\v", "\x7F", "\xC2\x85", "\xEF\xBF\xBF"}) {
    for (std::size_t at = 0; at <= 20; ++at) {
      std::string s = "<p class=x>abcdefghij\n" + std::string(20, 'z');
      s.insert(at, c);
      std::string escaped;
      ASSERT_TRUE(html::EscapeInputStream(s, &escaped)) << at;
      EXPECT_EQ(escaped.find(c), std::string::npos) << at;
      html::UnescapeInputStream(escaped);
      EXPECT_EQ(escaped, s);
    }
  }
  std::string out;
  EXPECT_FALSE(html::EscapeInputStream("no controls \t\n\f\r here, 中文", &out));
}

}  // namespace
}  // namespace docseek::dom
