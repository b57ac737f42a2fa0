// SPDX-License-Identifier: MIT
#include "platform/address_space.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/text.h"

namespace docseek::platform {
namespace {

AddressSpace V4Space(std::uint32_t a) {  // host byte order
  const auto in = [a](std::uint32_t net, int bits) {
    return bits == 0 || (a >> (32 - bits)) == (net >> (32 - bits));
  };
  if (in(0x7F000000, 8) || in(0x00000000, 8)) return AddressSpace::kLocal;  // 127/8, 0/8
  if (in(0x0A000000, 8) || in(0xAC100000, 12) || in(0xC0A80000, 16) || in(0xA9FE0000, 16)) {
    return AddressSpace::kPrivate;
  }
  return AddressSpace::kPublic;
}

AddressSpace V6Space(const unsigned char* b) {
  static const unsigned char kZero[16] = {};
  static const unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
  if (std::memcmp(b, kMapped, 12) == 0) {
    return V4Space(std::uint32_t{b[12]} << 24 | std::uint32_t{b[13]} << 16 |
                   std::uint32_t{b[14]} << 8 | b[15]);
  }
  if (std::memcmp(b, kZero, 15) == 0 && (b[15] == 0 || b[15] == 1)) {
    return AddressSpace::kLocal;  // :: and ::1
  }
  if ((b[0] & 0xFE) == 0xFC) return AddressSpace::kPrivate;                  // fc00::/7
  if (b[0] == 0xFE && (b[1] & 0xC0) == 0x80) return AddressSpace::kPrivate;  // fe80::/10
  return AddressSpace::kPublic;
}

}  // namespace

std::optional<AddressSpace> HostLiteralSpace(std::string_view host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  while (!host.empty() && host.back() == '.') host.remove_suffix(1);  // "localhost." too
  if (host.empty()) return std::nullopt;
  std::string h = text::AsciiLowered(host);
  if (const auto zone = h.find('%'); zone != std::string::npos) h.resize(zone);
  if (h == "localhost" || h.ends_with(".localhost")) return AddressSpace::kLocal;
  unsigned char v6[16];
  if (inet_pton(AF_INET6, h.c_str(), v6) == 1) return V6Space(v6);
  in_addr v4{};
  if (h.find_first_not_of("0123456789abcdefx.") == std::string::npos &&
      inet_aton(h.c_str(), &v4) != 0) {
    return V4Space(ntohl(v4.s_addr));
  }
  return std::nullopt;
}

AddressSpace SocketAddressSpace(const sockaddr* address) {
  if (address == nullptr) return AddressSpace::kPublic;
  if (address->sa_family == AF_INET) {
    sockaddr_in in{};
    std::memcpy(&in, address, sizeof in);
    return V4Space(ntohl(in.sin_addr.s_addr));
  }
  if (address->sa_family == AF_INET6) {
    sockaddr_in6 in6{};
    std::memcpy(&in6, address, sizeof in6);
    return V6Space(in6.sin6_addr.s6_addr);
  }
  return AddressSpace::kPublic;
}

std::optional<AddressSpace> UrlHostSpace(const char* url) {
  if (url == nullptr) return std::nullopt;
  CURLU* parsed = curl_url();
  if (parsed == nullptr) return std::nullopt;
  std::optional<AddressSpace> space;
  char* host = nullptr;
  if (curl_url_set(parsed, CURLUPART_URL, url, 0) == CURLUE_OK &&
      curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK && host != nullptr) {
    space = HostLiteralSpace(host);
  }
  curl_free(host);
  curl_url_cleanup(parsed);
  return space;
}

bool ProxyConfiguredFor(const char* url) {
  const auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
  };
  const std::string_view u = url != nullptr ? url : "";
  // libcurl reads http_proxy in lower case only; the others in either case.
  if (text::AsciiLowered(u.substr(0, 7)) == "http://" && set("http_proxy")) return true;
  if (text::AsciiLowered(u.substr(0, 8)) == "https://" &&
      (set("https_proxy") || set("HTTPS_PROXY"))) {
    return true;
  }
  return set("all_proxy") || set("ALL_PROXY");
}

}  // namespace docseek::platform
