// SPDX-License-Identifier: MIT
// Range requests on fixture files, so that clients can resume a download.
#ifndef DOCSEEK_ENGINE_BYTE_RANGE_H
#define DOCSEEK_ENGINE_BYTE_RANGE_H

#include "http.h"

namespace docseek::engine {

// A 200 answer cut to the one byte range the request asks for ("bytes=A-B", "bytes=A-" or
// "bytes=-N"): 206 with Content-Range, or 416 with "Content-Range: bytes */LENGTH" when the range
// starts past the end. Other answers, requests without a Range field and ranges this does not
// read (several ranges, other units) are left whole, as a server may. A 200 answer gains
// "Accept-Ranges: bytes".
Response ApplyByteRange(const Request& request, Response response);

}  // namespace docseek::engine

#endif  // DOCSEEK_ENGINE_BYTE_RANGE_H
