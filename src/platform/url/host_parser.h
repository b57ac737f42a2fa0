// SPDX-License-Identifier: MIT
#pragma once

// Hosts of URLs as browsers parse them: domains (international names to
// ASCII), IPv4 addresses in all their historical number forms, IPv6
// addresses, and the opaque hosts of non-special schemes.
// https://url.spec.whatwg.org/#hosts-(domains-and-ip-addresses)

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace docseek::platform::url {

struct Host {
  enum class Kind { kDomain, kIpv4, kIpv6, kOpaque, kEmpty };

  Kind kind = Kind::kEmpty;
  std::string name;  // kDomain: ASCII, lower case; kOpaque: percent-encoded
  std::uint32_t ipv4 = 0;
  std::array<std::uint16_t, 8> ipv6{};

  // "example.com", "192.0.2.1", "[2001:db8::1]", "" for the empty host.
  std::string Serialize() const;
  bool operator==(const Host&) const = default;
};

// https://url.spec.whatwg.org/#concept-host-parser
// `input` is UTF-8 (still percent-encoded); `is_opaque` for hosts of
// non-special schemes. nullopt when it is not a valid host.
std::optional<Host> ParseHost(std::string_view input, bool is_opaque);

// https://url.spec.whatwg.org/#concept-domain-to-ascii (not strict).
std::optional<std::string> DomainToAscii(std::string_view domain);

// https://url.spec.whatwg.org/#concept-ipv4-parser, for "ends in a number" hosts.
std::optional<std::uint32_t> ParseIpv4(std::string_view input);
// https://url.spec.whatwg.org/#concept-ipv6-parser, without the brackets.
std::optional<std::array<std::uint16_t, 8>> ParseIpv6(std::string_view input);

}  // namespace docseek::platform::url
