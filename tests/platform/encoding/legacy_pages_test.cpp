// SPDX-License-Identifier: MIT
// Pages in the legacy Chinese encodings, read through Document::Load: the
// labels' decoders (gb18030's for gbk/gb2312/gb18030, Big5-HKSCS's for big5)
// and the encoders their links' queries are written with.

#include <gtest/gtest.h>

#include <string>

#include "platform/dom/document.h"

namespace docseek::dom {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

TEST(LegacyPages, DecodeAsTheEncodingStandardSays) {
  const struct {
    const char* charset;
    std::string bytes;
    std::string text;
  } cases[] = {
      {"gbk", "\x80", "\xE2\x82\xAC"},                          // U+20AC
      {"gb2312", "\xA3\xA0", "\xE3\x80\x80"},                   // U+3000, not private use
      {"gbk", "\xFE\x51", "\xEE\xA0\x96"},                      // U+E816, not U+20087
      {"gb18030", "\xA6\xD9", "\xEF\xB8\x90"},                  // U+FE10
      {"gb18030", "\x81\x30\x81\x30", "\xC2\x80"},              // four bytes
      {"gb18030", "\x95\x32\x82\x36", "\xF0\xA0\x80\x80"},      // U+20000
      {"gbk", "a\xE3\x32\x9A\x36z", "a" + kFffd + "z"},         // no code point: one error
      {"gbk", "\x81\x20x", kFffd + " x"},                       // an ASCII trail goes back
      {"big5", "\xA1\x45", "\xE2\x80\xA7"},                     // U+2027
      {"big5", "\xA2\x41", "\xE2\x88\x95"},                     // U+2215
      {"big5", "\xA2\xCC", "\xE5\x8D\x81"},                     // U+5341
      {"big5-hkscs", "\x88\x62", "\xC3\x8A\xCC\x84"},           // two code points
      {"big5", "\xA4\xA4\x81x", "\xE4\xB8\xAD" + kFffd + "x"},  // 中, then a bad pair
  };
  for (const auto& c : cases) {
    auto doc = Document::Load("<p id=t>" + c.bytes + "</p>",
                              std::string("text/html; charset=") + c.charset, "http://h/");
    const Element* p = doc->getElementById("t");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(doc->innerText(*p), c.text) << c.charset << " " << c.bytes;
  }
}

// A query holding 𠀀 (U+20000) and 中: GBK has no bytes for the first and
// writes a character reference; gb18030 writes its four bytes.
TEST(LegacyPages, QueriesInThePageEncoding) {
  const struct {
    const char* charset;
    std::string query;  // as the page's bytes
    const char* href;
  } cases[] = {
      {"gbk", "\xD6\xD0", "http://h/s?q=%D6%D0"},
      {"gbk", "\x95\x32\x82\x36", "http://h/s?q=%26%23131072%3B"},
      {"gb2312", "\x80", "http://h/s?q=%80"},
      {"gb18030", "\x95\x32\x82\x36", "http://h/s?q=%952%826"},
      {"gb18030", "\x80", "http://h/s?q=%A2%E3"},  // gb18030 writes € as A2 E3
      {"big5", "\xA4\xA4", "http://h/s?q=%A4%A4"},
  };
  for (const auto& c : cases) {
    auto doc = Document::Load("<a id=t href=\"/s?q=" + c.query + "\">x</a>",
                              std::string("text/html; charset=") + c.charset, "http://h/");
    const Element* a = doc->getElementById("t");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(doc->href(*a), c.href) << c.charset;
  }
}

}  // namespace
}  // namespace docseek::dom
