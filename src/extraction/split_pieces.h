// SPDX-License-Identifier: MIT
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

// The character sets the hit loop reads a hit with.
// The characters a title loses: those Windows file names may not hold, and the
// full stop.
inline constexpr std::u32string_view kTitleCharacters = U"\\/:*?\"<>|.";
// The link's suffix is its last piece split at full stops; spaces and '#'
// before a piece are skipped.
inline constexpr std::u32string_view kLinkSeparators = U".";
inline constexpr std::u32string_view kLinkBlanks = U" #";
// The info line "site - size - date" split at spaces; spaces and '-' before a
// piece are skipped, so the last two pieces are size and date.
inline constexpr std::u32string_view kInfoSeparators = U" ";
inline constexpr std::u32string_view kInfoBlanks = U" -";
// What a size loses: its unit letter, either case.
inline constexpr std::u32string_view kSizeCharacters = U"K";

}  // namespace docseek::extraction
