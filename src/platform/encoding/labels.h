// SPDX-License-Identifier: MIT
#pragma once

// Encodings and their labels, as the WHATWG Encoding standard names them.

#include <string_view>

namespace docseek::encoding {

enum class Kind {
  kUtf8,
  kUtf16Le,
  kUtf16Be,
  kWindows1252,   // own table: WHATWG maps 0x81, 0x8D, ... where glibc's CP1252 fails
  kXUserDefined,  // bytes 0x80-0xFF -> U+F780-U+F7FF
  kReplacement,   // labels of encodings that must not be decoded (ISO-2022-KR, HZ, ...)
  kIconv,         // everything else, through glibc iconv
};

struct Encoding {
  const char* name;  // canonical (WHATWG) name, e.g. "GB18030", "windows-1252"
  Kind kind;
  const char* iconv;  // glibc iconv name for kIconv, else nullptr
};

// The encodings the decoding rules name directly.
extern const Encoding kUtf8;
extern const Encoding kUtf16Le;
extern const Encoding kUtf16Be;
extern const Encoding kWindows1252;
extern const Encoding kGb18030;  // also what gb2312 and gbk labels name

// The encoding a label names ("get an encoding": ASCII whitespace trimmed,
// case-insensitive), or nullptr for an unknown label. gb2312, gbk and their
// aliases name GB18030.
const Encoding* Lookup(std::string_view label);

// Lookup by canonical name (as in Decoded::encoding), falling back to the
// labels; nullptr if unknown.
const Encoding* ByName(std::string_view name);

}  // namespace docseek::encoding
