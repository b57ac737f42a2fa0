// SPDX-License-Identifier: MIT
// The request log: one JSON object per line, one line per answered request, written as soon as
// the answer is decided so that a test reading the log after its response finds the line.
//
// Fields: method, target (as sent), path (decoded), query (decoded value of the `query`
// parameter), num (the `num` parameter's text, not interpreted), params (every decoded
// parameter in order; a repeated name appears repeatedly), host, user_agent, cookie (the Cookie
// field as sent), status, connection (1 for the first connection the engine accepted, 0 when
// unknown). A field the request did not carry, or that a malformed request never reached, is
// null.
//
// Strings are UTF-8. Decoded values may hold any byte: control characters are written as
// \u00XX, and each byte that is not part of valid UTF-8 becomes U+FFFD.
#ifndef DOCSEEK_ENGINE_REQUEST_LOG_H
#define DOCSEEK_ENGINE_REQUEST_LOG_H

#include <cstdint>
#include <string>
#include <string_view>

#include "http.h"

namespace docseek::engine {

// `text` as a JSON string literal, quotes included.
std::string JsonString(std::string_view text);

// The log line for a request (possibly only partly parsed) and the status it got, without the
// line end.
std::string LogLine(const Request& request, int status, std::uint64_t connection = 0);

class RequestLog {
 public:
  RequestLog() = default;
  ~RequestLog();
  RequestLog(const RequestLog&) = delete;
  RequestLog& operator=(const RequestLog&) = delete;

  // Appends to `path`, creating it. False, with the reason in *error, when it cannot.
  bool Open(const std::string& path, std::string* error);
  // Writes one line; does nothing when no log was opened.
  void Write(const Request& request, int status, std::uint64_t connection = 0);

 private:
  int fd_ = -1;
};

}  // namespace docseek::engine

#endif  // DOCSEEK_ENGINE_REQUEST_LOG_H
