// SPDX-License-Identifier: MIT
#include "platform/url/resolver.h"

#include <curl/curl.h>
#include <idn2.h>

#include <cstdint>

#include "platform/text.h"
#include "platform/url/gbk_query.h"
#include "platform/url/percent_encode.h"

namespace docseek::url {
namespace {

using text::AsciiLower;
using text::IsAsciiAlpha;
using text::IsAsciiDigit;

bool IsSpecialScheme(std::string_view s) {
  return s == "http" || s == "https" || s == "ftp" || s == "ws" || s == "wss" || s == "file";
}

// A query: ASCII by the set, non-ASCII runs in the page's encoding.
void AppendQuery(std::string_view s, bool special, const encoding::Encoding& encoding,
                 std::string& out) {
  const EncodeSet set = special ? EncodeSet::kSpecialQuery : EncodeSet::kQuery;
  size_t i = 0;
  while (i < s.size()) {
    size_t j = i;
    while (j < s.size() && static_cast<unsigned char>(s[j]) < 0x80) ++j;
    AppendPercentEncoded(s.substr(i, j - i), set, out);
    i = j;
    while (j < s.size() && static_cast<unsigned char>(s[j]) >= 0x80) ++j;
    if (j > i) {
      if (special) {
        AppendPercentEncodedIn(s.substr(i, j - i), encoding, out);
      } else {
        AppendPercentEncoded(s.substr(i, j - i), set, out);
      }
    }
    i = j;
  }
}

// A special URL's host: percent-decoded, lower-cased, punycode for non-ASCII.
std::optional<std::string> DomainToAscii(std::string_view host) {
  std::string decoded = PercentDecode(host);
  bool ascii = true;
  for (char& c : decoded) {
    if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
    c = AsciiLower(c);
  }
  if (ascii) return decoded;
  uint8_t* out = nullptr;
  const int rc = idn2_lookup_u8(reinterpret_cast<const uint8_t*>(decoded.c_str()), &out,
                                IDN2_NONTRANSITIONAL | IDN2_NFC_INPUT);
  if (rc != IDN2_OK || !out) {
    if (out) idn2_free(out);
    return std::nullopt;
  }
  std::string result(reinterpret_cast<const char*>(out));
  idn2_free(out);
  return result;
}

// Appends an authority ("user:pass@host:port") with the standard's encoding;
// false when a special URL's host is empty or invalid.
bool AppendAuthority(std::string_view auth, bool special, std::string& out) {
  const size_t at = auth.rfind('@');
  if (at != std::string_view::npos) {
    const std::string_view userinfo = auth.substr(0, at);
    const size_t colon = userinfo.find(':');
    AppendPercentEncoded(userinfo.substr(0, colon), EncodeSet::kUserinfo, out);
    if (colon != std::string_view::npos) {
      out += ':';
      AppendPercentEncoded(userinfo.substr(colon + 1), EncodeSet::kUserinfo, out);
    }
    out += '@';
    auth = auth.substr(at + 1);
  }
  std::string_view host = auth, port;
  if (!auth.empty() && auth.front() == '[') {
    const size_t close = auth.find(']');
    if (close == std::string_view::npos) return false;
    host = auth.substr(0, close + 1);
    port = auth.substr(close + 1);
  } else if (const size_t colon = auth.find(':'); colon != std::string_view::npos) {
    host = auth.substr(0, colon);
    port = auth.substr(colon);
  }
  if (special) {
    if (host.empty()) return false;
    if (host.front() == '[') {
      for (char c : host) out += AsciiLower(c);
    } else {
      auto ascii = DomainToAscii(host);
      if (!ascii) return false;
      out += *ascii;
    }
  } else {
    AppendPercentEncoded(host, EncodeSet::kC0, out);  // an opaque host keeps its case
  }
  if (port == ":") port = "";  // an empty port is no port
  out += port;
  return true;
}

// A reference cut at its first '#' and then at its first '?': '#' ends the
// query, '?' in the fragment is data.
struct Parts {
  std::string_view head, query, fragment;
  bool has_query = false, has_fragment = false;
};

Parts SplitParts(std::string_view s) {
  Parts parts;
  if (const size_t f = s.find('#'); f != std::string_view::npos) {
    parts.fragment = s.substr(f + 1);
    s = s.substr(0, f);
    parts.has_fragment = true;
  }
  if (const size_t q = s.find('?'); q != std::string_view::npos) {
    parts.query = s.substr(q + 1);
    s = s.substr(0, q);
    parts.has_query = true;
  }
  parts.head = s;
  return parts;
}

// Rewrites the text after "scheme:" (or a relative reference) with the
// standard's percent-encoding, so that curl sees what a browser would send.
// `authority`: the text starts with the authority (after "//").
std::optional<std::string> EncodeReference(std::string_view s, bool special, bool authority,
                                           const encoding::Encoding& query_encoding) {
  std::string out;
  out.reserve(s.size() + 16);
  const Parts parts = SplitParts(s);
  std::string head(parts.head);
  if (special) {
    for (char& c : head) {
      if (c == '\\') c = '/';
    }
  }
  std::string_view rest = head;
  if (authority) {
    const size_t end = rest.find('/');
    if (!AppendAuthority(rest.substr(0, end), special, out)) return std::nullopt;
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
  }
  AppendPercentEncoded(rest, EncodeSet::kPath, out);
  if (parts.has_query) {
    out += '?';
    AppendQuery(parts.query, special, query_encoding, out);
  }
  if (parts.has_fragment) {
    out += '#';
    AppendPercentEncoded(parts.fragment, EncodeSet::kFragment, out);
  }
  return out;
}

// "javascript:...", "mailto:...", "data:...": serialized as written, encoded.
std::string SerializeOpaque(const std::string& scheme, std::string_view rest) {
  std::string out = scheme + ":";
  const Parts parts = SplitParts(rest);
  AppendPercentEncoded(parts.head, EncodeSet::kC0, out);
  if (parts.has_query) {
    out += '?';
    AppendPercentEncoded(parts.query, EncodeSet::kQuery, out);
  }
  if (parts.has_fragment) {
    out += '#';
    AppendPercentEncoded(parts.fragment, EncodeSet::kFragment, out);
  }
  return out;
}

// Parses `text` with curl (relative to `base` when given) and serializes it.
std::optional<std::string> ParseWithCurl(const std::string& text, unsigned flags,
                                         Curl_URL* base = nullptr) {
  UrlResolver::Handle h(base ? curl_url_dup(base) : curl_url());
  if (!h || curl_url_set(h.get(), CURLUPART_URL, text.c_str(), flags) != CURLUE_OK) {
    return std::nullopt;
  }
  char* out = nullptr;
  if (curl_url_get(h.get(), CURLUPART_URL, &out, CURLU_NO_DEFAULT_PORT) != CURLUE_OK || !out) {
    return std::nullopt;
  }
  std::string result(out);
  curl_free(out);
  return result;
}

std::string WithoutFragment(std::string_view url) {
  return std::string(url.substr(0, url.find('#')));
}

bool StartsWithTwoSlashes(std::string_view s, bool special) {
  const auto slash = [special](char c) { return c == '/' || (special && c == '\\'); };
  return s.size() >= 2 && slash(s[0]) && slash(s[1]);
}

// A scheme: ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ) ":", lower-cased; "" if none.
std::string SchemeOfInput(std::string_view in) {
  if (in.empty() || !IsAsciiAlpha(in[0])) return {};
  size_t i = 1;
  while (i < in.size() && (IsAsciiAlpha(in[i]) || IsAsciiDigit(in[i]) || in[i] == '+' ||
                           in[i] == '-' || in[i] == '.')) {
    ++i;
  }
  if (i >= in.size() || in[i] != ':') return {};
  return text::AsciiLowered(in.substr(0, i));
}

}  // namespace

void UrlResolver::HandleDeleter::operator()(Curl_URL* handle) const { curl_url_cleanup(handle); }

UrlResolver::UrlResolver(std::string_view page_encoding) : encoding_(page_encoding) {}

UrlResolver::~UrlResolver() = default;

std::string_view UrlResolver::SchemeOf(std::string_view url) {
  const size_t colon = url.find(':');
  return colon == std::string_view::npos ? std::string_view() : url.substr(0, colon);
}

bool UrlResolver::SetBase(std::string_view input) {
  auto resolved = Resolve(input);
  if (!resolved) return false;
  Handle handle;
  const std::string scheme(SchemeOf(*resolved));
  // An opaque-path URL (about:blank, data:...) can only take "#frag" relatives.
  const bool opaque = resolved->compare(scheme.size(), 2, ":/") != 0;
  if (!opaque) {
    handle.reset(curl_url());
    if (!handle || curl_url_set(handle.get(), CURLUPART_URL, resolved->c_str(),
                                CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
      return false;
    }
  }
  base_handle_ = std::move(handle);
  base_ = std::move(*resolved);
  base_scheme_ = scheme;
  base_opaque_ = opaque;
  return true;
}

std::optional<std::string> UrlResolver::Resolve(std::string_view input) const {
  // Leading and trailing C0 control or space go; tab, LF and CR go anywhere.
  while (!input.empty() && static_cast<unsigned char>(input.front()) <= 0x20)
    input.remove_prefix(1);
  while (!input.empty() && static_cast<unsigned char>(input.back()) <= 0x20) input.remove_suffix(1);
  std::string cleaned;
  cleaned.reserve(input.size());
  for (char c : input) {
    if (c != '\t' && c != '\n' && c != '\r') cleaned += c;
  }
  return ResolveCleaned(std::move(cleaned));
}

std::optional<std::string> UrlResolver::ResolveCleaned(std::string in) const {
  const std::string scheme = SchemeOfInput(in);
  if (scheme.empty()) return ResolveRelative(in);
  const std::string_view rest = std::string_view(in).substr(scheme.size() + 1);
  if (IsSpecialScheme(scheme)) {
    // "http:foo" against an http base is relative.
    if (scheme == base_scheme_ && !base_opaque_ && !StartsWithTwoSlashes(rest, true)) {
      return ResolveRelative(rest);
    }
    return ResolveSpecial(scheme, rest);
  }
  if (rest.empty() || rest.front() != '/') return SerializeOpaque(scheme, rest);
  // A non-special hierarchical URL: "foo://host/path", "foo:/path".
  const bool authority = StartsWithTwoSlashes(rest, false);
  auto encoded = EncodeReference(authority ? rest.substr(2) : rest, false, authority,
                                 QueryEncoding(encoding_));
  if (!encoded) return std::nullopt;
  return ParseWithCurl(scheme + (authority ? "://" : ":") + *encoded, CURLU_NON_SUPPORT_SCHEME);
}

std::optional<std::string> UrlResolver::ResolveSpecial(const std::string& scheme,
                                                       std::string_view rest) const {
  std::string text;
  if (scheme == "file") {
    text = std::string(rest);
    for (char& c : text) {
      if (c == '\\') c = '/';
    }
    text = "file:" + text;
  } else {
    // Any number of slashes (or none) before the authority.
    while (!rest.empty() && (rest.front() == '/' || rest.front() == '\\')) rest.remove_prefix(1);
    auto encoded = EncodeReference(rest, true, true, QueryEncoding(encoding_));
    if (!encoded) return std::nullopt;
    text = scheme + "://" + *encoded;
  }
  return ParseWithCurl(text, 0);
}

std::optional<std::string> UrlResolver::ResolveRelative(std::string_view in) const {
  if (base_.empty()) return std::nullopt;
  const bool special = IsSpecialScheme(base_scheme_);
  if (in.empty()) return WithoutFragment(base_);
  if (in.front() == '#') {
    std::string out = WithoutFragment(base_);
    out += '#';
    AppendPercentEncoded(in.substr(1), EncodeSet::kFragment, out);
    return out;
  }
  if (base_opaque_ || !base_handle_) return std::nullopt;
  const bool authority = StartsWithTwoSlashes(in, special);
  auto encoded =
      EncodeReference(authority ? in.substr(2) : in, special, authority, QueryEncoding(encoding_));
  if (!encoded) return std::nullopt;
  return ParseWithCurl(authority ? "//" + *encoded : *encoded, CURLU_NON_SUPPORT_SCHEME,
                       base_handle_.get());
}

}  // namespace docseek::url
