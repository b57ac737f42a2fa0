// SPDX-License-Identifier: MIT
#pragma once

// The gb18030 codec as browsers have it: the decoder every gbk, gb2312 and
// gb18030 label uses, and the encoder (its GBK form writes no four-byte
// sequences) that a page in these encodings uses for URL queries.
// https://encoding.spec.whatwg.org/#gb18030

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace docseek::platform::encoding {

// `bytes` decoded to UTF-8. Each error becomes one U+FFFD; bytes the decoder
// puts back after an error (an ASCII trail byte, the rest of a broken
// four-byte sequence) are decoded again.
std::string DecodeGb18030(std::string_view bytes);

// Appends the bytes for `code_point` (a scalar value) with the gb18030
// encoder, or the GBK encoder when `is_gbk`. Returns false and appends nothing
// when the encoder has no bytes for it (for GBK: anything that needs four).
bool EncodeGb18030(char32_t code_point, bool is_gbk, std::string& out);

// The standard's index gb18030 (two-byte sequences): the code point for
// `pointer`, nullopt where it has none. For tests.
std::optional<char32_t> Gb18030IndexCodePoint(std::uint32_t pointer);
// Digest of the whole two-byte index as built here; equals the generated
// kGb18030IndexDigest when glibc plus the differences give the standard's index.
std::uint64_t Gb18030IndexDigest();
std::uint64_t Gb18030ExpectedIndexDigest();

}  // namespace docseek::platform::encoding
