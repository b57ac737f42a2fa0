// SPDX-License-Identifier: MIT
#include "platform/encoding/gb18030.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/encoding/code_points.h"
#include "platform/encoding/legacy_index.h"

namespace docseek::platform::encoding {

#include "platform/encoding/encoding_tables.inc"

namespace {

constexpr TwoByteLayout kLayout{"GB18030", 126 * 190, 190, 0x40, 0x41};

const std::vector<char32_t>& Index() {
  static const std::vector<char32_t> index = BuildTwoByteIndex(kLayout, kGb18030Differences);
  return index;
}

// (code point, pointer) sorted so the lowest pointer of a code point comes first.
const std::vector<std::pair<char32_t, std::uint32_t>>& ReverseIndex() {
  static const auto reverse = [] {
    std::vector<std::pair<char32_t, std::uint32_t>> r;
    const auto& index = Index();
    for (std::uint32_t p = 0; p < index.size(); ++p) {
      if (index[p] != 0) r.emplace_back(index[p], p);
    }
    std::sort(r.begin(), r.end());
    return r;
  }();
  return reverse;
}

// https://encoding.spec.whatwg.org/#index-gb18030-ranges-code-point
std::optional<char32_t> RangesCodePoint(std::uint32_t pointer) {
  if ((pointer > 39419 && pointer < 189000) || pointer > 1237575) return std::nullopt;
  if (pointer == 7457) return 0xE7C7;
  if (pointer >= 189000) return 0x10000 + (pointer - 189000);
  const IndexEntry* last =
      std::upper_bound(std::begin(kGb18030Ranges), std::end(kGb18030Ranges), pointer,
                       [](std::uint32_t p, const IndexEntry& e) { return p < e.pointer; }) -
      1;
  return last->code_point + (pointer - last->pointer);
}

// https://encoding.spec.whatwg.org/#index-gb18030-ranges-pointer
std::uint32_t RangesPointer(char32_t cp) {
  if (cp == 0xE7C7) return 7457;
  if (cp >= 0x10000) return 189000 + (cp - 0x10000);
  const IndexEntry* last =
      std::upper_bound(std::begin(kGb18030Ranges), std::end(kGb18030Ranges), cp,
                       [](char32_t c, const IndexEntry& e) { return c < e.code_point; }) -
      1;
  return last->pointer + (cp - last->code_point);
}

bool InRange(unsigned char b, unsigned char lo, unsigned char hi) { return b >= lo && b <= hi; }

// Code points the index maps from other bytes since GB18030-2022; the encoder
// keeps writing them as before.
constexpr std::pair<char32_t, std::uint16_t> kPrivateUseBytes[] = {
    {0xE78D, 0xA6D9}, {0xE78E, 0xA6DA}, {0xE78F, 0xA6DB}, {0xE790, 0xA6DC}, {0xE791, 0xA6DD},
    {0xE792, 0xA6DE}, {0xE793, 0xA6DF}, {0xE794, 0xA6EC}, {0xE795, 0xA6ED}, {0xE796, 0xA6F3},
    {0xE81E, 0xFE59}, {0xE826, 0xFE61}, {0xE82B, 0xFE66}, {0xE82C, 0xFE67}, {0xE832, 0xFE6D},
    {0xE843, 0xFE7E}, {0xE854, 0xFE90}, {0xE864, 0xFEA0},
};

}  // namespace

// https://encoding.spec.whatwg.org/#gb18030-decoder
// Written over the whole input at once: "restoring" bytes to the queue is
// moving back to them.
std::string DecodeGb18030(std::string_view input) {
  const auto& index = Index();
  std::string out;
  out.reserve(input.size() * 3 / 2);
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(input[i]); };
  const std::size_t n = input.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned char first = at(i);
    if (first < 0x80) {
      out += static_cast<char>(first);
      ++i;
      continue;
    }
    if (first == 0x80) {
      AppendUtf8(0x20AC, out);
      ++i;
      continue;
    }
    if (first == 0xFF) {
      AppendUtf8(kReplacementCharacter, out);
      ++i;
      continue;
    }
    // A lead byte at the end of the input: one error for what is pending.
    if (i + 1 >= n) {
      AppendUtf8(kReplacementCharacter, out);
      break;
    }
    const unsigned char second = at(i + 1);
    if (InRange(second, 0x30, 0x39)) {
      if (i + 2 >= n) {
        AppendUtf8(kReplacementCharacter, out);
        break;
      }
      const unsigned char third = at(i + 2);
      if (!InRange(third, 0x81, 0xFE)) {
        // Put back the second and third bytes.
        AppendUtf8(kReplacementCharacter, out);
        i += 1;
        continue;
      }
      if (i + 3 >= n) {
        AppendUtf8(kReplacementCharacter, out);
        break;
      }
      const unsigned char fourth = at(i + 3);
      if (!InRange(fourth, 0x30, 0x39)) {
        // Put back the second, third and fourth bytes.
        AppendUtf8(kReplacementCharacter, out);
        i += 1;
        continue;
      }
      const std::uint32_t pointer = (first - 0x81) * (10 * 126 * 10) +
                                    (second - 0x30) * (10 * 126) + (third - 0x81) * 10 +
                                    (fourth - 0x30);
      // A well-formed sequence without a code point is one error; nothing goes back.
      AppendUtf8(RangesCodePoint(pointer).value_or(kReplacementCharacter), out);
      i += 4;
      continue;
    }
    char32_t cp = 0;
    if (InRange(second, 0x40, 0x7E) || InRange(second, 0x80, 0xFE)) {
      const unsigned offset = second < 0x7F ? 0x40 : 0x41;
      cp = index[(first - 0x81) * 190 + (second - offset)];
    }
    if (cp != 0) {
      AppendUtf8(cp, out);
      i += 2;
      continue;
    }
    AppendUtf8(kReplacementCharacter, out);
    // An ASCII trail byte goes back to be read on its own.
    i += second < 0x80 ? 1 : 2;
  }
  return out;
}

// https://encoding.spec.whatwg.org/#gb18030-encoder
bool EncodeGb18030(char32_t cp, bool is_gbk, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
    return true;
  }
  // 0xA3 0xA0 decodes to U+3000, so U+E5E5 has no bytes of its own.
  if (cp == 0xE5E5 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  if (is_gbk && cp == 0x20AC) {
    out += static_cast<char>(0x80);
    return true;
  }
  for (const auto& [code_point, bytes] : kPrivateUseBytes) {
    if (code_point == cp) {
      out += static_cast<char>(bytes >> 8);
      out += static_cast<char>(bytes & 0xFF);
      return true;
    }
  }
  const auto& reverse = ReverseIndex();
  const auto it = std::lower_bound(reverse.begin(), reverse.end(), std::make_pair(cp, 0u));
  if (it != reverse.end() && it->first == cp) {
    const std::uint32_t pointer = it->second;
    const std::uint32_t trailing = pointer % 190;
    out += static_cast<char>(pointer / 190 + 0x81);
    out += static_cast<char>(trailing + (trailing < 0x3F ? 0x40 : 0x41));
    return true;
  }
  if (is_gbk) return false;
  std::uint32_t pointer = RangesPointer(cp);
  const std::uint32_t byte1 = pointer / (10 * 126 * 10);
  pointer %= 10 * 126 * 10;
  const std::uint32_t byte2 = pointer / (10 * 126);
  pointer %= 10 * 126;
  out += static_cast<char>(byte1 + 0x81);
  out += static_cast<char>(byte2 + 0x30);
  out += static_cast<char>(pointer / 10 + 0x81);
  out += static_cast<char>(pointer % 10 + 0x30);
  return true;
}

std::optional<char32_t> Gb18030IndexCodePoint(std::uint32_t pointer) {
  const auto& index = Index();
  if (pointer >= index.size() || index[pointer] == 0) return std::nullopt;
  return index[pointer];
}

std::uint64_t Gb18030IndexDigest() { return IndexDigest(Index()); }
std::uint64_t Gb18030ExpectedIndexDigest() { return kGb18030IndexDigest; }

}  // namespace docseek::platform::encoding
