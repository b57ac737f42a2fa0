// SPDX-License-Identifier: MIT
// Blocking HTTP for tests, to 127.0.0.1 only: through libcurl for well-formed requests, and
// through a raw socket for the bytes no well-behaved client would send.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace docseek::test {

struct HttpOptions {
  // "http://127.0.0.1:PORT" to send the request through a proxy (the URL may then name any
  // host, which is never resolved); empty for a direct request. Proxy settings in the
  // environment are always ignored.
  std::string proxy;
  bool head = false;
  bool path_as_is = false;           // send "/../" and "/./" as written
  std::vector<std::string> headers;  // extra "Name: value" lines
  std::chrono::milliseconds timeout{10'000};
};

struct HttpResponse {
  long status = 0;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;  // of the final response
  // Value of the first field with this name (any letter case).
  std::optional<std::string> header(std::string_view name) const;
};

// Throws std::invalid_argument when the request would leave 127.0.0.1, and std::runtime_error
// when the transfer fails. Redirects are not followed.
HttpResponse http_get(const std::string& url, const HttpOptions& options = {});

// A plain TCP connection to 127.0.0.1, closed when it goes out of scope.
class RawConnection {
 public:
  explicit RawConnection(std::uint16_t port);  // throws std::runtime_error
  ~RawConnection();
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  // False when the peer has gone.
  bool send(std::string_view bytes);
  // Everything received until the peer closes or `timeout` passes.
  std::string read_until_close(std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // True when the peer has closed (or reset) the connection, waiting at most `timeout`.
  bool closed_by_peer(std::chrono::milliseconds timeout);

 private:
  int fd_ = -1;
};

// Sends `bytes` on a fresh connection and returns all that comes back until the engine closes.
std::string raw_exchange(std::uint16_t port, std::string_view bytes,
                         std::chrono::milliseconds timeout = std::chrono::seconds(5));

}  // namespace docseek::test
