// SPDX-License-Identifier: MIT
#pragma once

// Which encoding a page is in: byte order mark, HTTP header, <meta> prescan,
// and the fallback for undeclared pages.

#include <string>
#include <string_view>

namespace docseek::encoding {

struct Decoded {
  std::string text;      // UTF-8; undecodable bytes become U+FFFD
  std::string encoding;  // canonical name of the encoding used, e.g. "UTF-8", "GB18030"
};

// Turns a page's bytes into UTF-8. The encoding comes from a byte order mark,
// else the charset parameter of `content_type` (an HTTP Content-Type value),
// else a <meta charset> / <meta http-equiv=Content-Type> in the first 1024
// bytes; gb2312 and gbk are read as their superset GB18030. Undeclared: UTF-8
// when the bytes are valid UTF-8, else GB18030.
Decoded DecodeToUtf8(std::string_view bytes, std::string_view content_type);

}  // namespace docseek::encoding
