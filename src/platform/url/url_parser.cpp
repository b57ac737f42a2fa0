// SPDX-License-Identifier: MIT
#include "platform/url/url_parser.h"

#include <array>

#include "platform/encoding/code_points.h"
#include "platform/url/percent_encoding.h"

namespace docseek::platform::url {

namespace {

using encoding::AppendUtf8;

constexpr char32_t kEof = 0xFFFFFFFF;

bool IsAsciiAlpha(char32_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char32_t c) { return c >= '0' && c <= '9'; }
char32_t AsciiLower(char32_t c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }

std::string ToUtf8(std::u32string_view s) {
  std::string out;
  for (char32_t c : s) AppendUtf8(c, out);
  return out;
}

void AppendEncoded(char32_t c, EncodeSet set, std::string& out) {
  std::string utf8;
  AppendUtf8(c, utf8);
  AppendPercentEncoded(utf8, set, out);
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(static_cast<unsigned char>(a[i])) != static_cast<unsigned char>(b[i])) {
      return false;
    }
  }
  return true;
}

// "." and its percent-encoded spelling.
bool IsSingleDot(std::string_view s) { return s == "." || EqualsIgnoreCase(s, "%2e"); }
bool IsDoubleDot(std::string_view s) {
  return s == ".." || EqualsIgnoreCase(s, ".%2e") || EqualsIgnoreCase(s, "%2e.") ||
         EqualsIgnoreCase(s, "%2e%2e");
}

// https://url.spec.whatwg.org/#windows-drive-letter
template <typename S>
bool IsWindowsDriveLetter(const S& s) {
  return s.size() == 2 && IsAsciiAlpha(static_cast<unsigned char>(s[0])) &&
         (s[1] == ':' || s[1] == '|');
}
bool IsNormalizedWindowsDriveLetter(std::string_view s) {
  return IsWindowsDriveLetter(s) && s[1] == ':';
}
// https://url.spec.whatwg.org/#start-with-a-windows-drive-letter
bool StartsWithWindowsDriveLetter(std::u32string_view s) {
  if (s.size() < 2 || !IsWindowsDriveLetter(s.substr(0, 2))) return false;
  return s.size() == 2 || s[2] == '/' || s[2] == '\\' || s[2] == '?' || s[2] == '#';
}

// https://url.spec.whatwg.org/#shorten-a-urls-path
void ShortenPath(Url& url) {
  if (url.scheme == "file" && url.path.size() == 1 && IsNormalizedWindowsDriveLetter(url.path[0])) {
    return;
  }
  if (!url.path.empty()) url.path.pop_back();
}

// https://url.spec.whatwg.org/#string-percent-encode-after-encoding
void AppendQuery(std::u32string_view buffer, EncodeSet set, const QueryEncoder* encoder,
                 std::string& out) {
  std::string bytes;
  for (char32_t c : buffer) {
    bytes.clear();
    if (encoder == nullptr) {
      AppendUtf8(c, bytes);
    } else if (!(*encoder)(c, bytes)) {
      out += "%26%23" + std::to_string(static_cast<std::uint32_t>(c)) + "%3B";
      continue;
    }
    AppendPercentEncoded(bytes, set, out);
  }
}

// The input as code points, without leading and trailing C0 controls and
// spaces and without any tab or newline.
std::u32string Prepare(std::string_view input) {
  std::size_t begin = 0, end = input.size();
  while (begin < end && static_cast<unsigned char>(input[begin]) <= 0x20) ++begin;
  while (end > begin && static_cast<unsigned char>(input[end - 1]) <= 0x20) --end;
  std::u32string out;
  out.reserve(end - begin);
  std::string_view trimmed = input.substr(begin, end - begin);
  std::size_t pos = 0;
  while (pos < trimmed.size()) {
    const char32_t c = encoding::NextUtf8(trimmed, pos);
    if (c != '\t' && c != '\n' && c != '\r') out += c;
  }
  return out;
}

enum class State {
  kSchemeStart,
  kScheme,
  kNoScheme,
  kSpecialRelativeOrAuthority,
  kPathOrAuthority,
  kRelative,
  kRelativeSlash,
  kSpecialAuthoritySlashes,
  kSpecialAuthorityIgnoreSlashes,
  kAuthority,
  kHost,
  kPort,
  kFile,
  kFileSlash,
  kFileHost,
  kPathStart,
  kPath,
  kOpaquePath,
  kQuery,
  kFragment,
};

}  // namespace

bool IsSpecialScheme(std::string_view scheme) {
  return scheme == "http" || scheme == "https" || scheme == "ws" || scheme == "wss" ||
         scheme == "ftp" || scheme == "file";
}

std::optional<std::uint16_t> DefaultPort(std::string_view scheme) {
  if (scheme == "http" || scheme == "ws") return 80;
  if (scheme == "https" || scheme == "wss") return 443;
  if (scheme == "ftp") return 21;
  return std::nullopt;
}

bool Url::IsSpecial() const { return IsSpecialScheme(scheme); }

std::string Url::SerializePath() const {
  if (has_opaque_path) return path.empty() ? std::string() : path.front();
  std::string out;
  for (const std::string& segment : path) {
    out += '/';
    out += segment;
  }
  return out;
}

std::string Url::Serialize(bool exclude_fragment) const {
  std::string out = scheme + ':';
  if (host) {
    out += "//";
    if (!username.empty() || !password.empty()) {
      out += username;
      if (!password.empty()) out += ':' + password;
      out += '@';
    }
    out += host->Serialize();
    if (port) out += ':' + std::to_string(*port);
  }
  // Without a host, "/.//x" keeps "//x" from reading as a host when parsed again.
  if (!host && !has_opaque_path && path.size() > 1 && path[0].empty()) out += "/.";
  out += SerializePath();
  if (query) out += '?' + *query;
  if (!exclude_fragment && fragment) out += '#' + *fragment;
  return out;
}

std::optional<Url> ParseUrl(std::string_view raw_input, const Url* base,
                            const QueryEncoder& query_encoder) {
  const std::u32string input = Prepare(raw_input);
  const std::u32string_view in(input);
  const auto n = static_cast<std::ptrdiff_t>(in.size());
  Url url;
  State state = State::kSchemeStart;
  std::u32string buffer;    // scheme, authority, host, port, query
  std::string path_buffer;  // the path segment being read, percent-encoded
  bool at_sign_seen = false, inside_brackets = false, password_token_seen = false;
  const QueryEncoder* encoder = query_encoder ? &query_encoder : nullptr;

  // The code points after the current one.
  const auto remaining = [&](std::ptrdiff_t p) {
    return p + 1 < n ? in.substr(static_cast<std::size_t>(p + 1)) : std::u32string_view();
  };
  const auto starts_with = [](std::u32string_view s, char32_t c) {
    return !s.empty() && s.front() == c;
  };

  for (std::ptrdiff_t p = 0;; ++p) {
    const char32_t c = p < n ? in[static_cast<std::size_t>(p)] : kEof;
    switch (state) {
      case State::kSchemeStart:
        if (IsAsciiAlpha(c)) {
          buffer += AsciiLower(c);
          state = State::kScheme;
        } else {
          state = State::kNoScheme;
          --p;
        }
        break;

      case State::kScheme:
        if (IsAsciiAlpha(c) || IsAsciiDigit(c) || c == '+' || c == '-' || c == '.') {
          buffer += AsciiLower(c);
        } else if (c == ':') {
          url.scheme = ToUtf8(buffer);
          buffer.clear();
          if (url.scheme == "file") {
            state = State::kFile;
          } else if (url.IsSpecial() && base && base->scheme == url.scheme) {
            state = State::kSpecialRelativeOrAuthority;
          } else if (url.IsSpecial()) {
            state = State::kSpecialAuthoritySlashes;
          } else if (starts_with(remaining(p), '/')) {
            state = State::kPathOrAuthority;
            ++p;
          } else {
            url.has_opaque_path = true;
            url.path.assign(1, std::string());
            state = State::kOpaquePath;
          }
        } else {
          // Not a scheme after all: start over without one.
          buffer.clear();
          url.scheme.clear();
          state = State::kNoScheme;
          p = -1;
        }
        break;

      case State::kNoScheme:
        if (!base || (base->has_opaque_path && c != '#')) return std::nullopt;
        if (base->has_opaque_path) {
          url.scheme = base->scheme;
          url.path = base->path;
          url.has_opaque_path = true;
          url.query = base->query;
          url.fragment = std::string();
          state = State::kFragment;
        } else {
          state = base->scheme == "file" ? State::kFile : State::kRelative;
          --p;
        }
        break;

      case State::kSpecialRelativeOrAuthority:
        if (c == '/' && starts_with(remaining(p), '/')) {
          state = State::kSpecialAuthorityIgnoreSlashes;
          ++p;
        } else {
          state = State::kRelative;
          --p;
        }
        break;

      case State::kPathOrAuthority:
        if (c == '/') {
          state = State::kAuthority;
        } else {
          state = State::kPath;
          --p;
        }
        break;

      case State::kRelative:
        url.scheme = base->scheme;
        if (c == '/' || (url.IsSpecial() && c == '\\')) {
          state = State::kRelativeSlash;
        } else {
          url.username = base->username;
          url.password = base->password;
          url.host = base->host;
          url.port = base->port;
          url.path = base->path;
          url.query = base->query;
          if (c == '?') {
            url.query = std::string();
            state = State::kQuery;
          } else if (c == '#') {
            url.fragment = std::string();
            state = State::kFragment;
          } else if (c != kEof) {
            url.query.reset();
            ShortenPath(url);
            state = State::kPath;
            --p;
          }
        }
        break;

      case State::kRelativeSlash:
        if (url.IsSpecial() && (c == '/' || c == '\\')) {
          state = State::kSpecialAuthorityIgnoreSlashes;
        } else if (c == '/') {
          state = State::kAuthority;
        } else {
          url.username = base->username;
          url.password = base->password;
          url.host = base->host;
          url.port = base->port;
          state = State::kPath;
          --p;
        }
        break;

      case State::kSpecialAuthoritySlashes:
        state = State::kSpecialAuthorityIgnoreSlashes;
        if (c == '/' && starts_with(remaining(p), '/')) {
          ++p;
        } else {
          --p;
        }
        break;

      case State::kSpecialAuthorityIgnoreSlashes:
        if (c != '/' && c != '\\') {
          state = State::kAuthority;
          --p;
        }
        break;

      case State::kAuthority:
        if (c == '@') {
          if (at_sign_seen) buffer.insert(0, U"%40");
          at_sign_seen = true;
          for (char32_t b : buffer) {
            if (b == ':' && !password_token_seen) {
              password_token_seen = true;
              continue;
            }
            AppendEncoded(b, EncodeSet::kUserinfo,
                          password_token_seen ? url.password : url.username);
          }
          buffer.clear();
        } else if (c == kEof || c == '/' || c == '?' || c == '#' ||
                   (url.IsSpecial() && c == '\\')) {
          if (at_sign_seen && buffer.empty()) return std::nullopt;
          // Read the text since the last '@' again, as the host.
          p -= static_cast<std::ptrdiff_t>(buffer.size()) + 1;
          buffer.clear();
          state = State::kHost;
        } else {
          buffer += c;
        }
        break;

      case State::kHost:
        if (c == ':' && !inside_brackets) {
          if (buffer.empty()) return std::nullopt;
          url.host = ParseHost(ToUtf8(buffer), !url.IsSpecial());
          if (!url.host) return std::nullopt;
          buffer.clear();
          state = State::kPort;
        } else if (c == kEof || c == '/' || c == '?' || c == '#' ||
                   (url.IsSpecial() && c == '\\')) {
          --p;
          if (url.IsSpecial() && buffer.empty()) return std::nullopt;
          url.host = ParseHost(ToUtf8(buffer), !url.IsSpecial());
          if (!url.host) return std::nullopt;
          buffer.clear();
          state = State::kPathStart;
        } else {
          if (c == '[') inside_brackets = true;
          if (c == ']') inside_brackets = false;
          buffer += c;
        }
        break;

      case State::kPort:
        if (IsAsciiDigit(c)) {
          buffer += c;
        } else if (c == kEof || c == '/' || c == '?' || c == '#' ||
                   (url.IsSpecial() && c == '\\')) {
          if (!buffer.empty()) {
            std::uint32_t port = 0;
            for (char32_t d : buffer) {
              port = port * 10 + (d - '0');
              if (port > 65535) return std::nullopt;
            }
            if (DefaultPort(url.scheme) == port) {
              url.port.reset();
            } else {
              url.port = static_cast<std::uint16_t>(port);
            }
            buffer.clear();
          }
          state = State::kPathStart;
          --p;
        } else {
          return std::nullopt;
        }
        break;

      case State::kFile:
        url.scheme = "file";
        url.host = Host{};
        if (c == '/' || c == '\\') {
          state = State::kFileSlash;
        } else if (base && base->scheme == "file") {
          url.host = base->host;
          url.path = base->path;
          url.query = base->query;
          if (c == '?') {
            url.query = std::string();
            state = State::kQuery;
          } else if (c == '#') {
            url.fragment = std::string();
            state = State::kFragment;
          } else if (c != kEof) {
            url.query.reset();
            if (!StartsWithWindowsDriveLetter(in.substr(static_cast<std::size_t>(p)))) {
              ShortenPath(url);
            } else {
              url.path.clear();
            }
            state = State::kPath;
            --p;
          }
        } else {
          state = State::kPath;
          --p;
        }
        break;

      case State::kFileSlash:
        if (c == '/' || c == '\\') {
          state = State::kFileHost;
        } else {
          if (base && base->scheme == "file") {
            url.host = base->host;
            if (!StartsWithWindowsDriveLetter(in.substr(static_cast<std::size_t>(p))) &&
                !base->path.empty() && IsNormalizedWindowsDriveLetter(base->path[0])) {
              url.path.push_back(base->path[0]);
            }
          }
          state = State::kPath;
          --p;
        }
        break;

      case State::kFileHost:
        if (c == kEof || c == '/' || c == '\\' || c == '?' || c == '#') {
          --p;
          if (IsWindowsDriveLetter(buffer)) {
            // "file://C:/": the drive letter is the path's first segment,
            // carried over in the buffer.
            path_buffer = ToUtf8(buffer);
            buffer.clear();
            state = State::kPath;
          } else if (buffer.empty()) {
            url.host = Host{};
            state = State::kPathStart;
          } else {
            url.host = ParseHost(ToUtf8(buffer), false);
            if (!url.host) return std::nullopt;
            if (url.host->kind == Host::Kind::kDomain && url.host->name == "localhost") {
              url.host = Host{};
            }
            buffer.clear();
            state = State::kPathStart;
          }
        } else {
          buffer += c;
        }
        break;

      case State::kPathStart:
        if (url.IsSpecial()) {
          state = State::kPath;
          if (c != '/' && c != '\\') --p;
        } else if (c == '?') {
          url.query = std::string();
          state = State::kQuery;
        } else if (c == '#') {
          url.fragment = std::string();
          state = State::kFragment;
        } else if (c != kEof) {
          state = State::kPath;
          if (c != '/') --p;
        }
        break;

      case State::kPath: {
        const bool slash = c == '/' || (url.IsSpecial() && c == '\\');
        if (c == kEof || slash || c == '?' || c == '#') {
          if (IsDoubleDot(path_buffer)) {
            ShortenPath(url);
            if (!slash) url.path.emplace_back();
          } else if (IsSingleDot(path_buffer) && !slash) {
            url.path.emplace_back();
          } else if (!IsSingleDot(path_buffer)) {
            if (url.scheme == "file" && url.path.empty() && IsWindowsDriveLetter(path_buffer)) {
              path_buffer[1] = ':';
            }
            url.path.push_back(path_buffer);
          }
          path_buffer.clear();
          if (c == '?') {
            url.query = std::string();
            state = State::kQuery;
          } else if (c == '#') {
            url.fragment = std::string();
            state = State::kFragment;
          }
        } else {
          AppendEncoded(c, EncodeSet::kPath, path_buffer);
        }
        break;
      }

      case State::kOpaquePath:
        if (c == '?') {
          url.query = std::string();
          state = State::kQuery;
        } else if (c == '#') {
          url.fragment = std::string();
          state = State::kFragment;
        } else if (c == ' ') {
          // A space before the query or fragment would be lost by trimming
          // when the URL is parsed again.
          const auto rest = remaining(p);
          url.path[0] += starts_with(rest, '?') || starts_with(rest, '#') ? "%20" : " ";
        } else if (c != kEof) {
          AppendEncoded(c, EncodeSet::kC0Control, url.path[0]);
        }
        break;

      case State::kQuery:
        if (c == '#' || c == kEof) {
          const bool use_encoder = url.IsSpecial() && url.scheme != "ws" && url.scheme != "wss";
          AppendQuery(buffer, url.IsSpecial() ? EncodeSet::kSpecialQuery : EncodeSet::kQuery,
                      use_encoder ? encoder : nullptr, *url.query);
          buffer.clear();
          if (c == '#') {
            url.fragment = std::string();
            state = State::kFragment;
          }
        } else {
          buffer += c;
        }
        break;

      case State::kFragment:
        if (c != kEof) AppendEncoded(c, EncodeSet::kFragment, *url.fragment);
        break;
    }
    // A state that moved back re-reads the end of input.
    if (p >= n) break;
  }
  return url;
}

}  // namespace docseek::platform::url
