// SPDX-License-Identifier: MIT
#include "net_rules.h"

#include <arpa/inet.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace docseek::cli {
namespace {

bool IsLocalIpv4(const unsigned char* a) {
  return a[0] == 0 || a[0] == 10 || a[0] == 127 || (a[0] == 100 && (a[1] & 0xC0) == 64) ||
         (a[0] == 169 && a[1] == 254) || (a[0] == 172 && (a[1] & 0xF0) == 16) ||
         (a[0] == 192 && a[1] == 168);
}

std::string Lower(std::string_view text) {
  std::string out;
  for (char c : text) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

const char* Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

bool NoProxyMatches(std::string_view list, std::string_view host) {
  const std::string name = Lower(host);
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    std::string_view item = list.substr(0, comma);
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    while (!item.empty() && std::isspace(static_cast<unsigned char>(item.front()))) {
      item.remove_prefix(1);
    }
    while (!item.empty() && std::isspace(static_cast<unsigned char>(item.back()))) {
      item.remove_suffix(1);
    }
    if (item == "*") return true;
    if (!item.empty() && item.front() == '.') item.remove_prefix(1);
    if (item.empty()) continue;
    const std::string entry = Lower(item);
    if (name == entry) return true;
    if (name.size() > entry.size() && name.ends_with(entry) &&
        name[name.size() - entry.size() - 1] == '.') {
      return true;
    }
  }
  return false;
}

}  // namespace

bool IsLocalAddress(std::string_view literal) {
  if (literal.size() >= 2 && literal.front() == '[' && literal.back() == ']') {
    literal = literal.substr(1, literal.size() - 2);
  }
  const std::string text(literal.substr(0, literal.find('%')));  // drop an IPv6 zone
  unsigned char bytes[16];
  if (inet_pton(AF_INET, text.c_str(), bytes) == 1) return IsLocalIpv4(bytes);
  if (inet_pton(AF_INET6, text.c_str(), bytes) != 1) return false;
  static constexpr unsigned char kZero[16] = {};
  if (std::memcmp(bytes, kZero, 10) == 0) {
    const bool mapped = bytes[10] == 0xFF && bytes[11] == 0xFF;
    const bool compatible = bytes[10] == 0 && bytes[11] == 0;
    // :: and ::1 are "compatible" forms too, of 0.0.0.0 and 0.0.0.1: both local.
    if (mapped || compatible) return IsLocalIpv4(bytes + 12);
  }
  return (bytes[0] == 0xFE && (bytes[1] & 0xC0) == 0x80) || (bytes[0] & 0xFE) == 0xFC;
}

std::optional<std::string> ProxyFor(std::string_view scheme, std::string_view host) {
  const char* no_proxy = Env("no_proxy");
  if (no_proxy == nullptr) no_proxy = Env("NO_PROXY");
  std::string_view bare = host;
  if (bare.size() >= 2 && bare.front() == '[' && bare.back() == ']') {
    bare = bare.substr(1, bare.size() - 2);
  }
  if (no_proxy != nullptr && NoProxyMatches(no_proxy, bare)) return std::nullopt;

  const char* proxy = nullptr;
  const std::string lower = Lower(scheme);
  // Like libcurl, HTTP_PROXY in capitals is not read: a CGI program gets the
  // request's Proxy header under that name.
  if (lower == "http") proxy = Env("http_proxy");
  if (lower == "https") {
    proxy = Env("https_proxy");
    if (proxy == nullptr) proxy = Env("HTTPS_PROXY");
  }
  if (proxy == nullptr) proxy = Env("all_proxy");
  if (proxy == nullptr) proxy = Env("ALL_PROXY");
  if (proxy == nullptr) return std::nullopt;
  return std::string(proxy);
}

}  // namespace docseek::cli
