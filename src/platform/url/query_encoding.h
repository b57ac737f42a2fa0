// SPDX-License-Identifier: MIT
#pragma once

// The query of a special URL is written in the page's encoding: on a GBK page
// "q=中" becomes "q=%D6%D0", which is what the engines expect back.

#include <string_view>

#include "platform/url/url_parser.h"

namespace docseek::url {

// The encoder for the queries of URLs on a page in `page_encoding` (a
// canonical name, as Decoded::encoding gives it). Empty for UTF-8, and for
// UTF-16, replacement and unknown names, whose URLs are written in UTF-8.
// GBK pages use GBK's encoder, which has no four-byte sequences: what needs
// one is written as a numeric character reference by the parser.
QueryEncoder QueryEncoderFor(std::string_view page_encoding);

}  // namespace docseek::url
