// SPDX-License-Identifier: MIT
#pragma once

// Where an address lies, as browsers' private-network protection sees it: on
// this machine, on a private network, or on the public internet. A page may
// lead (by redirect or frame) only to places no more private than where it
// came from, so a page from the internet cannot reach this machine or the
// local network through our browser.

#include <optional>
#include <string_view>

struct sockaddr;

namespace docseek::platform {

// From most to least private.
enum class AddressSpace {
  kLocal,    // loopback, the unspecified address, localhost
  kPrivate,  // 10/8, 172.16/12, 192.168/16, 169.254/16, fe80::/10, fc00::/7
  kPublic,   // everything else
};

// The space of a URL's host as written: IPv4 (any form inet_aton takes),
// IPv6 with or without brackets (IPv4-mapped ones by their IPv4 address),
// "localhost" and names under it. nullopt for any other name, whose space
// only the address it resolves to tells.
std::optional<AddressSpace> HostLiteralSpace(std::string_view host);

// The space of a socket address (AF_INET or AF_INET6; others are public).
AddressSpace SocketAddressSpace(const sockaddr* address);

// The space of the host of an absolute URL, as HostLiteralSpace; nullopt when
// the URL does not parse or names its host.
std::optional<AddressSpace> UrlHostSpace(const char* url);

// Whether the standard proxy variables (as libcurl reads them) name a proxy
// for this URL's scheme. With a proxy, the address connected to is the
// proxy's, so only the host as written can be checked.
bool ProxyConfiguredFor(const char* url);

}  // namespace docseek::platform
