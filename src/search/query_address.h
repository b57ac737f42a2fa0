// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace docseek::search {

// The engine's web-search address for one document type:
//   http://www.sogou.com/web?query=KEY filetype:TYPE&tsn=2&pid=&duppid=1&p=40230105&num=COUNT
// KEY and TYPE go in as given, except that % & # + become %25 %26 %23 %2B:
// raw, they would change the address's structure ("AT&T" would search "AT",
// "C++" would search "C  "). Spaces and non-ASCII stay; the browser escapes
// them when it sends the address.
std::string QueryAddress(std::string_view key, std::string_view type, std::int32_t count);

extern const char kEngineName[];

}  // namespace docseek::search
