#pragma once

// Private to docseek_dom: encoding labels and the encoder the URL code needs.

#include <string>
#include <string_view>

namespace docseek::dom::charset {

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

// The encoding a label names (WHATWG "get an encoding": ASCII whitespace
// trimmed, case-insensitive), or nullptr for an unknown label. gb2312, gbk and
// their aliases name GB18030.
const Encoding* Lookup(std::string_view label);

// Lookup by canonical name (as in Decoded::encoding); nullptr if unknown.
const Encoding* ByName(std::string_view name);

// Decodes bytes in a given encoding to UTF-8; undecodable bytes become U+FFFD.
std::string Decode(std::string_view bytes, const Encoding& encoding);

// True when `bytes` are well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);

// The encoding URL queries are written in on a page of this encoding (the URL
// standard's "output encoding": UTF-8 for UTF-16 and unknown names).
const Encoding& QueryEncoding(std::string_view page_encoding);

// Appends `utf8` encoded in `encoding` to `out`, percent-encoding every byte of
// the result (for the non-ASCII runs of a URL query). A character the encoding
// cannot represent is written as "%26%23<decimal>%3B", as the URL standard says.
void AppendPercentEncodedIn(std::string_view utf8, const Encoding& encoding, std::string& out);

}  // namespace docseek::dom::charset
