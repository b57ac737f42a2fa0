// SPDX-License-Identifier: MIT
#pragma once

// Control characters and noncharacters in a page's text are parse errors of
// the input stream, but the tokenizer keeps them: an href holding U+000B
// serialises as "%0B", a title keeps its U+0085. gumbo 0.10.1 turns each of
// them into U+FFFD instead. So before gumbo sees the markup each one is
// written as a two-code-point escape in the last private-use plane, which
// gumbo passes through, and the reads of the document undo it.
//
// The escape is U+10FFFD followed by U+10FE00 + a number for the character;
// a U+10FFFD of the page itself is written twice. NUL is left alone: the
// tokenizer's own rules for it (dropped from text, U+FFFD in attribute
// values) are gumbo's too.

#include <string>
#include <string_view>

namespace docseek::html {

// U+10FFFD: what every escape starts with.
inline constexpr std::string_view kInputStreamEscape = "\xF4\x8F\xBF\xBD";

// Returns true and sets `*out` to the escaped markup when `html` (UTF-8)
// holds a character to escape; returns false (`*out` untouched) otherwise.
bool EscapeInputStream(std::string_view html, std::string* out);

// Undoes EscapeInputStream in text read from the parsed document.
void UnescapeInputStream(std::string& text);

}  // namespace docseek::html
