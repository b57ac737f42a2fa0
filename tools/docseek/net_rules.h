// SPDX-License-Identifier: MIT
// Which links the downloader may fetch, and how: the scheme, the proxy that
// libcurl's environment variables choose, and the addresses that are refused
// unless a proxy stands in between.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace docseek::cli {

// True for addresses on this machine or its local networks: IPv4 0/8,
// loopback 127/8, private 10/8, 172.16/12, 192.168/16, shared 100.64/10 and
// link-local 169.254/16; IPv6 unspecified ::, loopback ::1, link-local
// fe80::/10, unique-local fc00::/7, and IPv4-mapped or IPv4-compatible forms
// of the IPv4 ones. `literal` is a numeric address (IPv6 with or without
// brackets); anything else (a host name) gives false.
bool IsLocalAddress(std::string_view literal);

// The proxy libcurl would use for a link with this scheme and host, read from
// the environment as libcurl reads it: http_proxy (lower case only) for http,
// https_proxy or HTTPS_PROXY for https, else all_proxy or ALL_PROXY; none when
// no_proxy or NO_PROXY is "*" or lists the host or one of its parent domains
// (a leading dot allowed) or the numeric host itself. nullopt: connect
// directly.
std::optional<std::string> ProxyFor(std::string_view scheme, std::string_view host);

}  // namespace docseek::cli
