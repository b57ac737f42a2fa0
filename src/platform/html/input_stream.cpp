// SPDX-License-Identifier: MIT
#include "platform/html/input_stream.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "platform/text.h"

namespace docseek::html {
namespace {

constexpr std::string_view kEscape = kInputStreamEscape;
constexpr char32_t kCodeBase = 0x10FE00;

// Bytes that may start a character to escape: C0 controls but tab, LF, FF,
// CR and NUL; DEL; the lead bytes of C1 controls, of U+FDD0-U+FDEF and
// U+xFFFE/U+xFFFF, and of U+10FFFD.
constexpr std::array<bool, 256> kMaybe = [] {
  std::array<bool, 256> t{};
  for (int c = 1; c < 0x20; ++c) t[c] = c != '\t' && c != '\n' && c != '\f' && c != '\r';
  t[0x7F] = t[0xC2] = t[0xEF] = true;
  for (int c = 0xF0; c <= 0xF4; ++c) t[c] = true;
  return t;
}();

// The escape number of the character of length `*len` at s[i], or -1.
int CodeAt(std::string_view s, std::size_t i, std::size_t* len) {
  const auto b = [&](std::size_t k) {
    return i + k < s.size() ? static_cast<unsigned char>(s[i + k]) : 0;
  };
  const unsigned char c = b(0);
  if (c < 0x80) {
    *len = 1;
    return c;  // kMaybe said so
  }
  if (c == 0xC2) {
    *len = 2;
    return b(1) >= 0x80 && b(1) <= 0x9F ? b(1) : -1;  // U+0080-U+009F
  }
  if (c == 0xEF) {
    *len = 3;
    if (b(1) == 0xB7 && b(2) >= 0x90 && b(2) <= 0xAF) return 0xA0 + (b(2) - 0x90);
    if (b(1) == 0xBF && (b(2) == 0xBE || b(2) == 0xBF)) return 0xC0 + (b(2) & 1);
    return -1;
  }
  // Four bytes: U+xFFFE/U+xFFFF of planes 1-16, and U+10FFFD itself.
  *len = 4;
  if ((b(1) & 0x0F) != 0x0F || b(2) != 0xBF) return -1;
  if (b(3) == 0xBE || b(3) == 0xBF) {
    const int plane = ((c & 0x07) << 2) | ((b(1) >> 4) & 0x03);
    return 0xC0 + plane * 2 + (b(3) & 1);
  }
  if (s.substr(i, 4) == kEscape) return 0xFF;
  return -1;
}

// True when none of the 8 bytes of `x` can start a character to escape: all
// printable ASCII (no byte below 0x20, none 0x7F, none from 0x80).
constexpr bool PlainAscii(std::uint64_t x) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL, kHigh = 0x8080808080808080ULL;
  const auto has_less = [&](std::uint64_t v, std::uint64_t n) {
    return (v - kOnes * n) & ~v & kHigh;
  };
  const std::uint64_t del = x ^ (kOnes * 0x7F);
  return !(x & kHigh) && !has_less(x, 0x20) && !((del - kOnes) & ~del & kHigh);
}

char32_t CharacterOf(char32_t code) {
  if (code < 0xA0) return code;
  if (code < 0xC0) return 0xFDD0 + (code - 0xA0);
  if (code == 0xFF) return 0x10FFFD;
  return ((code - 0xC0) / 2) << 16 | (0xFFFE + (code & 1));
}

}  // namespace

bool EscapeInputStream(std::string_view html, std::string* out) {
  std::size_t i = 0, copied = 0;
  bool any = false;
  std::string result;
  while (i < html.size()) {
    // Most of a page is markup and script in printable ASCII: 8 bytes a step.
    if (i + 8 <= html.size()) {
      std::uint64_t word;
      std::memcpy(&word, html.data() + i, sizeof word);
      if (PlainAscii(word)) {
        i += 8;
        continue;
      }
    }
    const std::size_t stop = std::min(i + 8, html.size());
    while (i < stop && !kMaybe[static_cast<unsigned char>(html[i])]) ++i;
    if (i == stop) continue;
    std::size_t len = 1;
    const int code = CodeAt(html, i, &len);
    if (code < 0) {
      i += 1;
      continue;
    }
    if (!any) {
      any = true;
      result.reserve(html.size() + 64);
    }
    result.append(html, copied, i - copied);
    result += kEscape;
    if (code == 0xFF) {
      result += kEscape;
    } else {
      text::AppendUtf8(kCodeBase + code, result);
    }
    i += len;
    copied = i;
  }
  if (!any) return false;
  result.append(html, copied, html.size() - copied);
  *out = std::move(result);
  return true;
}

void UnescapeInputStream(std::string& s) {
  std::size_t at = s.find(kEscape);
  if (at == std::string::npos) return;
  std::string out(s, 0, at);
  while (at != std::string::npos) {
    std::size_t next = at + kEscape.size();
    if (s.compare(next, kEscape.size(), kEscape) == 0) {
      out += kEscape;
      next += kEscape.size();
    } else if (next < s.size()) {
      std::size_t pos = next;
      const char32_t code = text::NextUtf8(s, &pos);
      if (code >= kCodeBase && code < kCodeBase + 0xFF) {
        text::AppendUtf8(CharacterOf(code - kCodeBase), out);
        next = pos;
      } else {
        out += kEscape;  // not ours: leave it
      }
    } else {
      out += kEscape;
    }
    at = s.find(kEscape, next);
    out.append(s, next, (at == std::string::npos ? s.size() : at) - next);
  }
  s = std::move(out);
}

}  // namespace docseek::html
