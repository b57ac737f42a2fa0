// SPDX-License-Identifier: MIT
#pragma once

// Why one document type gave the user nothing. Every failure of a result page
// used to end the same way, as no hits, so a blocked search looked like an
// empty one; this names the cause in one line.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/browser.h"

namespace docseek::search {

// One line, "docseek: TYPE: why", for a page that gave no hits or failed
// part-way (`read_error` non-empty); nothing when its hits were read. `count`
// is the number of hits asked for: when it is 0 or less no hits are expected.
std::optional<std::string> Diagnose(const std::string& type, const platform::PageOutcome& page,
                                    int hits, std::int32_t count, const std::string& read_error);

}  // namespace docseek::search
