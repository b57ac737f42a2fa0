// SPDX-License-Identifier: MIT
#include "platform/address.h"

#include "platform/text.h"

namespace docseek::platform {

std::string EncodeForSending(std::string_view address) {
  std::string out;
  out.reserve(address.size());
  for (std::size_t i = 0; i < address.size(); ++i) {
    auto c = static_cast<unsigned char>(address[i]);
    bool escape = c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '`';
    if (c == '%') {
      escape = !(i + 2 < address.size() && text::IsHexDigit(address[i + 1]) &&
                 text::IsHexDigit(address[i + 2]));
    }
    if (escape) {
      text::AppendPercentByte(c, out);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace docseek::platform
