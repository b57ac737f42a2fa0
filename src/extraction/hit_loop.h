// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/browser.h"
#include "platform/forms.h"
#include "platform/strings.h"

namespace docseek::extraction {

// The two members the hit loop reads of an element.
enum class Member { kInnerText, kHref };

// Reads `member` of the element with `id` on the browser's current page, going
// through the whole chain from the browser each time. Throws Error when there
// is no document, no such element, or the element has no such member.
std::string ReadMember(const platform::TWebBrowser& browser, const std::string& id, Member member);

// Reads up to `count` hits of the loaded result page and appends six lines per
// hit to `results`: title, link suffix, size, date, summary, link. Stops
// quietly at the first hit whose title cannot be read. A hit is appended only
// once all six lines are read, so a page that fails partway never leaves half
// a record that would shift every record after it; the failure is rethrown.
// `progress` is stepped once per hit attempted; `on_hit` runs after each hit.
void ReadHits(const platform::TWebBrowser& browser, platform::TProgressBar& progress,
              std::int32_t count, platform::TStrings& results,
              const std::function<void()>& on_hit = {});

}  // namespace docseek::extraction
