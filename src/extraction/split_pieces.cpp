// SPDX-License-Identifier: MIT
#include "extraction/split_pieces.h"

#include "platform/text.h"

namespace docseek::extraction {

namespace {

// Decodes UTF-8; a byte that starts no valid sequence stands for itself
// (as U+FFFD), so no input is lost or misread as a separator.
std::u32string Decode(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t bad = 0;
    if (text::Utf8SequenceAt(text, i, &bad) == 0) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    out.push_back(text::NextUtf8(text, &i));
  }
  return out;
}

void Encode(std::string& out, char32_t c) { text::AppendUtf8(c, out); }

bool In(std::u32string_view set, char32_t c) {
  return c <= 0xFF && set.find(c) != std::u32string_view::npos;
}

}  // namespace

std::vector<std::string> SplitPieces(std::string_view text, std::u32string_view separators,
                                     std::u32string_view blanks) {
  std::u32string chars = Decode(text.substr(0, text.find('\0')));
  std::vector<std::string> pieces;
  std::size_t i = 0;
  const std::size_t n = chars.size();
  while (i < n) {
    while (i < n && (In(blanks, chars[i]) || chars[i] == U'\n' || chars[i] == U'\r')) ++i;
    std::string piece;
    char32_t quote = 0;
    while (i < n) {
      char32_t c = chars[i];
      if (quote != 0) {
        if (c == quote) quote = 0;
      } else if (c == U'"' || c == U'\'') {
        quote = c;
      } else if (In(separators, c) || c == U'\n' || c == U'\r') {
        break;
      }
      Encode(piece, c);
      ++i;
    }
    if (!piece.empty()) pieces.push_back(std::move(piece));
    if (i < n) ++i;  // step over the character that ended the piece
  }
  return pieces;
}

std::string RemoveCharacters(std::string_view text, std::u32string_view characters) {
  std::u32string upper;
  for (char32_t c : characters) upper.push_back(text::UnicodeUpper(c));
  std::string out;
  out.reserve(text.size());
  for (char32_t c : Decode(text)) {
    if (upper.find(text::UnicodeUpper(c)) == std::u32string::npos) {
      Encode(out, c);
    }
  }
  return out;
}

}  // namespace docseek::extraction
