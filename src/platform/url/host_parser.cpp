// SPDX-License-Identifier: MIT
#include "platform/url/host_parser.h"

#include <glib.h>
#include <idn2.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/encoding/code_points.h"
#include "platform/url/percent_encoding.h"

namespace docseek::platform::url {

namespace {

bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAsciiHexDigit(char c) {
  return IsAsciiDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// https://url.spec.whatwg.org/#forbidden-host-code-point
bool IsForbiddenHostCodePoint(unsigned char c) {
  switch (c) {
    case 0x00:
    case '\t':
    case '\n':
    case '\r':
    case ' ':
    case '#':
    case '/':
    case ':':
    case '<':
    case '>':
    case '?':
    case '@':
    case '[':
    case '\\':
    case ']':
    case '^':
    case '|':
      return true;
    default:
      return false;
  }
}

// https://url.spec.whatwg.org/#forbidden-domain-code-point
bool IsForbiddenDomainCodePoint(unsigned char c) {
  return IsForbiddenHostCodePoint(c) || c <= 0x1F || c == '%' || c == 0x7F;
}

std::vector<std::string_view> SplitDots(std::string_view s) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = s.find('.', start);
    parts.push_back(s.substr(start, dot == std::string_view::npos ? dot : dot - start));
    if (dot == std::string_view::npos) return parts;
    start = dot + 1;
  }
}

// https://url.spec.whatwg.org/#ipv4-number-parser
// Values beyond 2^32 saturate: they only ever make the address invalid.
std::optional<std::uint64_t> ParseIpv4Number(std::string_view input) {
  if (input.empty()) return std::nullopt;
  int radix = 10;
  if (input.size() >= 2 && input[0] == '0' && (input[1] == 'x' || input[1] == 'X')) {
    input.remove_prefix(2);
    radix = 16;
  } else if (input.size() >= 2 && input[0] == '0') {
    input.remove_prefix(1);
    radix = 8;
  }
  if (input.empty()) return 0;
  std::uint64_t value = 0;
  for (char c : input) {
    int digit;
    if (radix == 16 && IsAsciiHexDigit(c)) {
      digit = IsAsciiDigit(c) ? c - '0' : AsciiLower(c) - 'a' + 10;
    } else if (radix != 16 && c >= '0' && c < '0' + radix) {
      digit = c - '0';
    } else {
      return std::nullopt;
    }
    value = value * radix + digit;
    if (value > 0xFFFFFFFFULL) value = 0x100000000ULL;
  }
  return value;
}

// https://url.spec.whatwg.org/#ends-in-a-number-checker
bool EndsInANumber(std::string_view input) {
  std::vector<std::string_view> parts = SplitDots(input);
  if (parts.back().empty()) {
    if (parts.size() == 1) return false;
    parts.pop_back();
  }
  const std::string_view last = parts.back();
  if (!last.empty() && last.find_first_not_of("0123456789") == std::string_view::npos) return true;
  return ParseIpv4Number(last).has_value();
}

// https://url.spec.whatwg.org/#concept-opaque-host-parser
std::optional<Host> ParseOpaqueHost(std::string_view input) {
  for (unsigned char c : input) {
    if (IsForbiddenHostCodePoint(c)) return std::nullopt;
  }
  Host host;
  host.kind = Host::Kind::kOpaque;
  AppendPercentEncoded(input, EncodeSet::kC0Control, host.name);
  return host;
}

bool StartsWithXn(std::string_view label) {
  return label.size() >= 4 && AsciiLower(label[0]) == 'x' && AsciiLower(label[1]) == 'n' &&
         label[2] == '-' && label[3] == '-';
}

bool IsValidUtf8(std::string_view s) {
  std::size_t pos = 0;
  while (pos < s.size()) {
    const std::size_t start = pos;
    if (encoding::NextUtf8(s, pos) == encoding::kReplacementCharacter &&
        s.substr(start, pos - start) != "\xEF\xBF\xBD") {
      return false;
    }
  }
  return true;
}

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

// An "xn--" label must decode to a label that is not plain ASCII and does
// not itself start with "xn--", and encode back to the same text; libidn2
// only checks the last when it sees the label in ASCII form.
bool IsValidALabel(std::string_view label) {
  const std::string z(label);
  char* decoded = nullptr;
  if (idn2_to_unicode_8z8z(z.c_str(), &decoded, 0) != IDN2_OK) return false;
  std::unique_ptr<char, FreeDeleter> owner(decoded);
  const std::string_view u(decoded);
  if (u.empty() || StartsWithXn(u)) return false;
  bool ascii = true;
  for (unsigned char c : u) ascii = ascii && c < 0x80;
  return !ascii;
}

// RFC 3492 Punycode of one label (without "xn--"); nullopt on overflow.
std::optional<std::string> PunycodeEncode(const std::u32string& input) {
  constexpr std::uint32_t kBase = 36, kTMin = 1, kTMax = 26, kSkew = 38, kDamp = 700;
  const auto adapt = [](std::uint32_t delta, std::uint32_t points, bool first) {
    delta = first ? delta / kDamp : delta / 2;
    delta += delta / points;
    std::uint32_t k = 0;
    while (delta > ((kBase - kTMin) * kTMax) / 2) {
      delta /= kBase - kTMin;
      k += kBase;
    }
    return k + (kBase - kTMin + 1) * delta / (delta + kSkew);
  };
  const auto digit = [](std::uint32_t d) {
    return static_cast<char>(d < 26 ? 'a' + d : '0' + d - 26);
  };
  std::string out;
  for (char32_t c : input) {
    if (c < 0x80) out += static_cast<char>(c);
  }
  const auto basic = static_cast<std::uint32_t>(out.size());
  std::uint32_t handled = basic, n = 128, delta = 0, bias = 72;
  if (basic > 0) out += '-';
  while (handled < input.size()) {
    std::uint32_t m = 0xFFFFFFFF;
    for (char32_t c : input) {
      if (c >= n && c < m) m = c;
    }
    if (m - n > (0xFFFFFFFF - delta) / (handled + 1)) return std::nullopt;
    delta += (m - n) * (handled + 1);
    n = m;
    for (char32_t c : input) {
      if (c < n && ++delta == 0) return std::nullopt;
      if (c != n) continue;
      std::uint32_t q = delta;
      for (std::uint32_t k = kBase;; k += kBase) {
        const std::uint32_t t = k <= bias ? kTMin : k >= bias + kTMax ? kTMax : k - bias;
        if (q < t) break;
        out += digit(t + (q - t) % (kBase - t));
        q = (q - t) / (kBase - t);
      }
      out += digit(q);
      bias = adapt(delta, handled + 1, handled == basic);
      delta = 0;
      ++handled;
    }
    ++delta;
    ++n;
  }
  return out;
}

std::u32string ToCodePoints(std::string_view utf8) {
  std::u32string out;
  std::size_t pos = 0;
  while (pos < utf8.size()) out += encoding::NextUtf8(utf8, pos);
  return out;
}

// A symbol or punctuation mark that UTS #46 keeps as it is ("valid", mostly
// with the NV8 note) but IDNA2008 disallows: it is assigned, not a letter,
// mark, digit, control or space, and NFKC and case folding leave it alone.
bool IsUnmappedSymbol(char32_t c) {
  // U+3002 is a label separator to UTS #46, though NFKC keeps it.
  if (c < 0x80 || c == 0x3002 || c == 0xFFFC || c == 0xFFFD) return false;
  switch (g_unichar_type(static_cast<gunichar>(c))) {
    case G_UNICODE_MATH_SYMBOL:
    case G_UNICODE_OTHER_SYMBOL:
    case G_UNICODE_CURRENCY_SYMBOL:
    case G_UNICODE_MODIFIER_SYMBOL:
    case G_UNICODE_OTHER_PUNCTUATION:
    case G_UNICODE_DASH_PUNCTUATION:
    case G_UNICODE_OPEN_PUNCTUATION:
    case G_UNICODE_CLOSE_PUNCTUATION:
    case G_UNICODE_INITIAL_PUNCTUATION:
    case G_UNICODE_FINAL_PUNCTUATION:
    case G_UNICODE_CONNECT_PUNCTUATION:
      break;
    default:
      return false;
  }
  std::string utf8;
  encoding::AppendUtf8(c, utf8);
  std::unique_ptr<char, void (*)(gpointer)> nfkc(
      g_utf8_normalize(utf8.data(), static_cast<gssize>(utf8.size()), G_NORMALIZE_NFKC), g_free);
  std::unique_ptr<char, void (*)(gpointer)> folded(
      g_utf8_casefold(utf8.data(), static_cast<gssize>(utf8.size())), g_free);
  return nfkc && folded && utf8 == nfkc.get() && utf8 == folded.get();
}

std::optional<std::string> Idn2Lookup(const std::string& domain) {
  char* out = nullptr;
  if (idn2_lookup_u8(reinterpret_cast<const uint8_t*>(domain.c_str()),
                     reinterpret_cast<uint8_t**>(&out), IDN2_NONTRANSITIONAL) != IDN2_OK) {
    return std::nullopt;
  }
  std::unique_ptr<char, FreeDeleter> owner(out);
  return std::string(out);
}

// For a name libidn2 refused only for its IDNA2008-disallowed symbols: each
// such symbol is swapped for a placeholder letter, libidn2 maps and checks
// the rest (Bidi and ContextJ included, the placeholder being a plain
// left-to-right letter), and the symbols go back into the Unicode form of
// its answer, which is then Punycode-encoded here.
std::optional<std::string> LookupWithSymbols(std::string_view domain) {
  const std::u32string cps = ToCodePoints(domain);
  char32_t placeholder = 0;
  for (char32_t candidate : {U'\u0250', U'\u0254', U'\u0259'}) {
    if (cps.find(candidate) == std::u32string::npos) {
      placeholder = candidate;
      break;
    }
  }
  if (placeholder == 0) return std::nullopt;
  std::u32string symbols;
  std::string substituted;
  for (char32_t c : cps) {
    if (IsUnmappedSymbol(c)) {
      symbols += c;
      c = placeholder;
    }
    encoding::AppendUtf8(c, substituted);
  }
  if (symbols.empty()) return std::nullopt;
  const auto ascii = Idn2Lookup(substituted);
  if (!ascii) return std::nullopt;
  char* unicode = nullptr;
  if (idn2_to_unicode_8z8z(ascii->c_str(), &unicode, 0) != IDN2_OK) return std::nullopt;
  std::unique_ptr<char, FreeDeleter> owner(unicode);
  std::u32string mapped = ToCodePoints(unicode);
  std::size_t next = 0;
  for (char32_t& c : mapped) {
    if (c != placeholder) continue;
    if (next == symbols.size()) return std::nullopt;
    c = symbols[next++];
  }
  if (next != symbols.size()) return std::nullopt;
  std::string result;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = mapped.find(U'.', start);
    const std::u32string label =
        mapped.substr(start, dot == std::u32string::npos ? dot : dot - start);
    bool label_ascii = true;
    for (char32_t c : label) label_ascii = label_ascii && c < 0x80;
    if (label_ascii) {
      for (char32_t c : label) result += AsciiLower(static_cast<char>(c));
    } else {
      const auto encoded = PunycodeEncode(label);
      if (!encoded) return std::nullopt;
      result += "xn--" + *encoded;
    }
    if (dot == std::u32string::npos) break;
    result += '.';
    start = dot + 1;
  }
  return result;
}

}  // namespace

// UTS #46 with the options the URL Standard asks for: CheckHyphens=false,
// CheckBidi=true, CheckJoiners=true, UseSTD3ASCIIRules=false,
// Transitional=false, VerifyDnsLength=false.
//
// libidn2 has no switches for CheckHyphens and VerifyDnsLength, so:
//   - an all-ASCII name is only lower-cased, as the standard does since 2026
//     (the web platform tests accept "a.b.c.xn--pokxncvks" and "xn--"): it
//     never reaches libidn2, whatever its hyphens, lengths or "xn--" labels;
//   - other names go through idn2_lookup_u8 with IDN2_NONTRANSITIONAL (the
//     UTS #46 mapping with STD3 rules off, NFC, then the label checks: Bidi,
//     ContextJ, leading combining marks);
//   - "xn--" labels of such names are decoded and checked here as well (see
//     IsValidALabel), since libidn2 passes some that decode to plain ASCII.
//   - libidn2 checks labels against IDNA2008, which refuses the symbols
//     UTS #46 lets through ("valid, NV8": U+2603, emoji); such names get a
//     second pass (LookupWithSymbols) with those symbols held aside.
// What still differs for non-ASCII names: labels with "--" in the third and
// fourth place and labels or names longer than DNS allows are refused; the
// symbols are told by their Unicode category and NFKC/case-fold stability,
// an approximation of the UTS #46 table; a symbol between right-to-left
// letters counts as left-to-right for the Bidi check (so such names fail).
std::optional<std::string> DomainToAscii(std::string_view domain) {
  bool ascii = true;
  for (unsigned char c : domain) ascii = ascii && c < 0x80;
  std::string result;
  if (ascii) {
    result.reserve(domain.size());
    for (char c : domain) result += AsciiLower(c);
  } else {
    if (domain.find('\0') != std::string_view::npos || !IsValidUtf8(domain)) return std::nullopt;
    auto looked_up = Idn2Lookup(std::string(domain));
    if (!looked_up) looked_up = LookupWithSymbols(domain);
    if (!looked_up) return std::nullopt;
    result = std::move(*looked_up);
    for (char& c : result) c = AsciiLower(c);
    for (std::string_view label : SplitDots(result)) {
      if (StartsWithXn(label) && !IsValidALabel(label)) return std::nullopt;
    }
  }
  if (result.empty()) return std::nullopt;
  return result;
}

std::optional<std::uint32_t> ParseIpv4(std::string_view input) {
  std::vector<std::string_view> parts = SplitDots(input);
  if (parts.back().empty() && parts.size() > 1) parts.pop_back();
  if (parts.size() > 4) return std::nullopt;
  std::vector<std::uint64_t> numbers;
  for (std::string_view part : parts) {
    const auto n = ParseIpv4Number(part);
    if (!n) return std::nullopt;
    numbers.push_back(*n);
  }
  for (std::size_t i = 0; i + 1 < numbers.size(); ++i) {
    if (numbers[i] > 255) return std::nullopt;
  }
  if (numbers.back() >= (1ULL << (8 * (5 - numbers.size())))) return std::nullopt;
  std::uint64_t ipv4 = numbers.back();
  for (std::size_t i = 0; i + 1 < numbers.size(); ++i) ipv4 += numbers[i] << (8 * (3 - i));
  return static_cast<std::uint32_t>(ipv4);
}

std::optional<std::array<std::uint16_t, 8>> ParseIpv6(std::string_view input) {
  std::array<std::uint16_t, 8> address{};
  int piece_index = 0;
  int compress = -1;
  std::size_t p = 0;
  const auto c = [&](std::size_t i) -> int {
    return i < input.size() ? static_cast<unsigned char>(input[i]) : -1;
  };
  if (c(p) == ':') {
    if (c(p + 1) != ':') return std::nullopt;
    p += 2;
    compress = ++piece_index;
  }
  while (c(p) != -1) {
    if (piece_index == 8) return std::nullopt;
    if (c(p) == ':') {
      if (compress != -1) return std::nullopt;
      ++p;
      compress = ++piece_index;
      continue;
    }
    unsigned value = 0, length = 0;
    while (length < 4 && c(p) != -1 && IsAsciiHexDigit(static_cast<char>(c(p)))) {
      const char h = AsciiLower(static_cast<char>(c(p)));
      value = value * 16 + (IsAsciiDigit(h) ? h - '0' : h - 'a' + 10);
      ++p;
      ++length;
    }
    if (c(p) == '.') {
      // An IPv4 address in the last two pieces.
      if (length == 0) return std::nullopt;
      p -= length;
      if (piece_index > 6) return std::nullopt;
      int numbers_seen = 0;
      while (c(p) != -1) {
        int ipv4_piece = -1;
        if (numbers_seen > 0) {
          if (c(p) == '.' && numbers_seen < 4) {
            ++p;
          } else {
            return std::nullopt;
          }
        }
        if (c(p) == -1 || !IsAsciiDigit(static_cast<char>(c(p)))) return std::nullopt;
        while (c(p) != -1 && IsAsciiDigit(static_cast<char>(c(p)))) {
          const int number = c(p) - '0';
          if (ipv4_piece == -1) {
            ipv4_piece = number;
          } else if (ipv4_piece == 0) {
            return std::nullopt;
          } else {
            ipv4_piece = ipv4_piece * 10 + number;
          }
          if (ipv4_piece > 255) return std::nullopt;
          ++p;
        }
        address[piece_index] =
            static_cast<std::uint16_t>(address[piece_index] * 0x100 + ipv4_piece);
        ++numbers_seen;
        if (numbers_seen == 2 || numbers_seen == 4) ++piece_index;
      }
      if (numbers_seen != 4) return std::nullopt;
      break;
    }
    if (c(p) == ':') {
      ++p;
      if (c(p) == -1) return std::nullopt;
    } else if (c(p) != -1) {
      return std::nullopt;
    }
    address[piece_index++] = static_cast<std::uint16_t>(value);
  }
  if (compress != -1) {
    int swaps = piece_index - compress;
    piece_index = 7;
    while (piece_index != 0 && swaps > 0) {
      std::swap(address[piece_index], address[compress + swaps - 1]);
      --piece_index;
      --swaps;
    }
  } else if (piece_index != 8) {
    return std::nullopt;
  }
  return address;
}

std::optional<Host> ParseHost(std::string_view input, bool is_opaque) {
  if (!input.empty() && input.front() == '[') {
    if (input.back() != ']' || input.size() < 2) return std::nullopt;
    const auto address = ParseIpv6(input.substr(1, input.size() - 2));
    if (!address) return std::nullopt;
    Host host;
    host.kind = Host::Kind::kIpv6;
    host.ipv6 = *address;
    return host;
  }
  if (is_opaque) return ParseOpaqueHost(input);
  const std::string domain = PercentDecode(input);
  const auto ascii = DomainToAscii(domain);
  if (!ascii) return std::nullopt;
  for (unsigned char c : *ascii) {
    if (IsForbiddenDomainCodePoint(c)) return std::nullopt;
  }
  Host host;
  if (EndsInANumber(*ascii)) {
    const auto ipv4 = ParseIpv4(*ascii);
    if (!ipv4) return std::nullopt;
    host.kind = Host::Kind::kIpv4;
    host.ipv4 = *ipv4;
    return host;
  }
  host.kind = Host::Kind::kDomain;
  host.name = *ascii;
  return host;
}

// https://url.spec.whatwg.org/#concept-host-serializer
std::string Host::Serialize() const {
  switch (kind) {
    case Kind::kIpv4:
      return std::to_string(ipv4 >> 24) + '.' + std::to_string((ipv4 >> 16) & 255) + '.' +
             std::to_string((ipv4 >> 8) & 255) + '.' + std::to_string(ipv4 & 255);
    case Kind::kIpv6: {
      // The first longest run of two or more zero pieces becomes "::".
      int compress = -1, best = 1;
      for (int i = 0; i < 8;) {
        int j = i;
        while (j < 8 && ipv6[j] == 0) ++j;
        if (j - i > best) {
          best = j - i;
          compress = i;
        }
        i = j == i ? i + 1 : j;
      }
      static const char kHex[] = "0123456789abcdef";
      std::string out = "[";
      bool ignore0 = false;
      for (int i = 0; i < 8; ++i) {
        if (ignore0 && ipv6[i] == 0) continue;
        ignore0 = false;
        if (compress == i) {
          out += i == 0 ? "::" : ":";
          ignore0 = true;
          continue;
        }
        bool started = false;
        for (int shift = 12; shift >= 0; shift -= 4) {
          const int digit = (ipv6[i] >> shift) & 15;
          if (digit != 0 || started || shift == 0) {
            out += kHex[digit];
            started = true;
          }
        }
        if (i != 7) out += ':';
      }
      return out + "]";
    }
    case Kind::kDomain:
    case Kind::kOpaque:
      return name;
    case Kind::kEmpty:
      break;
  }
  return {};
}

}  // namespace docseek::platform::url
