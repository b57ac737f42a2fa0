// SPDX-License-Identifier: MIT
#pragma once

// Small text helpers the plug-in's parts share: ASCII letter case and classes,
// hex digits, UTF-8 encoding and decoding. Locale-free on purpose: markup,
// labels and URLs are compared in ASCII, whatever the host's locale says.

#include <cstddef>
#include <string>
#include <string_view>

namespace docseek::text {

constexpr char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr bool IsAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
// Space, tab, LF, FF and CR: the white space of markup and of encoding labels.
constexpr bool IsAsciiWhitespace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// Equal when each pair of characters is equal after ASCII lower-casing.
constexpr bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

constexpr std::string_view TrimAsciiWhitespace(std::string_view s) {
  while (!s.empty() && IsAsciiWhitespace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsAsciiWhitespace(s.back())) s.remove_suffix(1);
  return s;
}

inline std::string AsciiLowered(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

// Value of a hex digit (either case), or -1.
constexpr int HexValue(char c) {
  if (IsAsciiDigit(c)) return c - '0';
  c = AsciiLower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}
constexpr bool IsHexDigit(char c) { return HexValue(c) >= 0; }

// Appends "%XX" (upper-case hex) for one byte.
inline void AppendPercentByte(unsigned char c, std::string& out) {
  constexpr char kHex[] = "0123456789ABCDEF";
  out += '%';
  out += kHex[c >> 4];
  out += kHex[c & 0xF];
}

inline constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

// Appends the UTF-8 form of a code point; surrogates and values past U+10FFFF
// become U+FFFD.
inline void AppendUtf8(char32_t c, std::string& out) {
  if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
    out += kReplacementCharacter;
  } else if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Length of the well-formed UTF-8 sequence at s[i], or 0 with `*bad` set to
// the length of its maximal subpart (the bytes one U+FFFD stands for, as the
// WHATWG UTF-8 decoder counts them).
constexpr std::size_t Utf8SequenceAt(std::string_view s, std::size_t i, std::size_t* bad) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  if (c < 0x80) return 1;
  std::size_t need = 0;
  unsigned char lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    need = 1;
  } else if (c >= 0xE0 && c <= 0xEF) {
    need = 2;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    need = 3;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    *bad = 1;
    return 0;
  }
  std::size_t k = 1;
  for (; k <= need; ++k) {
    if (i + k >= s.size()) break;
    const unsigned char t = b(i + k);
    if (t < lo || t > hi) break;
    lo = 0x80;
    hi = 0xBF;
  }
  if (k == need + 1) return need + 1;
  *bad = k;
  return 0;
}

// The code point at s[*i], advancing *i past it; an ill-formed sequence gives
// U+FFFD and advances past its maximal subpart.
constexpr char32_t NextUtf8(std::string_view s, std::size_t* i) {
  std::size_t bad = 0;
  const std::size_t n = Utf8SequenceAt(s, *i, &bad);
  if (n == 0) {
    *i += bad;
    return 0xFFFD;
  }
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[*i + k]); };
  char32_t c = n == 1 ? b(0) : b(0) & (0xFF >> (n + 1));
  for (std::size_t k = 1; k < n; ++k) c = (c << 6) | (b(k) & 0x3F);
  *i += n;
  return c;
}

// True when `bytes` are well-formed UTF-8.
constexpr bool IsValidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    std::size_t bad = 0;
    const std::size_t n = Utf8SequenceAt(bytes, i, &bad);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

// Unicode simple upper case (GLib's tables), for case-insensitive matching of
// single characters beyond ASCII.
char32_t UnicodeUpper(char32_t c);

}  // namespace docseek::text
