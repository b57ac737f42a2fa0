// SPDX-License-Identifier: MIT
#pragma once

// Resolving href/src values as the WHATWG URL parser does, on top of
// libcurl's URL API, which does the parsing proper, relative resolution, dot
// segments, default ports and IPv4 forms. This part adds what curl does
// differently or not at all:
//   - C0-control-or-space trimmed, tab/LF/CR removed, '\' as '/' in special URLs;
//   - percent-encoding of path, query and fragment with the standard's sets
//     (percent_encode.h), the query of a special URL in the page's encoding
//     (gbk_query.h);
//   - host names lower-cased, international names to punycode with libidn2
//     (UTS #46 non-transitional; curl's own IDN path depends on the process
//     locale and fails under "C");
//   - "#frag" and "" relative to the base (curl drops the last path segment);
//   - URLs with opaque paths ("javascript:...", "mailto:...") serialized here;
//   - missing or extra slashes after a special scheme ("http:/x", "http:///x").
// Inputs the standard accepts but curl refuses (a host with '!', say) count as
// unparsable.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct Curl_URL;  // libcurl's CURLU, kept out of this header

namespace docseek::url {

class UrlResolver {
 public:
  // `page_encoding` is the document's encoding name (Decoded::encoding).
  explicit UrlResolver(std::string_view page_encoding);
  ~UrlResolver();
  UrlResolver(const UrlResolver&) = delete;
  UrlResolver& operator=(const UrlResolver&) = delete;

  // Resolves `input` against the current base and makes the result the base.
  // Returns false (and keeps the old base) when it does not parse.
  bool SetBase(std::string_view input);

  // The absolute URL `input` names relative to the base, serialized; nullopt
  // when it does not parse (or is relative and there is no base).
  std::optional<std::string> Resolve(std::string_view input) const;

  // Scheme of an absolute serialized URL ("http"), lower case.
  static std::string_view SchemeOf(std::string_view url);

  struct HandleDeleter {
    void operator()(Curl_URL* handle) const;
  };
  using Handle = std::unique_ptr<Curl_URL, HandleDeleter>;

 private:
  std::optional<std::string> ResolveCleaned(std::string input) const;
  std::optional<std::string> ResolveSpecial(const std::string& scheme, std::string_view rest) const;
  std::optional<std::string> ResolveRelative(std::string_view input) const;

  std::string encoding_;  // page encoding name
  std::string base_;      // serialized absolute URL, or ""
  std::string base_scheme_;
  bool base_opaque_ = false;  // base has an opaque path (no relative resolution)
  Handle base_handle_;
};

}  // namespace docseek::url
