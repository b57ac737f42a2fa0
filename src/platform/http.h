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
  using HeadersCallback = std::function<void()>;

  HttpClient(EventLoop& loop, HttpLimits limits = {});
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // Starts a GET and returns at once; `done` runs later from the event loop
  // (never from inside this call), exactly once unless the transfer is
  // cancelled first. Cookies live as long as this client. `headers`, when
  // given, runs once from the event loop after the headers of the final
  // response (not of a redirect) have been read, so cookies it sets are
  // stored; it does not run when the transfer fails before that.
  //
  // A permanent redirect (301, 308) or an HSTS header seen by this client is
  // remembered in memory for as long as it lives: a later Get of the same
  // address, or of the same path on a host that moved as a whole, goes
  // straight to where it leads.
  std::uint64_t Get(const std::string& url, Callback done, HeadersCallback headers = {});
  // Drops one transfer; its callbacks never run. Unknown ids are ignored.
  void Cancel(std::uint64_t id);
  void CancelAll();
  // Transfers started and neither finished nor cancelled.
  std::size_t InFlight() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The User-Agent our browser sends: a mainstream desktop browser's, since
// engines serve reduced or different markup to unknown clients.
extern const char kUserAgent[];

}  // namespace docseek::platform
