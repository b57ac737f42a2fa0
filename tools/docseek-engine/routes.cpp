// SPDX-License-Identifier: MIT
#include "routes.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "byte_range.h"
#include "faults.h"
#include "synthetic.h"

namespace docseek::engine {
namespace {

using Handler = Response (*)(const Request&, const Router&);

// A fixture file as a response.
std::optional<Response> FileResponse(const PagesDir& pages, std::string_view relative) {
  PagesDir::File file = pages.Read(relative);
  switch (file.status) {
    case PagesDir::Status::kFound: {
      Response r;
      r.content_type = ContentTypeFor(relative);
      r.body = std::move(file.content);
      return r;
    }
    case PagesDir::Status::kForbidden:
      return ErrorResponse(403);
    case PagesDir::Status::kUnreadable:
      return ErrorResponse(500);
    case PagesDir::Status::kMissing:
      break;
  }
  return std::nullopt;
}

// DIR/TYPE.redirect sends that type's query to the address the file holds,
// so that each type of one search can meet a failure of its own.
std::optional<Response> RedirectFixture(const PagesDir& pages, std::string_view relative) {
  PagesDir::File file = pages.Read(relative);
  if (file.status != PagesDir::Status::kFound) return std::nullopt;
  std::string_view to = file.content;
  to = to.substr(0, to.find_first_of("\r\n"));
  if (to.empty() || to.find('\0') != std::string_view::npos) return ErrorResponse(500);
  Response r = ErrorResponse(302);
  r.headers.emplace_back("Location", std::string(to));
  return r;
}

// A type names a fixture only if it is a plain file name in the pages directory itself.
bool IsFixtureName(std::string_view type) {
  return !type.empty() && type.front() != '.' && type.find('/') == std::string_view::npos &&
         type.find('\0') == std::string_view::npos;
}

std::optional<int> ParseInt(std::string_view text) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

FaultContext FaultContextFor(const Request& req, const Router& router) {
  FaultContext context;
  context.query = FindParam(req.params, "query").value_or("");
  context.hits = HitCount(FindParam(req.params, "num"));
  context.own_port = router.OwnPort();
  context.tls_port = router.TlsPort();
  context.local_file = router.LocalFile();
  return context;
}

// Like the real engine, a first visit gets a session cookie, which later queries send back.
Response WithSession(Response r, const Request& req, const Router& router) {
  if (!req.Header("Cookie")) {
    r.headers.emplace_back("Set-Cookie",
                           "SUID=" + std::to_string(router.NextSession()) + "; path=/");
  }
  return r;
}

Response ServeWeb(const Request& req, const Router& router) {
  const std::string_view query = FindParam(req.params, "query").value_or("");
  const SearchTerms terms = SplitQuery(query);
  if (router.Pages()) {
    if (IsFixtureName(terms.type)) {
      if (auto r = FileResponse(*router.Pages(), terms.type + ".html")) {
        return WithSession(std::move(*r), req, router);
      }
      if (auto r = RedirectFixture(*router.Pages(), terms.type + ".redirect")) return std::move(*r);
    }
  }
  if (auto r = FaultResponse(terms.type, FaultContextFor(req, router))) return std::move(*r);
  Response r;
  r.content_type = "text/html; charset=utf-8";
  r.body = RenderResultPage(query, HitCount(FindParam(req.params, "num")));
  return WithSession(std::move(r), req, router);
}

Response ServeFault(const Request& req, const Router& router) {
  const std::string_view name =
      std::string_view(req.path).substr(std::string_view("/fault/").size());
  if (auto r = FaultResponse(name, FaultContextFor(req, router))) return std::move(*r);
  return ErrorResponse(404);
}

Response ServeStatus(const Request& req, const Router&) {
  const auto status =
      ParseInt(std::string_view(req.path).substr(std::string_view("/status/").size()));
  if (!status || *status < 200 || *status > 599) return ErrorResponse(400);
  return ErrorResponse(*status);
}

Response ServeRedirect(const Request& req, const Router&) {
  const auto to = FindParam(req.params, "to");
  // A line break in the target would let the request write its own header fields.
  if (!to || to->empty() || to->find_first_of("\r\n") != std::string_view::npos ||
      to->find('\0') != std::string_view::npos) {
    return ErrorResponse(400);
  }
  int status = 302;
  if (const auto asked = FindParam(req.params, "status")) {
    const auto code = ParseInt(*asked);
    if (!code || (*code != 301 && *code != 302 && *code != 307 && *code != 308)) {
      return ErrorResponse(400);
    }
    status = *code;
  }
  Response r = ErrorResponse(status);
  r.headers.emplace_back("Location", std::string(*to));
  return r;
}

Response ServeSlow(const Request& req, const Router&) {
  const auto ms = ParseInt(FindParam(req.params, "ms").value_or(""));
  if (!ms || *ms < 0) return ErrorResponse(400);
  Response r;
  r.content_type = "text/html; charset=utf-8";
  r.body =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>slow</title></head>"
      "<body><p id=\"slow\">" +
      std::to_string(*ms) + "</p></body></html>\n";
  r.delay = std::min(std::chrono::milliseconds(*ms), kMaxDelay);
  return r;
}

Response ServeFixture(const Request& req, const Router& router) {
  if (router.Pages()) {
    if (auto r = FileResponse(*router.Pages(), req.path)) return ApplyByteRange(req, *r);
  }
  return ErrorResponse(404);
}

struct Route {
  std::string_view path;
  bool prefix;  // matches every path that starts with `path`
  Handler handler;
};

constexpr Route kRoutes[] = {
    {"/web", false, &ServeWeb},           {"/status/", true, &ServeStatus},
    {"/redirect", false, &ServeRedirect}, {"/slow", false, &ServeSlow},
    {"/fault/", true, &ServeFault},
};

}  // namespace

Response Router::Handle(const Request& request) const {
  if (request.method != "GET" && request.method != "HEAD") {
    Response r = ErrorResponse(405);
    r.headers.emplace_back("Allow", "GET, HEAD");
    r.close = true;  // whatever follows (a body, a tunnelled handshake) is not a request
    return r;
  }
  for (const Route& route : kRoutes) {
    const bool match =
        route.prefix ? request.path.starts_with(route.path) : request.path == route.path;
    if (match) return route.handler(request, *this);
  }
  return ServeFixture(request, *this);
}

}  // namespace docseek::engine
