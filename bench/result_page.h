// SPDX-License-Identifier: MIT
#pragma once

// The benchmark's page: a result page of the engine with `hits` hits in its
// markup and the chrome around them (head with scripts and styles, navigation,
// side bar, footer), about 300 KB for 100 hits. Deterministic.

#include <string>

namespace docseek::bench {

inline constexpr const char* kPageUrl =
    "http://www.sogou.com/web?query=%C4%EA%B6%C8%B1%A8%B8%E6&filetype=pdf&page=1";

std::string ResultPage(int hits);

}  // namespace docseek::bench
