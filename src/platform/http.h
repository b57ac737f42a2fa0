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
#include <optional>
#include <string>

#include "platform/address_space.h"
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

// What one GET may reach and how long it may take.
struct GetOptions {
  // The space of the page that asked for this one (a frame's parent): the
  // transfer, redirects included, may reach no more private space. Unset for
  // a page we navigate to ourselves; its redirects may still not go to a more
  // private space than the addresses it came through.
  std::optional<AddressSpace> initiator;
  long timeout_ms = 0;  // > 0: shorter than the client's limit
};

struct HttpResult {
  std::string error;  // empty when a response arrived (whatever its status)
  HttpErrorKind kind = HttpErrorKind::kNone;
  // The least private space the transfer came through: what the page it
  // loaded may lead to. Set whether it succeeded or not.
  AddressSpace space = AddressSpace::kPublic;
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
  // cancelled first. Cookies live as long as this client.
  //
  // Redirects and connections into a more private address space than the
  // one the page came from are refused (see address_space.h). Without a
  // proxy for a hop's scheme, the address connected to is checked; with one,
  // the host as written.
  //
  // `headers`, when given, runs once from the event loop after the headers of
  // the final response (not of a redirect) have been read, so cookies it sets
  // are stored; it does not run when the transfer fails before that.
  //
  // A permanent redirect (301, 308) or an HSTS header seen by this client is
  // remembered in memory for as long as it lives: a later Get of the same
  // address, or of the same path on a host that moved as a whole, goes
  // straight to where it leads.
  std::uint64_t Get(const std::string& url, Callback done, GetOptions options = {},
                    HeadersCallback headers = {});
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
