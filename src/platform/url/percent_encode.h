// SPDX-License-Identifier: MIT
#pragma once

// The URL standard's percent-encode sets and percent-decoding.

#include <string>
#include <string_view>

namespace docseek::url {

// Beyond the C0 control set (bytes below 0x20 and above 0x7E, which every set
// encodes), each set adds its own characters.
enum class EncodeSet { kC0, kFragment, kQuery, kSpecialQuery, kPath, kUserinfo };

bool InEncodeSet(unsigned char c, EncodeSet set);

// Appends `s` with every byte of `set` written as %XX.
void AppendPercentEncoded(std::string_view s, EncodeSet set, std::string& out);

// %XX becomes byte XX; a '%' without two hex digits after it stays.
std::string PercentDecode(std::string_view s);

}  // namespace docseek::url
