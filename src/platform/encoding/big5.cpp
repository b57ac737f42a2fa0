// SPDX-License-Identifier: MIT
#include "platform/encoding/big5.h"

#include <vector>

#include "platform/encoding/code_points.h"
#include "platform/encoding/legacy_index.h"

namespace docseek::platform::encoding {

#include "platform/encoding/encoding_tables.inc"

namespace {

// glibc's BIG5-HKSCS is the closest start: its plain BIG5 lacks the HKSCS rows.
constexpr TwoByteLayout kLayout{"BIG5-HKSCS", 126 * 157, 157, 0x40, 0x62};

const std::vector<char32_t>& Index() {
  static const std::vector<char32_t> index = BuildTwoByteIndex(kLayout, kBig5Differences);
  return index;
}

bool InRange(unsigned char b, unsigned char lo, unsigned char hi) { return b >= lo && b <= hi; }

// Letters with two marks that Unicode has no single code point for.
struct PairEntry {
  std::uint32_t pointer;
  char32_t first, second;
};
constexpr PairEntry kPairs[] = {
    {1133, 0x00CA, 0x0304}, {1135, 0x00CA, 0x030C}, {1164, 0x00EA, 0x0304}, {1166, 0x00EA, 0x030C}};

}  // namespace

// https://encoding.spec.whatwg.org/#big5-decoder
std::string DecodeBig5(std::string_view input) {
  const auto& index = Index();
  std::string out;
  out.reserve(input.size() * 3 / 2);
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(input[i]); };
  std::size_t i = 0;
  while (i < input.size()) {
    const unsigned char lead = at(i);
    if (lead < 0x80) {
      out += static_cast<char>(lead);
      ++i;
      continue;
    }
    if (!InRange(lead, 0x81, 0xFE) || i + 1 >= input.size()) {
      AppendUtf8(kReplacementCharacter, out);
      ++i;
      continue;
    }
    const unsigned char trail = at(i + 1);
    char32_t cp = 0;
    if (InRange(trail, 0x40, 0x7E) || InRange(trail, 0xA1, 0xFE)) {
      const std::uint32_t pointer = (lead - 0x81) * 157 + (trail - (trail < 0x7F ? 0x40 : 0x62));
      bool paired = false;
      for (const PairEntry& p : kPairs) {
        if (p.pointer == pointer) {
          AppendUtf8(p.first, out);
          AppendUtf8(p.second, out);
          paired = true;
        }
      }
      if (paired) {
        i += 2;
        continue;
      }
      cp = index[pointer];
    }
    if (cp != 0) {
      AppendUtf8(cp, out);
      i += 2;
      continue;
    }
    AppendUtf8(kReplacementCharacter, out);
    i += trail < 0x80 ? 1 : 2;
  }
  return out;
}

std::optional<char32_t> Big5IndexCodePoint(std::uint32_t pointer) {
  const auto& index = Index();
  if (pointer >= index.size() || index[pointer] == 0) return std::nullopt;
  return index[pointer];
}

std::uint64_t Big5IndexDigest() { return IndexDigest(Index()); }
std::uint64_t Big5ExpectedIndexDigest() { return kBig5IndexDigest; }

}  // namespace docseek::platform::encoding
