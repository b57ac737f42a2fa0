// SPDX-License-Identifier: MIT
// DecodeToUtf8: BOM > Content-Type charset > <meta> in the first 1024 bytes >
// undeclared (UTF-8 if valid, else GB18030).

#include "platform/encoding/sniff.h"

#include <gtest/gtest.h>

#include <string>

namespace docseek::encoding {
namespace {

// "中文" in GB18030 (GBK) bytes and in UTF-8.
constexpr const char* kZhongwenGbk = "\xD6\xD0\xCE\xC4";
constexpr const char* kZhongwenUtf8 = "中文";
constexpr const char* kReplacement = "\xEF\xBF\xBD";

struct Case {
  const char* name;
  std::string bytes;
  const char* content_type;
  const char* encoding;  // expected Decoded::encoding
  std::string text;      // expected Decoded::text
};

std::string S(const char* s, size_t n) { return std::string(s, n); }

const std::string kGbkBody = std::string("<p>") + kZhongwenGbk + "</p>";
const std::string kUtf8Body = std::string("<p>") + kZhongwenUtf8 + "</p>";

const Case kCases[] = {
    // Undeclared.
    {"undeclared_ascii", "<p>hello</p>", "", "UTF-8", "<p>hello</p>"},
    {"undeclared_valid_utf8", kUtf8Body, "text/html", "UTF-8", kUtf8Body},
    {"undeclared_invalid_utf8_is_gb18030", kGbkBody, "text/html", "GB18030", kUtf8Body},
    // HTTP header.
    {"header_gbk", kGbkBody, "text/html; charset=GBK", "GB18030", kUtf8Body},
    {"header_gb2312_quoted", kGbkBody, "text/html; foo=bar; charset=\"gb2312\"", "GB18030",
     kUtf8Body},
    {"header_x_gbk_spaces", kGbkBody, "text/html ;charset= x-gbk ", "GB18030", kUtf8Body},
    {"header_beats_meta", "<meta charset=gbk>" + kUtf8Body, "text/html; charset=utf-8", "UTF-8",
     "<meta charset=gbk>" + kUtf8Body},
    {"unknown_header_label_then_meta", "<meta charset=gbk>" + kGbkBody,
     "text/html; charset=no-such-thing", "GB18030", "<meta charset=gbk>" + kUtf8Body},
    {"unknown_labels_then_undeclared", "<meta charset=bogus>" + kGbkBody,
     "text/html; charset=bogus", "GB18030", "<meta charset=bogus>" + kUtf8Body},
    // <meta> prescan.
    {"meta_charset", "<html><head><meta charset=gb2312>" + kGbkBody, "", "GB18030",
     "<html><head><meta charset=gb2312>" + kUtf8Body},
    {"meta_charset_quoted_upper", "<META CHARSET=\"GBK\">" + kGbkBody, "text/html", "GB18030",
     "<META CHARSET=\"GBK\">" + kUtf8Body},
    {"meta_http_equiv",
     "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">" + kGbkBody, "",
     "GB18030",
     "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">" + kUtf8Body},
    {"meta_http_equiv_content_first_unquoted",
     "<meta content=text/html;charset=gbk http-equiv=content-type>" + kGbkBody, "", "GB18030",
     "<meta content=text/html;charset=gbk http-equiv=content-type>" + kUtf8Body},
    {"meta_content_without_pragma_ignored", "<meta content=\"charset=gbk\">" + kUtf8Body, "",
     "UTF-8", "<meta content=\"charset=gbk\">" + kUtf8Body},
    {"meta_in_comment_ignored", "<!-- <meta charset=big5> -->" + kUtf8Body, "", "UTF-8",
     "<!-- <meta charset=big5> -->" + kUtf8Body},
    {"meta_after_1024_bytes_ignored", std::string(1100, ' ') + "<meta charset=windows-1252>\xE9",
     "", "GB18030", std::string(1100, ' ') + "<meta charset=windows-1252>" + kReplacement},
    {"meta_utf16_means_utf8", "<meta charset=utf-16>" + kUtf8Body, "", "UTF-8",
     "<meta charset=utf-16>" + kUtf8Body},
    // Byte order marks beat everything, and are not part of the text.
    {"utf8_bom_beats_header", "\xEF\xBB\xBF" + kUtf8Body, "text/html; charset=gbk", "UTF-8",
     kUtf8Body},
    {"utf16le_bom", S("\xFF\xFE<\0p\0>\0\x2D\x4E", 10), "text/html; charset=gbk", "UTF-16LE",
     "<p>中"},
    {"utf16be_bom", S("\xFE\xFF\0<\0p\0>\x4E\x2D", 10), "", "UTF-16BE", "<p>中"},
    // Other encodings by their labels.
    {"latin1_is_windows_1252", "caf\xE9 \x80", "text/html; charset=ISO-8859-1", "windows-1252",
     "café €"},
    {"us_ascii_is_windows_1252", "\x93q\x94", "text/html; charset=us-ascii", "windows-1252", "“q”"},
    {"windows_1252_undefined_byte", "\x81", "text/html; charset=windows-1252", "windows-1252",
     "\xC2\x81"},
    {"big5", "\xA4\xA4", "text/html; charset=big5", "Big5", "中"},
    {"shift_jis", "\x82\xA0", "text/html; charset=shift_jis", "Shift_JIS", "あ"},
    {"euc_kr", "\xB0\xA1", "text/html; charset=euc-kr", "EUC-KR", "가"},
    {"koi8_r", "\xC1", "text/html; charset=koi8-r", "KOI8-R", "а"},
    {"iso_8859_2", "\xB1", "text/html; charset=iso-8859-2", "ISO-8859-2", "ą"},
    {"gb18030_four_byte", "\x81\x30\x81\x30", "text/html; charset=gb18030", "GB18030", "\xC2\x80"},
    // Invalid bytes become U+FFFD; decoding goes on after them.
    {"utf8_invalid_byte",
     "a\xFF"
     "b",
     "text/html; charset=utf-8", "UTF-8", std::string("a") + kReplacement + "b"},
    {"utf8_truncated_at_end", "a\xE4\xB8", "text/html; charset=utf-8", "UTF-8",
     std::string("a") + kReplacement},
    {"utf8_surrogate", "\xED\xA0\x80z", "text/html; charset=utf-8", "UTF-8",
     std::string(kReplacement) + kReplacement + kReplacement + "z"},
    {"gb18030_bad_trail_keeps_ascii", "\x81\x20x\xD6\xD0", "text/html; charset=gbk", "GB18030",
     std::string(kReplacement) + " x中"},
    {"gb18030_truncated_at_end", "x\xD6", "text/html; charset=gbk", "GB18030",
     std::string("x") + kReplacement},
    {"utf16_lone_surrogate",
     S("\xFF\xFE\x00\xD8"
       "a\0",
       6),
     "", "UTF-16LE", std::string(kReplacement) + "a"},
};

class DecodeTable : public ::testing::TestWithParam<Case> {};

TEST_P(DecodeTable, Decodes) {
  const Case& c = GetParam();
  const Decoded d = DecodeToUtf8(c.bytes, c.content_type);
  EXPECT_EQ(d.encoding, c.encoding);
  EXPECT_EQ(d.text, c.text);
}

INSTANTIATE_TEST_SUITE_P(Cases, DecodeTable, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Decode, LongInvalidRunsKeepTheRest) {
  std::string bytes(10000, '\xFF');
  bytes += "end";
  const Decoded d = DecodeToUtf8(bytes, "text/html; charset=gbk");
  EXPECT_EQ(d.text.size(), 10000 * 3 + 3);
  EXPECT_EQ(d.text.substr(d.text.size() - 3), "end");
}

}  // namespace
}  // namespace docseek::encoding
