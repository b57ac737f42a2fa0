#include "platform/url/host_parser.h"

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
// What still differs for non-ASCII names: libidn2 checks labels against
// IDNA2008, so the symbols UTS #46 lets through ("valid, NV8", e.g. U+2603)
// are refused, and so are labels with "--" in the third and fourth place
// and labels or names longer than DNS allows.
std::optional<std::string> DomainToAscii(std::string_view domain) {
  bool ascii = true;
  for (unsigned char c : domain) ascii = ascii && c < 0x80;
  std::string result;
  if (ascii) {
    result.reserve(domain.size());
    for (char c : domain) result += AsciiLower(c);
  } else {
    if (domain.find('\0') != std::string_view::npos || !IsValidUtf8(domain)) return std::nullopt;
    const std::string z(domain);
    char* out = nullptr;
    if (idn2_lookup_u8(reinterpret_cast<const uint8_t*>(z.c_str()),
                       reinterpret_cast<uint8_t**>(&out), IDN2_NONTRANSITIONAL) != IDN2_OK) {
      return std::nullopt;
    }
    std::unique_ptr<char, FreeDeleter> owner(out);
    result = out;
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
