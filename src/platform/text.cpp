// SPDX-License-Identifier: MIT
#include "platform/text.h"

#include <glib.h>

namespace docseek::text {

char32_t UnicodeUpper(char32_t c) { return g_unichar_toupper(c); }

}  // namespace docseek::text
