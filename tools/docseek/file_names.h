// SPDX-License-Identifier: MIT
// File names for downloaded documents. A record's title and suffix come from a
// web page, so they may hold anything: separators, "..", control characters,
// bytes that are not UTF-8, or far more than a file system allows. These rules
// turn them into one plain name inside the download folder.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>

namespace docseek::cli {

// Longest name in bytes, suffix included; room is left below the usual 255
// for " (NNN)" and ".part".
inline constexpr std::size_t kMaxNameBytes = 200;
// A suffix longer than this is cut, so that a long query string in a link
// cannot crowd out the title.
inline constexpr std::size_t kMaxSuffixBytes = 32;

// One name component made safe: '/', '\\', NUL and other control characters
// and bytes that are not UTF-8 become '_', white space at the ends and leading
// dots are dropped. The result never contains a separator and is never "." or
// "..", but may be empty.
std::string CleanComponent(std::string_view text);

// `text` cut to at most `max_bytes` bytes without splitting a UTF-8 sequence.
std::string CutUtf8(std::string_view text, std::size_t max_bytes);

// A fallback title taken from a link: its last non-empty path segment,
// percent-decoded, without the suffix; else its host; else "download".
std::string NameFromLink(std::string_view link, std::string_view suffix);

// TITLE.SUFFIX made safe, at most kMaxNameBytes bytes. An empty title (after
// cleaning) is replaced by NameFromLink; an empty suffix gives no dot.
std::string FileNameFor(std::string_view title, std::string_view suffix, std::string_view link);

// A download is written as NAME + kPartSuffix until it is complete.
inline constexpr char kPartSuffix[] = ".part";

// `name`, or "STEM (2).SUFFIX", "STEM (3).SUFFIX", ... the first that is not
// in `taken` (compared as given) and whose NAME.part is not either. Adds the
// chosen name and its NAME.part to `taken`.
std::string MakeUnique(const std::string& name, std::set<std::string>& taken);

}  // namespace docseek::cli
