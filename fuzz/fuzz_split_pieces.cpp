// SPDX-License-Identifier: MIT
// libFuzzer target: SplitPieces and RemoveCharacters on arbitrary bytes. The
// first byte picks the separator and blank sets, so quotes, line breaks and
// characters past ASCII all meet the splitter.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "extraction/split_pieces.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using docseek::extraction::RemoveCharacters;
  using docseek::extraction::SplitPieces;
  if (size == 0) return 0;
  static const std::u32string_view kSeparators[] = {U" ",   U" \u00a0", U"-",
                                                    U"\"'", U"",        U"\u00ff\u0100\U0001F600"};
  static const std::u32string_view kBlanks[] = {U" -", U"", U" ", U"\r\n\t"};
  const std::u32string_view separators = kSeparators[data[0] % std::size(kSeparators)];
  const std::u32string_view blanks = kBlanks[(data[0] >> 4) % std::size(kBlanks)];
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  size_t total = 0;
  for (const std::string& piece : SplitPieces(text, separators, blanks)) {
    // No piece is empty or valid UTF-8 longer than the text it came from
    // (an invalid byte becomes the three bytes of U+FFFD).
    if (piece.empty() || piece.size() > 3 * text.size()) __builtin_trap();
    if (!docseek::text::IsValidUtf8(piece)) __builtin_trap();
    total += piece.size();
  }
  const std::string title = RemoveCharacters(text, docseek::extraction::kTitleCharacters);
  const std::string size_text = RemoveCharacters(text, U"K");
  // Removal never adds text, beyond invalid bytes becoming U+FFFD.
  if (title.size() > 3 * text.size() || size_text.size() > 3 * text.size()) __builtin_trap();
  return (total + title.size() + size_text.size()) == static_cast<size_t>(-1);
}
