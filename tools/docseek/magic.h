// SPDX-License-Identifier: MIT
// Does a downloaded file look like what its suffix says? A search hit's link
// often leads to an HTML error or login page instead of the document; the
// first bytes tell.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace docseek::cli {

// How many leading bytes CheckMagic wants to see.
inline constexpr std::size_t kMagicBytes = 1024;

enum class Magic {
  kMatches,   // the bytes are of the kind the suffix names
  kMismatch,  // the suffix is one we know, the bytes are of another kind
  kUnknown,   // no rule for this suffix
};

// `head` is the start of the file (up to kMagicBytes). Suffixes are compared
// without regard to letter case: pdf wants "%PDF-" (within the first
// kMagicBytes, as PDF readers allow leading junk); doc, xls, ppt and their x
// forms want an OLE2 compound file or a ZIP archive (either: files are often
// saved with the other form's suffix); rtf wants "{\rtf".
Magic CheckMagic(std::string_view suffix, std::string_view head);

// "PDF", "OLE2 or ZIP", "RTF": what CheckMagic looked for, for messages.
std::string ExpectedKind(std::string_view suffix);

}  // namespace docseek::cli
