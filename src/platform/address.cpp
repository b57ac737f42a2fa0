#include "platform/address.h"

#include <glib.h>

namespace docseek::platform {

std::string EncodeForSending(std::string_view address) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(address.size());
  for (std::size_t i = 0; i < address.size(); ++i) {
    auto c = static_cast<unsigned char>(address[i]);
    bool escape = c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '`';
    if (c == '%') {
      escape = !(i + 2 < address.size() && g_ascii_isxdigit(address[i + 1]) &&
                 g_ascii_isxdigit(address[i + 2]));
    }
    if (escape) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace docseek::platform
