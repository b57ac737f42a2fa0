// SPDX-License-Identifier: MIT
#pragma once

// URLs as browsers parse and write them: the basic URL parser (one state
// per step of the standard, special and non-special schemes, file: URLs,
// opaque paths) and the serializer. The parser is total over any UTF-8
// input: it either gives a URL or says the input is not one.
// https://url.spec.whatwg.org/#url-parsing

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/url/host_parser.h"

namespace docseek::platform::url {

// Writes one code point of a query in the page's encoding: appends its bytes
// to `out` and returns true, or returns false (appending nothing) when the
// encoding cannot represent it; the parser then writes "&#N;" percent-encoded
// as browsers do. An empty encoder means UTF-8.
using QueryEncoder = std::function<bool(char32_t code_point, std::string& out)>;

// https://url.spec.whatwg.org/#concept-url
struct Url {
  std::string scheme;    // lower case, without ':'
  std::string username;  // percent-encoded
  std::string password;  // percent-encoded
  std::optional<Host> host;
  std::optional<std::uint16_t> port;  // never the scheme's default port
  // Path segments (percent-encoded); with an opaque path ("mailto:x") the
  // single element is the whole path.
  std::vector<std::string> path;
  bool has_opaque_path = false;
  std::optional<std::string> query;     // without '?'
  std::optional<std::string> fragment;  // without '#'

  bool IsSpecial() const;
  // https://url.spec.whatwg.org/#concept-url-serializer
  std::string Serialize(bool exclude_fragment = false) const;
  // https://url.spec.whatwg.org/#url-path-serializer
  std::string SerializePath() const;
};

// http, https, ws, wss, ftp and file.
bool IsSpecialScheme(std::string_view scheme);
// 80, 443, 21 for the special schemes that have one.
std::optional<std::uint16_t> DefaultPort(std::string_view scheme);

// https://url.spec.whatwg.org/#concept-basic-url-parser (without state
// override). `input` is UTF-8 (invalid sequences read as U+FFFD); `base`
// resolves relative input; `query_encoder` is the page's encoding for the
// query of special, non-WebSocket URLs. nullopt: not a URL.
std::optional<Url> ParseUrl(std::string_view input, const Url* base = nullptr,
                            const QueryEncoder& query_encoder = {});

}  // namespace docseek::platform::url
