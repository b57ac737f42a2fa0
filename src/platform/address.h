// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

namespace docseek::platform {

// The address as a browser puts it on the wire: spaces, control characters,
// quotes, angle brackets, backquotes and every non-ASCII byte (UTF-8) become
// %XX; an existing %XX escape is kept, while a % that starts none becomes %25.
std::string EncodeForSending(std::string_view address);

}  // namespace docseek::platform
