// SPDX-License-Identifier: MIT
#pragma once

// Percent-encoding as URLs in browsers do it: the code point sets that say
// which characters each URL component escapes, and decoding.
// https://url.spec.whatwg.org/#percent-encoded-bytes

#include <string>
#include <string_view>

namespace docseek::platform::url {

// Each set includes the ones before it in the standard's chain; all of them
// include every non-ASCII code point.
enum class EncodeSet {
  kC0Control,     // C0 controls and above U+007E
  kFragment,      // + space " < > `
  kQuery,         // C0 + space " # < >
  kSpecialQuery,  // query + '
  kPath,          // query + ? ^ ` { }
  kUserinfo,      // path + / : ; = @ [ \ ] |
  kComponent,     // userinfo + $ % & + ,
};

bool InEncodeSet(char32_t c, EncodeSet set);

// Appends the UTF-8 string `utf8` with every byte of a code point in `set`
// written as %XX (upper-case hex).
void AppendPercentEncoded(std::string_view utf8, EncodeSet set, std::string& out);

// Bytes of `input` with each %XX (hex digits) replaced by its byte; other
// '%' stay as they are.
std::string PercentDecode(std::string_view input);

}  // namespace docseek::platform::url
