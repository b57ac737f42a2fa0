// SPDX-License-Identifier: MIT
#pragma once

// Private to the gb18030 and Big5 codecs: their two-byte indexes, taken from
// glibc's iconv tables and corrected where the Encoding Standard's index
// differs (the corrections are generated, see scripts/gen-encoding-tables).

#include <cstdint>
#include <span>
#include <vector>

namespace docseek::platform::encoding {

struct IndexEntry {
  std::uint32_t pointer;
  char32_t code_point;  // 0: the index has no entry for the pointer
};

struct TwoByteLayout {
  const char* iconv_charset;
  unsigned pointer_count;
  unsigned trails_per_lead;
  unsigned low_trail_offset;   // trail = pointer % trails_per_lead + this, below 0x3F
  unsigned high_trail_offset;  // the same from 0x3F on
};

// Pointer -> code point (0 where none) for every pointer of `layout`: glibc's
// answer for the two bytes, then `differences` laid over it. An entry that
// glibc decodes to more than one code point is left 0 for the caller's own
// table. When iconv lacks the charset only the differences are filled in.
std::vector<char32_t> BuildTwoByteIndex(const TwoByteLayout& layout,
                                        std::span<const IndexEntry> differences);

// FNV-1a 64 over "pointer:code point;" of every entry, in pointer order: the
// form the generator records for the standard's index.
std::uint64_t IndexDigest(const std::vector<char32_t>& index);

}  // namespace docseek::platform::encoding
