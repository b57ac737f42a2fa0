#include "routes.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "byte_range.h"
#include "synthetic.h"

namespace docseek::engine {
namespace {

using Handler = Response (*)(const Request&, const Router&);

// A fixture file as a response.
std::optional<Response> file_response(const PagesDir& pages, std::string_view relative) {
  PagesDir::File file = pages.read(relative);
  switch (file.status) {
    case PagesDir::Status::kFound: {
      Response r;
      r.content_type = content_type_for(relative);
      r.body = std::move(file.content);
      return r;
    }
    case PagesDir::Status::kForbidden:
      return error_response(403);
    case PagesDir::Status::kUnreadable:
      return error_response(500);
    case PagesDir::Status::kMissing:
      break;
  }
  return std::nullopt;
}

// A type names a fixture only if it is a plain file name in the pages directory itself.
bool is_fixture_name(std::string_view type) {
  return !type.empty() && type.front() != '.' && type.find('/') == std::string_view::npos &&
         type.find('\0') == std::string_view::npos;
}

std::optional<int> parse_int(std::string_view text) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

Response result_page(const Request& req, const Router& router) {
  const std::string_view query = find_param(req.params, "query").value_or("");
  if (router.pages()) {
    const SearchTerms terms = split_query(query);
    if (is_fixture_name(terms.type)) {
      if (auto r = file_response(*router.pages(), terms.type + ".html")) return std::move(*r);
    }
  }
  Response r;
  r.content_type = "text/html; charset=utf-8";
  r.body = render_result_page(query, hit_count(find_param(req.params, "num")));
  return r;
}

Response serve_web(const Request& req, const Router& router) {
  Response r = result_page(req, router);
  // Like the real engine, a first visit gets a session cookie, which later queries send back.
  if (!req.header("Cookie")) {
    r.headers.emplace_back("Set-Cookie",
                           "SUID=" + std::to_string(router.next_session()) + "; path=/");
  }
  return r;
}

Response serve_status(const Request& req, const Router&) {
  const auto status =
      parse_int(std::string_view(req.path).substr(std::string_view("/status/").size()));
  if (!status || *status < 200 || *status > 599) return error_response(400);
  return error_response(*status);
}

Response serve_redirect(const Request& req, const Router&) {
  const auto to = find_param(req.params, "to");
  // A line break in the target would let the request write its own header fields.
  if (!to || to->empty() || to->find_first_of("\r\n") != std::string_view::npos ||
      to->find('\0') != std::string_view::npos) {
    return error_response(400);
  }
  int status = 302;
  if (const auto asked = find_param(req.params, "status")) {
    const auto code = parse_int(*asked);
    if (!code || (*code != 301 && *code != 302 && *code != 307 && *code != 308)) {
      return error_response(400);
    }
    status = *code;
  }
  Response r = error_response(status);
  r.headers.emplace_back("Location", std::string(*to));
  return r;
}

Response serve_slow(const Request& req, const Router&) {
  const auto ms = parse_int(find_param(req.params, "ms").value_or(""));
  if (!ms || *ms < 0) return error_response(400);
  Response r;
  r.content_type = "text/html; charset=utf-8";
  r.body =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>slow</title></head>"
      "<body><p id=\"slow\">" +
      std::to_string(*ms) + "</p></body></html>\n";
  r.delay = std::min(std::chrono::milliseconds(*ms), kMaxDelay);
  return r;
}

Response serve_fixture(const Request& req, const Router& router) {
  if (router.pages()) {
    if (auto r = file_response(*router.pages(), req.path)) return apply_byte_range(req, *r);
  }
  return error_response(404);
}

struct Route {
  std::string_view path;
  bool prefix;  // matches every path that starts with `path`
  Handler handler;
};

constexpr Route kRoutes[] = {
    {"/web", false, &serve_web},
    {"/status/", true, &serve_status},
    {"/redirect", false, &serve_redirect},
    {"/slow", false, &serve_slow},
};

}  // namespace

Response Router::handle(const Request& request) const {
  if (request.method != "GET" && request.method != "HEAD") {
    Response r = error_response(405);
    r.headers.emplace_back("Allow", "GET, HEAD");
    r.close = true;  // whatever follows (a body, a tunnelled handshake) is not a request
    return r;
  }
  for (const Route& route : kRoutes) {
    const bool match =
        route.prefix ? request.path.starts_with(route.path) : request.path == route.path;
    if (match) return route.handler(request, *this);
  }
  return serve_fixture(request, *this);
}

}  // namespace docseek::engine
