// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>

namespace docseek {

// The most of a page's body the browser reads (after decompression), and the
// most of one the document model parses: 16 MiB.
inline constexpr std::size_t kMaxPageBytes = std::size_t{16} << 20;

}  // namespace docseek
