// SPDX-License-Identifier: MIT
#include "platform/encoding/legacy_index.h"

#include <iconv.h>

#include <string>

namespace docseek::platform::encoding {

std::vector<char32_t> BuildTwoByteIndex(const TwoByteLayout& layout,
                                        std::span<const IndexEntry> differences) {
  std::vector<char32_t> index(layout.pointer_count, 0);
  iconv_t cd = iconv_open("UTF-32LE", layout.iconv_charset);
  if (cd != reinterpret_cast<iconv_t>(-1)) {
    for (unsigned pointer = 0; pointer < layout.pointer_count; ++pointer) {
      const unsigned trail = pointer % layout.trails_per_lead;
      char in[2] = {static_cast<char>(pointer / layout.trails_per_lead + 0x81),
                    static_cast<char>(trail + (trail < 0x3F ? layout.low_trail_offset
                                                            : layout.high_trail_offset))};
      unsigned char out[16];
      char* inp = in;
      char* outp = reinterpret_cast<char*>(out);
      size_t inleft = sizeof in, outleft = sizeof out;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      if (iconv(cd, &inp, &inleft, &outp, &outleft) == static_cast<size_t>(-1)) continue;
      // BIG5-HKSCS holds back a base letter that a combining mark might follow.
      iconv(cd, nullptr, nullptr, &outp, &outleft);
      if (sizeof out - outleft != 4) continue;
      index[pointer] = static_cast<char32_t>(out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24);
    }
    iconv_close(cd);
  }
  for (const IndexEntry& d : differences) {
    if (d.pointer < index.size()) index[d.pointer] = d.code_point;
  }
  return index;
}

std::uint64_t IndexDigest(const std::vector<char32_t>& index) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (std::size_t pointer = 0; pointer < index.size(); ++pointer) {
    if (index[pointer] == 0) continue;
    const std::string entry = std::to_string(pointer) + ':' + std::to_string(index[pointer]) + ';';
    for (unsigned char b : entry) h = (h ^ b) * 0x100000001b3ULL;
  }
  return h;
}

}  // namespace docseek::platform::encoding
