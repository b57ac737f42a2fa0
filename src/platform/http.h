// SPDX-License-Identifier: MIT
#pragma once

// Asynchronous HTTP GET on the caller's thread: libcurl's multi interface
// driven by the GLib main context of the search. No threads. libcurl and GLib
// stay in http.cpp; a client also keeps libcurl's global state set up for as
// long as it lives.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/event_loop.h"
#include "platform/limits.h"

namespace docseek::platform {

struct HttpLimits {
  long timeout_ms = 30000;  // a page can never hold a search forever
  long connect_timeout_ms = 10000;
  long max_redirects = 20;
  std::size_t max_body = kMaxPageBytes;  // after decompression
};

// Why a transfer ended without a response, in the few kinds a user can act on.
enum class HttpErrorKind {
  kNone,
  kRefused,          // nothing accepts connections there (or the proxy)
  kDns,              // the host (or the proxy) has no address
  kTimeout,          // no whole answer in time
  kTls,              // the secure connection failed
  kTooLarge,         // the page exceeds the size limit
  kNotAPage,         // the answer is not HTML or text
  kRefusedRedirect,  // a redirect to a refused scheme, or too many of them
  kOther,
};

struct HttpResult {
  std::string error;  // empty when a response arrived (whatever its status)
  HttpErrorKind kind = HttpErrorKind::kNone;
  long status = 0;
  std::string content_type;
  std::string url;  // the address after redirects
  std::string body;
};

class HttpClient {
 public:
  using Callback = std::function<void(HttpResult)>;

  HttpClient(EventLoop& loop, HttpLimits limits = {});
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // Starts a GET and returns at once; `done` runs later from the event loop
  // (never from inside this call), exactly once unless the transfer is
  // cancelled first. Cookies live as long as this client.
  std::uint64_t Get(const std::string& url, Callback done);
  void CancelAll();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The User-Agent our browser sends: a mainstream desktop browser's, since
// engines serve reduced or different markup to unknown clients.
extern const char kUserAgent[];

}  // namespace docseek::platform
