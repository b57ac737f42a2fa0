// SPDX-License-Identifier: MIT
#include "platform/url/percent_encode.h"

#include "platform/text.h"

namespace docseek::url {

bool InEncodeSet(unsigned char c, EncodeSet set) {
  using enum EncodeSet;
  if (c < 0x20 || c > 0x7E) return true;
  if (set == kC0) return false;
  switch (c) {
    case ' ':
    case '"':
    case '<':
    case '>':
      return true;
    case '`':
      return set == kFragment || set == kPath || set == kUserinfo;
    case '#':
      return set != kFragment;
    case '\'':
      return set == kSpecialQuery;
    case '?':
    case '^':
    case '{':
    case '}':
      return set == kPath || set == kUserinfo;
    case '/':
    case ':':
    case ';':
    case '=':
    case '@':
    case '[':
    case '\\':
    case ']':
    case '|':
      return set == kUserinfo;
    default:
      return false;
  }
}

void AppendPercentEncoded(std::string_view s, EncodeSet set, std::string& out) {
  for (char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (InEncodeSet(c, set)) {
      text::AppendPercentByte(c, out);
    } else {
      out += ch;
    }
  }
}

std::string PercentDecode(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      const int a = text::HexValue(s[i + 1]), b = text::HexValue(s[i + 2]);
      if (a >= 0 && b >= 0) {
        out += static_cast<char>(a * 16 + b);
        i += 2;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

}  // namespace docseek::url
