// SPDX-License-Identifier: MIT
// HTTP/1.x messages as the engine reads and writes them.
#ifndef DOCSEEK_ENGINE_HTTP_H
#define DOCSEEK_ENGINE_HTTP_H

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "url.h"

namespace docseek::engine {

// Bounds that keep one client from holding the engine's memory: a request head larger than
// kMaxHeadBytes or with more than kMaxHeaderFields fields is answered with 431.
inline constexpr std::size_t kMaxHeadBytes = 64 * 1024;
inline constexpr std::size_t kMaxHeaderFields = 100;

using Headers = std::vector<std::pair<std::string, std::string>>;

struct Request {
  std::string method;
  std::string target;  // as sent
  std::string version;
  Headers headers;   // names as sent
  std::string path;  // percent-decoded
  Params params;     // decoded query parameters
  bool keep_alive = false;
  // The request announced a body. The engine never reads bodies, so it closes the connection
  // after answering rather than misread the body as the next request.
  bool has_body = false;

  // Value of the first header field with this name (any letter case).
  std::optional<std::string_view> Header(std::string_view name) const;
};

// Where a request head ends in `buffer`: the offset just past its empty line (CRLF or bare LF
// line ends), or nullopt while the head is incomplete. Empty lines before the request line are
// part of the head, as recipients should ignore them.
std::optional<std::size_t> FindHeadEnd(std::string_view buffer);

// Parses a complete head. On failure `error` holds the status to answer (400, 431 or 505) and
// `request` whatever could be read before the fault, for the request log.
struct ParsedHead {
  Request request;
  int error = 0;
};
ParsedHead ParseRequestHead(std::string_view head);

struct Response {
  int status = 200;
  std::string content_type;  // empty: no Content-Type field
  Headers headers;           // further fields
  std::string body;
  // Hold the response back this long; other connections are served meanwhile.
  std::chrono::milliseconds delay{0};
  bool close = false;  // close the connection after this response
  // Faults: send only this many bytes of the body, then reset the connection.
  std::optional<std::size_t> reset_after;
  // Faults: send one byte per interval.
  std::chrono::milliseconds drip{0};
};

std::string_view ReasonPhrase(int status);

// A response with a small HTML body that names the status.
Response ErrorResponse(int status);

// Status line, fields and (unless head_only) the body. Content-Length always states the full
// body, as a HEAD answer must; 204 and 304 carry neither a body nor a length.
std::string SerializeResponse(const Response& response, bool head_only, bool keep_alive);

}  // namespace docseek::engine

#endif  // DOCSEEK_ENGINE_HTTP_H
