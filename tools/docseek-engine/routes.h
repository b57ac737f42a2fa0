// SPDX-License-Identifier: MIT
// What the engine answers to a well-formed request.
//
// Requests go through a table of routes, the first match wins, and everything that matches no
// route is looked up among the fixture pages. A new fault mode is one more row and handler.
//
//   /web?query=Q&num=N   the result page for Q: DIR/TYPE.html when --pages has one for Q's
//                        type, else the synthetic page with HitCount(N) hits; a request
//                        without cookies gets a session cookie SUID=<n>, n counting from 1
//   /status/NNN          answers status NNN (200-599) with a small HTML body
//   /redirect?to=URL     302 to URL; &status=301, 307 or 308 for that status instead
//   /slow?ms=N           a small page held back N ms (at most kMaxDelay)
//   /fault/NAME          fault NAME (faults.h); /web queries for type NAME get it too
//   anything else        DIR/PATH from --pages, 404 when there is none
//
// Only GET and HEAD are served; other methods get 405.
#ifndef DOCSEEK_ENGINE_ROUTES_H
#define DOCSEEK_ENGINE_ROUTES_H

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "faults.h"
#include "http.h"
#include "pages_dir.h"

namespace docseek::engine {

inline constexpr std::chrono::milliseconds kMaxDelay{60'000};

class Router {
 public:
  explicit Router(std::optional<PagesDir> pages) : pages_(std::move(pages)) {}
  // Where the faults that point elsewhere lead: the engine's own port and a test's TLS
  // endpoint (0: none).
  void SetPorts(std::uint16_t own, std::uint16_t tls) {
    own_port_ = own;
    tls_port_ = tls;
  }
  void SetLocalFile(std::string path) { local_file_ = std::move(path); }
  const std::string& LocalFile() const { return local_file_; }
  std::uint16_t OwnPort() const { return own_port_; }
  std::uint16_t TlsPort() const { return tls_port_; }
  Response Handle(const Request& request) const;

  // For handlers: the fixture pages, or nullptr without --pages.
  const PagesDir* Pages() const { return pages_ ? &*pages_ : nullptr; }
  // The next session number, for a client that brings no cookie.
  unsigned NextSession() const { return ++sessions_; }

 private:
  std::optional<PagesDir> pages_;
  std::uint16_t own_port_ = 0;
  std::uint16_t tls_port_ = 0;
  std::string local_file_{kDefaultLocalFile};
  mutable unsigned sessions_ = 0;
};

}  // namespace docseek::engine

#endif  // DOCSEEK_ENGINE_ROUTES_H
