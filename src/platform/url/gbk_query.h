// SPDX-License-Identifier: MIT
#pragma once

// The query of a special URL is written in the page's encoding: on a GBK page
// "q=中" becomes "q=%D6%D0", which is what the engines expect back.

#include <string>
#include <string_view>

#include "platform/encoding/labels.h"

namespace docseek::url {

// The encoding URL queries are written in on a page of this encoding (the URL
// standard's "output encoding": UTF-8 for UTF-16 and unknown names).
const encoding::Encoding& QueryEncoding(std::string_view page_encoding);

// Appends `utf8` encoded in `encoding` to `out`, percent-encoding every byte of
// the result (for the non-ASCII runs of a URL query). A character the encoding
// cannot represent is written as "%26%23<decimal>%3B", as the URL standard says.
void AppendPercentEncodedIn(std::string_view utf8, const encoding::Encoding& encoding,
                            std::string& out);

}  // namespace docseek::url
