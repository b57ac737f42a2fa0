#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace docseek::extraction {

// Splits UTF-8 text into pieces. The text ends at its first NUL. Only code
// points 0-255 in `separators` and `blanks` count. CR and LF always end a piece
// and are skipped before one; blanks are skipped only before a piece, never
// inside or after it. A double quote or apostrophe opens a stretch, closed by
// the same character, in which everything belongs to the piece (the quotes
// too). Runs of separators give no empty pieces.
std::vector<std::string> SplitPieces(std::string_view text, std::u32string_view separators,
                                     std::u32string_view blanks);

// Removes every character of `text` whose upper case equals the upper case of
// one of `characters`, so that removing U"K" drops both k and K.
std::string RemoveCharacters(std::string_view text, std::u32string_view characters);

// The characters a title loses: those Windows file names may not hold, and the
// full stop.
inline constexpr std::u32string_view kTitleCharacters = U"\\/:*?\"<>|.";

}  // namespace docseek::extraction
