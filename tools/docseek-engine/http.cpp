// SPDX-License-Identifier: MIT
#include "http.h"

#include <cctype>

namespace docseek::engine {
namespace {

bool IsTokenChar(unsigned char c) {
  if (std::isalnum(c)) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

bool IsToken(std::string_view s) {
  if (s.empty()) return false;
  for (unsigned char c : s) {
    if (!IsTokenChar(c)) return false;
  }
  return true;
}

// Visible ASCII and any byte above it: sloppy clients send raw UTF-8, which costs nothing to
// accept; spaces and control characters can only be a broken request line.
bool IsTarget(std::string_view s) {
  for (unsigned char c : s) {
    if (c <= 0x20 || c == 0x7f) return false;
  }
  return !s.empty();
}

bool IsFieldValue(std::string_view s) {
  for (unsigned char c : s) {
    if ((c < 0x20 && c != '\t') || c == 0x7f) return false;
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Calls fn(line) for each line of the head, line ends removed, until fn returns false.
template <typename Fn>
void ForEachLine(std::string_view head, Fn fn) {
  while (!head.empty()) {
    const auto nl = head.find('\n');
    std::string_view line = head.substr(0, nl);
    head = nl == std::string_view::npos ? std::string_view{} : head.substr(nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!fn(line)) return;
  }
}

bool HasToken(std::string_view list, std::string_view token) {
  while (!list.empty()) {
    const auto comma = list.find(',');
    if (Iequals(Trim(list.substr(0, comma)), token)) return true;
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return false;
}

// Status of a bad request line, 0 when it is good; fills what it could read.
int ParseRequestLine(std::string_view line, Request& req) {
  const auto sp1 = line.find(' ');
  if (sp1 == std::string_view::npos) return 400;
  const auto sp2 = line.find(' ', sp1 + 1);
  if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos) {
    return 400;
  }
  const std::string_view method = line.substr(0, sp1);
  const std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
  const std::string_view version = line.substr(sp2 + 1);
  if (!IsToken(method) || !IsTarget(target)) return 400;
  req.method = std::string(method);
  req.target = std::string(target);
  if (version != "HTTP/1.1" && version != "HTTP/1.0") {
    const bool well_formed = version.size() == 8 && version.substr(0, 5) == "HTTP/" &&
                             std::isdigit(static_cast<unsigned char>(version[5])) &&
                             version[6] == '.' &&
                             std::isdigit(static_cast<unsigned char>(version[7]));
    return well_formed ? 505 : 400;
  }
  req.version = std::string(version);
  const auto split = SplitTarget(target);
  // CONNECT names host:port instead of a path; it is answered like any unserved method.
  if (!split) return req.method == "CONNECT" ? 0 : 400;
  req.path = PercentDecode(split->path, false);
  if (req.path.find('\0') != std::string::npos) return 400;
  req.params = ParseQuery(split->query);
  return 0;
}

// Status of a bad field section, 0 when it is good.
int ParseFields(std::string_view head, Request& req) {
  int error = 0;
  bool request_line_seen = false;
  ForEachLine(head, [&](std::string_view line) {
    if (!request_line_seen) {
      request_line_seen = !line.empty();  // leading empty lines are ignored
      return true;
    }
    if (line.empty()) return false;
    if (line.front() == ' ' || line.front() == '\t') {  // obsolete line folding
      error = 400;
      return false;
    }
    const auto colon = line.find(':');
    if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) {
      error = 400;
      return false;
    }
    const std::string_view value = Trim(line.substr(colon + 1));
    if (!IsFieldValue(value)) {
      error = 400;
      return false;
    }
    if (req.headers.size() == kMaxHeaderFields) {
      error = 431;
      return false;
    }
    req.headers.emplace_back(std::string(line.substr(0, colon)), std::string(value));
    return true;
  });
  return error;
}

int CheckFraming(Request& req) {
  std::optional<std::string_view> length;
  for (const auto& [name, value] : req.headers) {
    if (Iequals(name, "Transfer-Encoding")) req.has_body = true;
    if (!Iequals(name, "Content-Length")) continue;
    if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos) return 400;
    if (length && *length != value) return 400;
    length = value;
    if (value.find_first_not_of('0') != std::string::npos) req.has_body = true;
  }
  const auto connection = req.Header("Connection").value_or("");
  req.keep_alive = req.version == "HTTP/1.1" ? !HasToken(connection, "close")
                                             : HasToken(connection, "keep-alive");
  return 0;
}

}  // namespace

std::optional<std::string_view> Request::Header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (Iequals(key, name)) return std::string_view(value);
  }
  return std::nullopt;
}

std::optional<std::size_t> FindHeadEnd(std::string_view buffer) {
  std::size_t pos = 0;
  bool seen_line = false;
  while (true) {
    const auto nl = buffer.find('\n', pos);
    if (nl == std::string_view::npos) return std::nullopt;
    std::string_view line = buffer.substr(pos, nl - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos = nl + 1;
    if (!line.empty()) {
      seen_line = true;
    } else if (seen_line) {
      return pos;
    }
  }
}

ParsedHead ParseRequestHead(std::string_view head) {
  ParsedHead out;
  if (head.size() > kMaxHeadBytes) {
    out.error = 431;
    return out;
  }
  std::string_view request_line;
  ForEachLine(head, [&](std::string_view line) {
    request_line = line;
    return line.empty();
  });
  if (request_line.empty()) {
    out.error = 400;
    return out;
  }
  out.error = ParseRequestLine(request_line, out.request);
  if (out.error == 0) out.error = ParseFields(head, out.request);
  if (out.error == 0) out.error = CheckFraming(out.request);
  return out;
}

std::string_view ReasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 204:
      return "No Content";
    case 206:
      return "Partial Content";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 303:
      return "See Other";
    case 304:
      return "Not Modified";
    case 307:
      return "Temporary Redirect";
    case 308:
      return "Permanent Redirect";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 408:
      return "Request Timeout";
    case 416:
      return "Range Not Satisfiable";
    case 429:
      return "Too Many Requests";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    case 501:
      return "Not Implemented";
    case 502:
      return "Bad Gateway";
    case 503:
      return "Service Unavailable";
    case 504:
      return "Gateway Timeout";
    case 505:
      return "HTTP Version Not Supported";
    default:
      return "Status";
  }
}

Response ErrorResponse(int status) {
  Response r;
  r.status = status;
  r.content_type = "text/html; charset=utf-8";
  const std::string line = std::to_string(status) + " " + std::string(ReasonPhrase(status));
  r.body = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + line +
           "</title></head><body><h1>" + line + "</h1></body></html>\n";
  return r;
}

std::string SerializeResponse(const Response& response, bool head_only, bool keep_alive) {
  const bool bodiless = response.status == 204 || response.status == 304;
  std::string out = "HTTP/1.1 " + std::to_string(response.status) + " " +
                    std::string(ReasonPhrase(response.status)) + "\r\n";
  out += "Server: docseek-engine\r\n";
  if (!response.content_type.empty()) out += "Content-Type: " + response.content_type + "\r\n";
  for (const auto& [name, value] : response.headers) out += name + ": " + value + "\r\n";
  if (!bodiless) out += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
  out += keep_alive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
  out += "\r\n";
  if (!head_only && !bodiless) out += response.body;
  return out;
}

}  // namespace docseek::engine
