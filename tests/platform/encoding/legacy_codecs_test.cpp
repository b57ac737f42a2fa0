// SPDX-License-Identifier: MIT
// The gb18030/GBK and Big5 codecs against the Encoding Standard: its decoder
// steps (errors, bytes put back, four-byte ranges) and its indexes, where
// they differ from glibc's tables.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/encoding/big5.h"
#include "platform/encoding/gb18030.h"

namespace enc = docseek::platform::encoding;

namespace {

struct DecodeCase {
  const char* name;
  std::string_view bytes;
  std::string_view text;  // UTF-8
};

constexpr std::string_view kFffd = "\xEF\xBF\xBD";

std::string Hex(std::string_view s) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    out += digits[c >> 4];
    out += digits[c & 15];
    out += ' ';
  }
  return out;
}

TEST(Gb18030Decoder, MatchesTheStandardsSteps) {
  const DecodeCase cases[] = {
      {"ascii", "a1~", "a1~"},
      {"two-byte", "\xD6\xD0\xCE\xC4", "中文"},
      {"single 0x80 is the euro sign", "\x80", "€"},
      {"A3A0 is the ideographic space, not private use", "\xA3\xA0", "\u3000"},
      {"FE51 is private use, not U+20087", "\xFE\x51", "\uE816"},
      {"FE52 and FE53 likewise", "\xFE\x52\xFE\x53", "\uE817\uE818"},
      {"A6D9 follows GB18030-2022", "\xA6\xD9", "\uFE10"},
      {"FE54 is a radical", "\xFE\x54", "\u2E84"},
      {"four-byte start of the ranges", "\x81\x30\x81\x30", "\u0080"},
      {"four-byte U+E7C7 exception", "\x81\x35\xF4\x37", "\uE7C7"},
      {"four-byte last BMP", "\x84\x31\xA4\x39", "\uFFFF"},
      {"four-byte past the BMP ranges", "\x84\x31\xA5\x30", kFffd},
      {"four-byte supplementary", "\x95\x32\x82\x36", "\U00020000"},
      {"four-byte U+10FFFF", "\xE3\x32\x9A\x35", "\U0010FFFF"},
      // Well-formed but past U+10FFFF: a single error, no byte is put back.
      {"four-byte past U+10FFFF", "\xE3\x32\x9A\x36", kFffd},
      {"past U+10FFFF then text", "\xE3\x32\x9A\x36z", "\xEF\xBF\xBDz"},
      {"bad fourth byte puts back three", "\x81\x30\x81\x41",
       "\xEF\xBF\xBD"
       "0丄"},
      {"bad third byte puts back two", "\x81\x30\x41",
       "\xEF\xBF\xBD"
       "0A"},
      {"ascii trail is put back", "\x81\x20", "\xEF\xBF\xBD "},
      {"0x7F trail is put back", "\x81\x7F", "\xEF\xBF\xBD\x7F"},
      {"non-ascii bad trail is eaten",
       "\x81\xFF"
       "a",
       "\xEF\xBF\xBD"
       "a"},
      {"0xFF alone", "\xFF", kFffd},
      {"lead at the end", "a\x81", "a\xEF\xBF\xBD"},
      {"two of four at the end: one error", "\x81\x30", kFffd},
      {"three of four at the end: one error", "\x81\x30\x81", kFffd},
  };
  for (const DecodeCase& c : cases) {
    EXPECT_EQ(enc::DecodeGb18030(c.bytes), c.text) << c.name << ": " << Hex(c.bytes);
  }
}

struct EncodeCase {
  char32_t code_point;
  std::string_view gbk;      // empty: the GBK encoder has no bytes
  std::string_view gb18030;  // empty: the gb18030 encoder has no bytes
};

TEST(Gb18030Encoder, GbkAndGb18030Forms) {
  const EncodeCase cases[] = {
      {U'a', "a", "a"},
      {U'中', "\xD6\xD0", "\xD6\xD0"},
      {0x20AC, "\x80", "\xA2\xE3"},
      {0x3000, "\xA1\xA1", "\xA1\xA1"},
      {0xE5E5, "", ""},
      {0xE78D, "\xA6\xD9", "\xA6\xD9"},
      {0xE864, "\xFE\xA0", "\xFE\xA0"},
      {0xFE10, "\xA6\xD9", "\xA6\xD9"},
      {0x0080, "", "\x81\x30\x81\x30"},
      {0xE7C7, "", "\x81\x35\xF4\x37"},
      {0xFFFF, "", "\x84\x31\xA4\x39"},
      {0x20000, "", "\x95\x32\x82\x36"},
      {0x10FFFF, "", "\xE3\x32\x9A\x35"},
  };
  for (const EncodeCase& c : cases) {
    for (bool is_gbk : {true, false}) {
      std::string out = "x";
      const std::string_view want = is_gbk ? c.gbk : c.gb18030;
      EXPECT_EQ(enc::EncodeGb18030(c.code_point, is_gbk, out), !want.empty())
          << std::hex << static_cast<unsigned>(c.code_point) << " gbk=" << is_gbk;
      EXPECT_EQ(out, "x" + std::string(want))
          << std::hex << static_cast<unsigned>(c.code_point) << " gbk=" << is_gbk;
    }
  }
}

// glibc's table plus the generated differences must give the standard's index
// exactly; a different glibc would show here first.
TEST(Gb18030Index, IsTheStandardsIndex) {
  EXPECT_EQ(enc::Gb18030IndexDigest(), enc::Gb18030ExpectedIndexDigest());
}

TEST(Big5Index, IsTheStandardsIndex) {
  EXPECT_EQ(enc::Big5IndexDigest(), enc::Big5ExpectedIndexDigest());
}

// Every two-byte sequence decodes to its index entry, and the encoder writes
// every such code point back to bytes that decode to it again.
TEST(Gb18030Index, EveryTwoByteSequenceRoundTrips) {
  int mapped = 0;
  for (std::uint32_t pointer = 0; pointer < 126 * 190; ++pointer) {
    const auto cp = enc::Gb18030IndexCodePoint(pointer);
    const unsigned trail = pointer % 190;
    const std::string bytes{static_cast<char>(pointer / 190 + 0x81),
                            static_cast<char>(trail + (trail < 0x3F ? 0x40 : 0x41))};
    if (!cp) {
      EXPECT_EQ(enc::DecodeGb18030(bytes), kFffd) << pointer;
      continue;
    }
    ++mapped;
    std::string encoded;
    EXPECT_TRUE(enc::EncodeGb18030(*cp, true, encoded)) << pointer;
    std::string utf8;
    {
      // UTF-8 of *cp, built by hand to keep the check independent.
      char32_t c = *cp;
      if (c < 0x800) {
        utf8 = {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
      } else if (c < 0x10000) {
        utf8 = {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                static_cast<char>(0x80 | (c & 0x3F))};
      } else {
        utf8 = {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
                static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
      }
    }
    EXPECT_EQ(enc::DecodeGb18030(bytes), utf8) << pointer;
    EXPECT_EQ(enc::DecodeGb18030(encoded), utf8) << pointer;
  }
  EXPECT_EQ(mapped, 23940);
}

TEST(Big5Decoder, MatchesTheStandardsSteps) {
  const DecodeCase cases[] = {
      {"ascii", "abc", "abc"},
      {"two-byte", "\xA4\xA4\xA4\xE5", "中文"},
      {"A145 is the hyphenation point", "\xA1\x45", "\u2027"},
      {"A241 is the division slash", "\xA2\x41", "\u2215"},
      {"A2CC is U+5341", "\xA2\xCC", "\u5341"},
      {"HKSCS row", "\x87\x40", "\u43F0"},
      {"HKSCS supplementary", "\x87\x45", "\U00027267"},
      {"letter with two marks", "\x88\x62", "\u00CA\u0304"},
      {"the four such pairs", "\x88\x64\x88\xA3\x88\xA5", "\u00CA\u030C\u00EA\u0304\u00EA\u030C"},
      {"the plain letter", "\x88\x66", "\u00CA"},
      {"0x80 alone", "\x80", kFffd},
      {"0xFF alone", "\xFF", kFffd},
      {"lead at the end", "a\xA1", "a\xEF\xBF\xBD"},
      {"unmapped pointer, ascii trail put back", "\x81\x40", "\xEF\xBF\xBD@"},
      {"ascii trail put back", "\xA1\x20", "\xEF\xBF\xBD "},
      {"trail outside the ranges, non-ascii",
       "\xA1\x80"
       "b",
       "\xEF\xBF\xBD"
       "b"},
  };
  for (const DecodeCase& c : cases) {
    EXPECT_EQ(enc::DecodeBig5(c.bytes), c.text) << c.name << ": " << Hex(c.bytes);
  }
}

}  // namespace
