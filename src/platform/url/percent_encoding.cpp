// SPDX-License-Identifier: MIT
#include "platform/url/percent_encoding.h"

namespace docseek::platform::url {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool InEncodeSet(char32_t c, EncodeSet set) {
  if (c < 0x20 || c > 0x7E) return true;
  switch (set) {
    case EncodeSet::kC0Control:
      return false;
    case EncodeSet::kFragment:
      return c == ' ' || c == '"' || c == '<' || c == '>' || c == '`';
    case EncodeSet::kQuery:
      return c == ' ' || c == '"' || c == '#' || c == '<' || c == '>';
    case EncodeSet::kSpecialQuery:
      return InEncodeSet(c, EncodeSet::kQuery) || c == '\'';
    case EncodeSet::kPath:
      return InEncodeSet(c, EncodeSet::kQuery) || c == '?' || c == '^' || c == '`' || c == '{' ||
             c == '}';
    case EncodeSet::kUserinfo:
      return InEncodeSet(c, EncodeSet::kPath) || c == '/' || c == ':' || c == ';' || c == '=' ||
             c == '@' || (c >= '[' && c <= ']') || c == '|';
    case EncodeSet::kComponent:
      return InEncodeSet(c, EncodeSet::kUserinfo) || (c >= '$' && c <= '&') || c == '+' || c == ',';
  }
  return true;
}

void AppendPercentEncoded(std::string_view utf8, EncodeSet set, std::string& out) {
  static const char kHex[] = "0123456789ABCDEF";
  for (char ch : utf8) {
    const auto b = static_cast<unsigned char>(ch);
    // Bytes of a multi-byte sequence are all >= 0x80, so byte-wise testing
    // treats a non-ASCII code point as a whole.
    if (InEncodeSet(b, set)) {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else {
      out += ch;
    }
  }
}

std::string PercentDecode(std::string_view input) {
  std::string out;
  out.reserve(input.size());
  for (std::size_t i = 0; i < input.size(); ++i) {
    if (input[i] == '%' && i + 2 < input.size() && HexValue(input[i + 1]) >= 0 &&
        HexValue(input[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(input[i + 1]) * 16 + HexValue(input[i + 2]));
      i += 2;
    } else {
      out += input[i];
    }
  }
  return out;
}

}  // namespace docseek::platform::url
