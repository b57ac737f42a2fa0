// SPDX-License-Identifier: MIT
#pragma once

// The decoders: bytes in one encoding to UTF-8.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/encoding/labels.h"

namespace docseek::encoding {

// Decodes bytes in a given encoding to UTF-8; undecodable bytes become U+FFFD.
std::string Decode(std::string_view bytes, const Encoding& encoding);

// windows-1252 bytes 0x80-0x9F (the rest are U+00XX); the URL code encodes
// with it too.
inline constexpr std::array<std::uint16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace docseek::encoding
