#include "platform/dom/url.h"

#include <idn2.h>

#include <memory>

#include "platform/dom/charset_internal.h"

namespace docseek::dom {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsSpecialScheme(std::string_view s) {
  return s == "http" || s == "https" || s == "ftp" || s == "ws" || s == "wss" || s == "file";
}

// The percent-encode sets of the URL standard (beyond the C0 control set:
// bytes below 0x20 and above 0x7E, which are always encoded).
enum class Set { kC0, kFragment, kQuery, kSpecialQuery, kPath, kUserinfo };

bool InSet(unsigned char c, Set set) {
  if (c < 0x20 || c > 0x7E) return true;
  if (set == Set::kC0) return false;
  switch (c) {
    case ' ':
    case '"':
    case '<':
    case '>':
      return true;
    case '`':
      return set == Set::kFragment || set == Set::kPath || set == Set::kUserinfo;
    case '#':
      return set != Set::kFragment;
    case '\'':
      return set == Set::kSpecialQuery;
    case '?':
    case '^':
    case '{':
    case '}':
      return set == Set::kPath || set == Set::kUserinfo;
    case '/':
    case ':':
    case ';':
    case '=':
    case '@':
    case '[':
    case '\\':
    case ']':
    case '|':
      return set == Set::kUserinfo;
    default:
      return false;
  }
}

void AppendEncoded(std::string_view s, Set set, std::string& out) {
  for (char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (InSet(c, set)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
}

// A query: ASCII by the set, non-ASCII runs in the page's encoding.
void AppendQuery(std::string_view s, bool special, const charset::Encoding& encoding,
                 std::string& out) {
  const Set set = special ? Set::kSpecialQuery : Set::kQuery;
  size_t i = 0;
  while (i < s.size()) {
    size_t j = i;
    while (j < s.size() && static_cast<unsigned char>(s[j]) < 0x80) ++j;
    AppendEncoded(s.substr(i, j - i), set, out);
    i = j;
    while (j < s.size() && static_cast<unsigned char>(s[j]) >= 0x80) ++j;
    if (j > i) {
      if (special) {
        charset::AppendPercentEncodedIn(s.substr(i, j - i), encoding, out);
      } else {
        AppendEncoded(s.substr(i, j - i), set, out);
      }
    }
    i = j;
  }
}

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string PercentDecode(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      const int a = HexValue(s[i + 1]), b = HexValue(s[i + 2]);
      if (a >= 0 && b >= 0) {
        out += static_cast<char>(a * 16 + b);
        i += 2;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

// A special URL's host: percent-decoded, lower-cased, punycode for non-ASCII.
std::optional<std::string> DomainToAscii(std::string_view host) {
  std::string decoded = PercentDecode(host);
  bool ascii = true;
  for (char& c : decoded) {
    if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
    c = Lower(c);
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

// Rewrites the text after "scheme:" (or a relative reference) with the
// standard's percent-encoding, so that curl sees what a browser would send.
// `authority`: the text starts with the authority (after "//").
std::optional<std::string> EncodeReference(std::string_view s, bool special, bool authority,
                                           const charset::Encoding& query_encoding) {
  std::string out;
  out.reserve(s.size() + 16);
  // Fragment first, then query: '#' ends the query, '?' in the fragment is data.
  std::string_view fragment, query;
  bool has_fragment = false, has_query = false;
  if (const size_t f = s.find('#'); f != std::string_view::npos) {
    fragment = s.substr(f + 1);
    s = s.substr(0, f);
    has_fragment = true;
  }
  if (const size_t q = s.find('?'); q != std::string_view::npos) {
    query = s.substr(q + 1);
    s = s.substr(0, q);
    has_query = true;
  }
  std::string head(s);
  if (special) {
    for (char& c : head) {
      if (c == '\\') c = '/';
    }
  }
  std::string_view rest = head;
  if (authority) {
    const size_t end = rest.find('/');
    std::string_view auth = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    const size_t at = auth.rfind('@');
    if (at != std::string_view::npos) {
      const std::string_view userinfo = auth.substr(0, at);
      const size_t colon = userinfo.find(':');
      AppendEncoded(userinfo.substr(0, colon), Set::kUserinfo, out);
      if (colon != std::string_view::npos) {
        out += ':';
        AppendEncoded(userinfo.substr(colon + 1), Set::kUserinfo, out);
      }
      out += '@';
      auth = auth.substr(at + 1);
    }
    std::string_view host = auth, port;
    if (!auth.empty() && auth.front() == '[') {
      const size_t close = auth.find(']');
      if (close == std::string_view::npos) return std::nullopt;
      host = auth.substr(0, close + 1);
      port = auth.substr(close + 1);
    } else if (const size_t colon = auth.find(':'); colon != std::string_view::npos) {
      host = auth.substr(0, colon);
      port = auth.substr(colon);
    }
    if (special) {
      if (host.empty()) return std::nullopt;
      if (host.front() == '[') {
        for (char c : host) out += Lower(c);
      } else {
        auto ascii = DomainToAscii(host);
        if (!ascii) return std::nullopt;
        out += *ascii;
      }
    } else {
      AppendEncoded(host, Set::kC0, out);  // an opaque host keeps its case
    }
    if (port == ":") port = "";  // an empty port is no port
    out += port;
  }
  AppendEncoded(rest, Set::kPath, out);
  if (has_query) {
    out += '?';
    AppendQuery(query, special, query_encoding, out);
  }
  if (has_fragment) {
    out += '#';
    AppendEncoded(fragment, Set::kFragment, out);
  }
  return out;
}

struct CurlUrlDeleter {
  void operator()(CURLU* h) const { curl_url_cleanup(h); }
};
using CurlUrl = std::unique_ptr<CURLU, CurlUrlDeleter>;

std::optional<std::string> Serialize(CURLU* h) {
  char* out = nullptr;
  if (curl_url_get(h, CURLUPART_URL, &out, CURLU_NO_DEFAULT_PORT) != CURLUE_OK || !out) {
    return std::nullopt;
  }
  std::string result(out);
  curl_free(out);
  return result;
}

std::string WithoutFragment(std::string_view url) {
  return std::string(url.substr(0, url.find('#')));
}

}  // namespace

UrlResolver::UrlResolver(std::string_view page_encoding) : encoding_(page_encoding) {}

UrlResolver::~UrlResolver() {
  if (base_handle_) curl_url_cleanup(base_handle_);
}

std::string_view UrlResolver::SchemeOf(std::string_view url) {
  const size_t colon = url.find(':');
  return colon == std::string_view::npos ? std::string_view() : url.substr(0, colon);
}

bool UrlResolver::SetBase(std::string_view input) {
  auto resolved = Resolve(input);
  if (!resolved) return false;
  CURLU* handle = nullptr;
  const std::string scheme(SchemeOf(*resolved));
  // An opaque-path URL (about:blank, data:...) can only take "#frag" relatives.
  const bool opaque = resolved->compare(scheme.size(), 2, ":/") != 0;
  if (!opaque) {
    handle = curl_url();
    if (!handle) return false;
    if (curl_url_set(handle, CURLUPART_URL, resolved->c_str(), CURLU_NON_SUPPORT_SCHEME) !=
        CURLUE_OK) {
      curl_url_cleanup(handle);
      return false;
    }
  }
  if (base_handle_) curl_url_cleanup(base_handle_);
  base_handle_ = handle;
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
  const charset::Encoding& query_encoding = charset::QueryEncoding(encoding_);
  // A scheme: ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ) ":".
  std::string scheme;
  if (!in.empty() && IsAlpha(in[0])) {
    size_t i = 1;
    while (i < in.size() &&
           (IsAlpha(in[i]) || IsDigit(in[i]) || in[i] == '+' || in[i] == '-' || in[i] == '.')) {
      ++i;
    }
    if (i < in.size() && in[i] == ':') {
      scheme = in.substr(0, i);
      for (char& c : scheme) c = Lower(c);
    }
  }
  const auto starts_with_two_slashes = [](std::string_view s, bool special) {
    const auto slash = [special](char c) { return c == '/' || (special && c == '\\'); };
    return s.size() >= 2 && slash(s[0]) && slash(s[1]);
  };

  if (!scheme.empty()) {
    std::string_view rest = std::string_view(in).substr(scheme.size() + 1);
    const bool special = IsSpecialScheme(scheme);
    if (special && scheme == base_scheme_ && !base_opaque_ &&
        !starts_with_two_slashes(rest, true)) {
      // "http:foo" against an http base is relative.
      in = std::string(rest);
      scheme.clear();
    } else if (special) {
      std::string text;
      if (scheme == "file") {
        text = std::string(rest);
        for (char& c : text) {
          if (c == '\\') c = '/';
        }
        text = "file:" + text;
      } else {
        // Any number of slashes (or none) before the authority.
        while (!rest.empty() && (rest.front() == '/' || rest.front() == '\\'))
          rest.remove_prefix(1);
        auto encoded = EncodeReference(rest, true, true, query_encoding);
        if (!encoded) return std::nullopt;
        text = scheme + "://" + *encoded;
      }
      CurlUrl h(curl_url());
      if (!h || curl_url_set(h.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) {
        return std::nullopt;
      }
      return Serialize(h.get());
    } else if (rest.empty() || rest.front() != '/') {
      // An opaque path: "javascript:...", "mailto:...", "data:...".
      std::string out = scheme + ":";
      std::string_view body = rest, fragment, query;
      bool has_fragment = false, has_query = false;
      if (const size_t f = body.find('#'); f != std::string_view::npos) {
        fragment = body.substr(f + 1);
        body = body.substr(0, f);
        has_fragment = true;
      }
      if (const size_t q = body.find('?'); q != std::string_view::npos) {
        query = body.substr(q + 1);
        body = body.substr(0, q);
        has_query = true;
      }
      AppendEncoded(body, Set::kC0, out);
      if (has_query) {
        out += '?';
        AppendEncoded(query, Set::kQuery, out);
      }
      if (has_fragment) {
        out += '#';
        AppendEncoded(fragment, Set::kFragment, out);
      }
      return out;
    } else {
      // A non-special hierarchical URL: "foo://host/path", "foo:/path".
      const bool authority = starts_with_two_slashes(rest, false);
      auto encoded =
          EncodeReference(authority ? rest.substr(2) : rest, false, authority, query_encoding);
      if (!encoded) return std::nullopt;
      const std::string text = scheme + (authority ? "://" : ":") + *encoded;
      CurlUrl h(curl_url());
      if (!h || curl_url_set(h.get(), CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME) !=
                    CURLUE_OK) {
        return std::nullopt;
      }
      return Serialize(h.get());
    }
  }

  // A relative reference.
  if (base_.empty()) return std::nullopt;
  const bool special = IsSpecialScheme(base_scheme_);
  if (in.empty()) return WithoutFragment(base_);
  if (in.front() == '#') {
    std::string out = WithoutFragment(base_);
    out += '#';
    AppendEncoded(std::string_view(in).substr(1), Set::kFragment, out);
    return out;
  }
  if (base_opaque_ || !base_handle_) return std::nullopt;
  const bool authority = starts_with_two_slashes(in, special);
  auto encoded = EncodeReference(authority ? std::string_view(in).substr(2) : std::string_view(in),
                                 special, authority, query_encoding);
  if (!encoded) return std::nullopt;
  const std::string text = authority ? "//" + *encoded : *encoded;
  CurlUrl h(curl_url_dup(base_handle_));
  if (!h ||
      curl_url_set(h.get(), CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
    return std::nullopt;
  }
  return Serialize(h.get());
}

}  // namespace docseek::dom
