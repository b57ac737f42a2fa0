// SPDX-License-Identifier: MIT
// libFuzzer target: charset decoding of arbitrary bytes under a Content-Type
// chosen by the first byte (declared, unknown, quoted, none). The output must
// be valid UTF-8 whatever comes in.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/encoding/sniff.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const char* const kContentTypes[] = {"",
                                              "text/html",
                                              "text/html; charset=utf-8",
                                              "text/html; charset=gbk",
                                              "text/html; charset=gb2312",
                                              "text/html; charset=GB18030",
                                              "text/html; charset=big5",
                                              "text/html; charset=shift_jis",
                                              "text/html; charset=euc-jp",
                                              "text/html; charset=iso-2022-jp",
                                              "text/html; charset=utf-16le",
                                              "text/html; charset=utf-16be",
                                              "text/html; charset=windows-1252",
                                              "text/html; charset=koi8-r",
                                              "text/html; charset=x-no-such-thing",
                                              "text/html; charset=\"utf-8\"",
                                              "text/html;charset=",
                                              "text/plain; charset=replacement"};
  const char* content_type = kContentTypes[data[0] % std::size(kContentTypes)];
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const docseek::encoding::Decoded decoded = docseek::encoding::DecodeToUtf8(bytes, content_type);
  if (!docseek::text::IsValidUtf8(decoded.text)) __builtin_trap();
  if (decoded.encoding.empty()) __builtin_trap();
  return 0;
}
