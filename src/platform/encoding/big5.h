// SPDX-License-Identifier: MIT
#pragma once

// The Big5 decoder as browsers have it: Big5 with the HKSCS extensions, for
// every big5, big5-hkscs, cn-big5, csbig5 and x-x-big5 label.
// https://encoding.spec.whatwg.org/#big5

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace docseek::platform::encoding {

// `bytes` decoded to UTF-8; each error becomes one U+FFFD, and an ASCII byte
// after a lead byte that does not pair with it is read again on its own.
std::string DecodeBig5(std::string_view bytes);

// The standard's index Big5: the code point for `pointer`, nullopt where it
// has none (or where the decoder answers with two code points). For tests.
std::optional<char32_t> Big5IndexCodePoint(std::uint32_t pointer);
std::uint64_t Big5IndexDigest();
std::uint64_t Big5ExpectedIndexDigest();

}  // namespace docseek::platform::encoding
