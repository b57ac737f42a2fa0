// SPDX-License-Identifier: MIT
#pragma once

// The two UTF-8 steps the decoders and the URL parser share.

#include <cstddef>
#include <string>
#include <string_view>

namespace docseek::platform::encoding {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Appends `cp` (a scalar value) as UTF-8.
inline void AppendUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Reads the code point at `pos` and moves `pos` past it. A malformed sequence
// (overlong, surrogate, truncated, beyond U+10FFFF) reads as U+FFFD and
// consumes its maximal invalid prefix, as the UTF-8 decoder of browsers does.
inline char32_t NextUtf8(std::string_view s, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char b0 = byte(pos++);
  if (b0 < 0x80) return b0;
  int need = 0;
  char32_t cp = 0;
  unsigned char lower = 0x80, upper = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 1;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 2;
    cp = b0 & 0x0F;
    if (b0 == 0xE0) lower = 0xA0;
    if (b0 == 0xED) upper = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 3;
    cp = b0 & 0x07;
    if (b0 == 0xF0) lower = 0x90;
    if (b0 == 0xF4) upper = 0x8F;
  } else {
    return kReplacementCharacter;
  }
  for (int i = 0; i < need; ++i) {
    if (pos >= s.size() || byte(pos) < lower || byte(pos) > upper) return kReplacementCharacter;
    cp = (cp << 6) | (byte(pos++) & 0x3F);
    lower = 0x80;
    upper = 0xBF;
  }
  return cp;
}

}  // namespace docseek::platform::encoding
