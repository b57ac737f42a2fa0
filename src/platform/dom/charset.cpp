#include "platform/dom/charset.h"

#include <errno.h>
#include <glib.h>
#include <iconv.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>

#include "platform/dom/charset_internal.h"

namespace docseek::dom {
namespace charset {
namespace {

// Canonical encodings (WHATWG names). GBK is read as its superset GB18030.
const Encoding kUtf8{"UTF-8", Kind::kUtf8, nullptr};
const Encoding kUtf16Le{"UTF-16LE", Kind::kUtf16Le, nullptr};
const Encoding kUtf16Be{"UTF-16BE", Kind::kUtf16Be, nullptr};
const Encoding kWindows1252{"windows-1252", Kind::kWindows1252, nullptr};
const Encoding kXUserDefined{"x-user-defined", Kind::kXUserDefined, nullptr};
const Encoding kReplacement{"replacement", Kind::kReplacement, nullptr};
const Encoding kGb18030{"GB18030", Kind::kIconv, "GB18030"};
const Encoding kBig5{"Big5", Kind::kIconv, "BIG5-HKSCS"};
const Encoding kShiftJis{"Shift_JIS", Kind::kIconv, "CP932"};
const Encoding kEucJp{"EUC-JP", Kind::kIconv, "EUC-JP"};
const Encoding kIso2022Jp{"ISO-2022-JP", Kind::kIconv, "ISO-2022-JP"};
const Encoding kEucKr{"EUC-KR", Kind::kIconv, "CP949"};
const Encoding kIbm866{"IBM866", Kind::kIconv, "IBM866"};
const Encoding kKoi8R{"KOI8-R", Kind::kIconv, "KOI8-R"};
const Encoding kKoi8U{"KOI8-U", Kind::kIconv, "KOI8-U"};
const Encoding kMacintosh{"macintosh", Kind::kIconv, "MACINTOSH"};
const Encoding kMacCyrillic{"x-mac-cyrillic", Kind::kIconv, "MAC-CYRILLIC"};
const Encoding kWindows874{"windows-874", Kind::kIconv, "CP874"};
const Encoding kWindows1250{"windows-1250", Kind::kIconv, "CP1250"};
const Encoding kWindows1251{"windows-1251", Kind::kIconv, "CP1251"};
const Encoding kWindows1253{"windows-1253", Kind::kIconv, "CP1253"};
const Encoding kWindows1254{"windows-1254", Kind::kIconv, "CP1254"};
const Encoding kWindows1255{"windows-1255", Kind::kIconv, "CP1255"};
const Encoding kWindows1256{"windows-1256", Kind::kIconv, "CP1256"};
const Encoding kWindows1257{"windows-1257", Kind::kIconv, "CP1257"};
const Encoding kWindows1258{"windows-1258", Kind::kIconv, "CP1258"};
const Encoding kIso8859_2{"ISO-8859-2", Kind::kIconv, "ISO-8859-2"};
const Encoding kIso8859_3{"ISO-8859-3", Kind::kIconv, "ISO-8859-3"};
const Encoding kIso8859_4{"ISO-8859-4", Kind::kIconv, "ISO-8859-4"};
const Encoding kIso8859_5{"ISO-8859-5", Kind::kIconv, "ISO-8859-5"};
const Encoding kIso8859_6{"ISO-8859-6", Kind::kIconv, "ISO-8859-6"};
const Encoding kIso8859_7{"ISO-8859-7", Kind::kIconv, "ISO-8859-7"};
const Encoding kIso8859_8{"ISO-8859-8", Kind::kIconv, "ISO-8859-8"};
const Encoding kIso8859_8I{"ISO-8859-8-I", Kind::kIconv, "ISO-8859-8"};
const Encoding kIso8859_10{"ISO-8859-10", Kind::kIconv, "ISO-8859-10"};
const Encoding kIso8859_13{"ISO-8859-13", Kind::kIconv, "ISO-8859-13"};
const Encoding kIso8859_14{"ISO-8859-14", Kind::kIconv, "ISO-8859-14"};
const Encoding kIso8859_15{"ISO-8859-15", Kind::kIconv, "ISO-8859-15"};
const Encoding kIso8859_16{"ISO-8859-16", Kind::kIconv, "ISO-8859-16"};

const Encoding* const kAll[] = {
    &kUtf8,        &kUtf16Le,     &kUtf16Be,     &kWindows1252, &kXUserDefined, &kReplacement,
    &kGb18030,     &kBig5,        &kShiftJis,    &kEucJp,       &kIso2022Jp,    &kEucKr,
    &kIbm866,      &kKoi8R,       &kKoi8U,       &kMacintosh,   &kMacCyrillic,  &kWindows874,
    &kWindows1250, &kWindows1251, &kWindows1253, &kWindows1254, &kWindows1255,  &kWindows1256,
    &kWindows1257, &kWindows1258, &kIso8859_2,   &kIso8859_3,   &kIso8859_4,    &kIso8859_5,
    &kIso8859_6,   &kIso8859_7,   &kIso8859_8,   &kIso8859_8I,  &kIso8859_10,   &kIso8859_13,
    &kIso8859_14,  &kIso8859_15,  &kIso8859_16,
};

struct Label {
  const char* label;
  const Encoding* encoding;
};

// The labels of the WHATWG Encoding standard (all of them but a few ISO-8859
// spellings, which LookupIso8859 below reads generically).
const Label kLabels[] = {
    {"unicode-1-1-utf-8", &kUtf8},
    {"unicode11utf8", &kUtf8},
    {"unicode20utf8", &kUtf8},
    {"utf-8", &kUtf8},
    {"utf8", &kUtf8},
    {"x-unicode20utf8", &kUtf8},
    {"866", &kIbm866},
    {"cp866", &kIbm866},
    {"csibm866", &kIbm866},
    {"ibm866", &kIbm866},
    {"csisolatin2", &kIso8859_2},
    {"iso-ir-101", &kIso8859_2},
    {"l2", &kIso8859_2},
    {"latin2", &kIso8859_2},
    {"csisolatin3", &kIso8859_3},
    {"iso-ir-109", &kIso8859_3},
    {"l3", &kIso8859_3},
    {"latin3", &kIso8859_3},
    {"csisolatin4", &kIso8859_4},
    {"iso-ir-110", &kIso8859_4},
    {"l4", &kIso8859_4},
    {"latin4", &kIso8859_4},
    {"csisolatincyrillic", &kIso8859_5},
    {"cyrillic", &kIso8859_5},
    {"iso-ir-144", &kIso8859_5},
    {"arabic", &kIso8859_6},
    {"asmo-708", &kIso8859_6},
    {"csiso88596e", &kIso8859_6},
    {"csiso88596i", &kIso8859_6},
    {"csisolatinarabic", &kIso8859_6},
    {"ecma-114", &kIso8859_6},
    {"iso-8859-6-e", &kIso8859_6},
    {"iso-8859-6-i", &kIso8859_6},
    {"iso-ir-127", &kIso8859_6},
    {"csisolatingreek", &kIso8859_7},
    {"ecma-118", &kIso8859_7},
    {"elot_928", &kIso8859_7},
    {"greek", &kIso8859_7},
    {"greek8", &kIso8859_7},
    {"iso-ir-126", &kIso8859_7},
    {"sun_eu_greek", &kIso8859_7},
    {"csiso88598e", &kIso8859_8},
    {"csisolatinhebrew", &kIso8859_8},
    {"hebrew", &kIso8859_8},
    {"iso-8859-8-e", &kIso8859_8},
    {"iso-ir-138", &kIso8859_8},
    {"visual", &kIso8859_8},
    {"csiso88598i", &kIso8859_8I},
    {"iso-8859-8-i", &kIso8859_8I},
    {"logical", &kIso8859_8I},
    {"csisolatin6", &kIso8859_10},
    {"iso-ir-157", &kIso8859_10},
    {"l6", &kIso8859_10},
    {"latin6", &kIso8859_10},
    {"l9", &kIso8859_15},
    {"csisolatin9", &kIso8859_15},
    {"latin9", &kIso8859_15},
    {"cskoi8r", &kKoi8R},
    {"koi", &kKoi8R},
    {"koi8", &kKoi8R},
    {"koi8-r", &kKoi8R},
    {"koi8_r", &kKoi8R},
    {"koi8-ru", &kKoi8U},
    {"koi8-u", &kKoi8U},
    {"csmacintosh", &kMacintosh},
    {"mac", &kMacintosh},
    {"macintosh", &kMacintosh},
    {"x-mac-roman", &kMacintosh},
    {"dos-874", &kWindows874},
    {"tis-620", &kWindows874},
    {"windows-874", &kWindows874},
    {"cp1250", &kWindows1250},
    {"windows-1250", &kWindows1250},
    {"x-cp1250", &kWindows1250},
    {"cp1251", &kWindows1251},
    {"windows-1251", &kWindows1251},
    {"x-cp1251", &kWindows1251},
    {"ansi_x3.4-1968", &kWindows1252},
    {"ascii", &kWindows1252},
    {"cp1252", &kWindows1252},
    {"cp819", &kWindows1252},
    {"csisolatin1", &kWindows1252},
    {"ibm819", &kWindows1252},
    {"iso-ir-100", &kWindows1252},
    {"l1", &kWindows1252},
    {"latin1", &kWindows1252},
    {"us-ascii", &kWindows1252},
    {"windows-1252", &kWindows1252},
    {"x-cp1252", &kWindows1252},
    {"cp1253", &kWindows1253},
    {"windows-1253", &kWindows1253},
    {"x-cp1253", &kWindows1253},
    {"cp1254", &kWindows1254},
    {"csisolatin5", &kWindows1254},
    {"iso-ir-148", &kWindows1254},
    {"l5", &kWindows1254},
    {"latin5", &kWindows1254},
    {"windows-1254", &kWindows1254},
    {"x-cp1254", &kWindows1254},
    {"cp1255", &kWindows1255},
    {"windows-1255", &kWindows1255},
    {"x-cp1255", &kWindows1255},
    {"cp1256", &kWindows1256},
    {"windows-1256", &kWindows1256},
    {"x-cp1256", &kWindows1256},
    {"cp1257", &kWindows1257},
    {"windows-1257", &kWindows1257},
    {"x-cp1257", &kWindows1257},
    {"cp1258", &kWindows1258},
    {"windows-1258", &kWindows1258},
    {"x-cp1258", &kWindows1258},
    {"x-mac-cyrillic", &kMacCyrillic},
    {"x-mac-ukrainian", &kMacCyrillic},
    {"chinese", &kGb18030},
    {"csgb2312", &kGb18030},
    {"csiso58gb231280", &kGb18030},
    {"gb2312", &kGb18030},
    {"gb_2312", &kGb18030},
    {"gb_2312-80", &kGb18030},
    {"gbk", &kGb18030},
    {"iso-ir-58", &kGb18030},
    {"x-gbk", &kGb18030},
    {"gb18030", &kGb18030},
    {"big5", &kBig5},
    {"big5-hkscs", &kBig5},
    {"cn-big5", &kBig5},
    {"csbig5", &kBig5},
    {"x-x-big5", &kBig5},
    {"cseucpkdfmtjapanese", &kEucJp},
    {"euc-jp", &kEucJp},
    {"x-euc-jp", &kEucJp},
    {"csiso2022jp", &kIso2022Jp},
    {"iso-2022-jp", &kIso2022Jp},
    {"csshiftjis", &kShiftJis},
    {"ms932", &kShiftJis},
    {"ms_kanji", &kShiftJis},
    {"shift-jis", &kShiftJis},
    {"shift_jis", &kShiftJis},
    {"sjis", &kShiftJis},
    {"windows-31j", &kShiftJis},
    {"x-sjis", &kShiftJis},
    {"cseuckr", &kEucKr},
    {"csksc56011987", &kEucKr},
    {"euc-kr", &kEucKr},
    {"iso-ir-149", &kEucKr},
    {"korean", &kEucKr},
    {"ks_c_5601-1987", &kEucKr},
    {"ks_c_5601-1989", &kEucKr},
    {"ksc5601", &kEucKr},
    {"ksc_5601", &kEucKr},
    {"windows-949", &kEucKr},
    {"csiso2022kr", &kReplacement},
    {"hz-gb-2312", &kReplacement},
    {"iso-2022-cn", &kReplacement},
    {"iso-2022-cn-ext", &kReplacement},
    {"iso-2022-kr", &kReplacement},
    {"replacement", &kReplacement},
    {"unicodefffe", &kUtf16Be},
    {"utf-16be", &kUtf16Be},
    {"csunicode", &kUtf16Le},
    {"iso-10646-ucs-2", &kUtf16Le},
    {"ucs-2", &kUtf16Le},
    {"unicode", &kUtf16Le},
    {"unicodefeff", &kUtf16Le},
    {"utf-16", &kUtf16Le},
    {"utf-16le", &kUtf16Le},
    {"x-user-defined", &kXUserDefined},
};

bool IsAsciiWhitespace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerTrimmed(std::string_view s) {
  while (!s.empty() && IsAsciiWhitespace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsAsciiWhitespace(s.back())) s.remove_suffix(1);
  std::string out(s);
  for (char& c : out) c = Lower(c);
  return out;
}

// "iso-8859-N", "iso8859-N", "iso8859N", "iso_8859-N", "iso_8859-N:YYYY".
const Encoding* LookupIso8859(std::string_view label) {
  std::string_view rest;
  for (std::string_view prefix : {"iso-8859-", "iso8859-", "iso_8859-", "iso8859"}) {
    if (label.substr(0, prefix.size()) == prefix) {
      rest = label.substr(prefix.size());
      break;
    }
  }
  if (rest.empty()) return nullptr;
  const bool underscore = label.substr(0, 4) == "iso_";
  if (underscore) {
    const auto colon = rest.find(':');
    if (colon != std::string_view::npos) rest = rest.substr(0, colon);
  }
  int n = 0;
  for (char c : rest) {
    if (c < '0' || c > '9' || n > 100) return nullptr;
    n = n * 10 + (c - '0');
  }
  switch (n) {
    case 1:
      return &kWindows1252;
    case 2:
      return &kIso8859_2;
    case 3:
      return &kIso8859_3;
    case 4:
      return &kIso8859_4;
    case 5:
      return &kIso8859_5;
    case 6:
      return &kIso8859_6;
    case 7:
      return &kIso8859_7;
    case 8:
      return &kIso8859_8;
    case 9:
      return &kWindows1254;
    case 10:
      return &kIso8859_10;
    case 11:
      return &kWindows874;
    case 13:
      return &kIso8859_13;
    case 14:
      return &kIso8859_14;
    case 15:
      return &kIso8859_15;
    case 16:
      return &kIso8859_16;
    default:
      return nullptr;
  }
}

void AppendUtf8(uint32_t cp, std::string& out) {
  char buffer[6];
  out.append(buffer, static_cast<std::size_t>(g_unichar_to_utf8(cp, buffer)));
}

constexpr std::string_view kReplacementChar = "\xEF\xBF\xBD";

// Length of the well-formed UTF-8 sequence at s[i], or 0 with `*bad` set to the
// length of its maximal subpart (the bytes one U+FFFD stands for, as the WHATWG
// UTF-8 decoder counts them).
size_t Utf8SequenceAt(std::string_view s, size_t i, size_t* bad) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  if (c < 0x80) return 1;
  size_t need;
  unsigned char lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    need = 1;
  } else if (c >= 0xE0 && c <= 0xEF) {
    need = 2;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    need = 3;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    *bad = 1;
    return 0;
  }
  size_t k = 1;
  for (; k <= need; ++k) {
    if (i + k >= s.size()) break;
    const unsigned char t = b(i + k);
    if (t < lo || t > hi) break;
    lo = 0x80;
    hi = 0xBF;
  }
  if (k == need + 1) return need + 1;
  *bad = k;
  return 0;
}

std::string DecodeUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    // Copy the longest well-formed stretch in one go.
    size_t start = i;
    size_t bad = 0;
    while (i < bytes.size()) {
      if (static_cast<unsigned char>(bytes[i]) < 0x80) {
        ++i;
        continue;
      }
      const size_t n = Utf8SequenceAt(bytes, i, &bad);
      if (n == 0) break;
      i += n;
    }
    out.append(bytes.substr(start, i - start));
    if (i < bytes.size()) {
      out += kReplacementChar;
      i += bad;
    }
  }
  return out;
}

std::string DecodeUtf16(std::string_view bytes, bool little_endian) {
  std::string out;
  out.reserve(bytes.size() * 3 / 2);
  const auto unit = [&](size_t i) -> uint32_t {
    const auto a = static_cast<unsigned char>(bytes[i]);
    const auto b = static_cast<unsigned char>(bytes[i + 1]);
    return little_endian ? (a | (b << 8)) : ((a << 8) | b);
  };
  size_t i = 0;
  while (i + 1 < bytes.size()) {
    const uint32_t u = unit(i);
    i += 2;
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 1 < bytes.size()) {
        const uint32_t v = unit(i);
        if (v >= 0xDC00 && v <= 0xDFFF) {
          i += 2;
          AppendUtf8(0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00), out);
          continue;
        }
      }
      out += kReplacementChar;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      out += kReplacementChar;
    } else {
      AppendUtf8(u, out);
    }
  }
  if (i < bytes.size()) out += kReplacementChar;  // odd trailing byte
  return out;
}

// windows-1252 bytes 0x80-0x9F (the rest are U+00XX).
constexpr std::array<uint16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string DecodeSingleByte(std::string_view bytes, bool user_defined) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else if (user_defined) {
      AppendUtf8(0xF700 + c, out);
    } else if (c < 0xA0) {
      AppendUtf8(kWindows1252High[c - 0x80], out);
    } else {
      AppendUtf8(c, out);
    }
  }
  return out;
}

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

std::string DecodeWithIconv(std::string_view bytes, const char* iconv_name) {
  Iconv cd("UTF-8", iconv_name);
  if (!cd.ok()) return DecodeSingleByte(bytes, false);  // cannot happen with glibc's tables
  std::string out;
  out.resize(bytes.size() * 2 + 16);
  size_t used = 0;
  char* in = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  while (true) {
    char* dst = out.data() + used;
    size_t dst_left = out.size() - used;
    const size_t rc = in_left == 0 ? iconv(cd.get(), nullptr, nullptr, &dst, &dst_left)
                                   : iconv(cd.get(), &in, &in_left, &dst, &dst_left);
    used = out.size() - dst_left;
    if (rc != static_cast<size_t>(-1)) {
      if (in_left == 0) break;
      continue;
    }
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    // EILSEQ: an invalid sequence; EINVAL: an incomplete one at the end.
    // Either way one U+FFFD for its first byte, then go on after it (a valid
    // byte that followed is read again, as the WHATWG decoders do for ASCII).
    if (out.size() - used < kReplacementChar.size()) out.resize(out.size() * 2);
    std::memcpy(out.data() + used, kReplacementChar.data(), kReplacementChar.size());
    used += kReplacementChar.size();
    if (errno == EINVAL && in_left > 0) {
      // Incomplete at the end: the rest is one error.
      in_left = 0;
      continue;
    }
    if (in_left > 0) {
      ++in;
      --in_left;
    }
    iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);  // reset the shift state
  }
  out.resize(used);
  return out;
}

// --- The <meta> prescan (a simplified WHATWG "prescan a byte stream") -------

bool StartsWithNoCase(std::string_view s, size_t i, std::string_view prefix) {
  if (s.size() - i < prefix.size()) return false;
  for (size_t k = 0; k < prefix.size(); ++k) {
    if (Lower(s[i + k]) != prefix[k]) return false;
  }
  return true;
}

bool IsAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

struct Attribute {
  std::string name;
  std::string value;
};

// WHATWG "get an attribute": reads one attribute at s[*i]; nullopt at '>' or
// at the end of the scanned bytes.
std::optional<Attribute> GetAttribute(std::string_view s, size_t* i) {
  size_t p = *i;
  while (p < s.size() && (IsAsciiWhitespace(s[p]) || s[p] == '/')) ++p;
  if (p >= s.size() || s[p] == '>') {
    *i = p;
    return std::nullopt;
  }
  Attribute attr;
  // Name: the first character may be '='.
  do {
    attr.name += Lower(s[p]);
    ++p;
  } while (p < s.size() && s[p] != '=' && s[p] != '/' && s[p] != '>' && !IsAsciiWhitespace(s[p]));
  while (p < s.size() && IsAsciiWhitespace(s[p])) ++p;
  if (p >= s.size() || s[p] != '=') {
    *i = p;
    return attr;
  }
  ++p;
  while (p < s.size() && IsAsciiWhitespace(s[p])) ++p;
  if (p < s.size() && (s[p] == '"' || s[p] == '\'')) {
    const char quote = s[p++];
    while (p < s.size() && s[p] != quote) attr.value += Lower(s[p++]);
    if (p >= s.size()) {  // the value runs past the scanned bytes
      *i = p;
      return std::nullopt;
    }
    ++p;
  } else {
    while (p < s.size() && s[p] != '>' && !IsAsciiWhitespace(s[p])) attr.value += Lower(s[p++]);
  }
  *i = p;
  return attr;
}

// WHATWG "extract a character encoding from a meta element": the label after
// "charset=" in a content attribute value (already lower-cased).
std::optional<std::string> CharsetFromContent(std::string_view s) {
  size_t p = 0;
  while (true) {
    p = s.find("charset", p);
    if (p == std::string_view::npos) return std::nullopt;
    p += 7;
    while (p < s.size() && IsAsciiWhitespace(s[p])) ++p;
    if (p < s.size() && s[p] == '=') break;
  }
  ++p;
  while (p < s.size() && IsAsciiWhitespace(s[p])) ++p;
  if (p >= s.size()) return std::nullopt;
  if (s[p] == '"' || s[p] == '\'') {
    const char quote = s[p++];
    const size_t end = s.find(quote, p);
    if (end == std::string_view::npos) return std::nullopt;
    return std::string(s.substr(p, end - p));
  }
  size_t end = p;
  while (end < s.size() && s[end] != ';' && !IsAsciiWhitespace(s[end])) ++end;
  if (end == p) return std::nullopt;
  return std::string(s.substr(p, end - p));
}

// The encoding a <meta> in the first 1024 bytes declares, or nullptr.
const Encoding* PrescanMeta(std::string_view bytes) {
  const std::string_view s = bytes.substr(0, 1024);
  size_t i = 0;
  while (i < s.size()) {
    if (s[i] != '<') {
      ++i;
      continue;
    }
    if (s.compare(i, 4, "<!--") == 0) {
      const size_t end = s.find("-->", i + 2);
      if (end == std::string_view::npos) return nullptr;
      i = end + 3;
      continue;
    }
    if (StartsWithNoCase(s, i, "<meta") && i + 5 < s.size() &&
        (IsAsciiWhitespace(s[i + 5]) || s[i + 5] == '/')) {
      i += 5;
      bool got_pragma = false;
      int need_pragma = -1;  // -1 null, 0 false, 1 true
      const Encoding* charset = nullptr;
      bool seen_charset = false, seen_content = false, seen_http_equiv = false;
      while (auto attr = GetAttribute(s, &i)) {
        if (attr->name == "http-equiv" && !seen_http_equiv) {
          seen_http_equiv = true;
          if (attr->value == "content-type") got_pragma = true;
        } else if (attr->name == "content" && !seen_content) {
          seen_content = true;
          if (!charset) {
            if (auto label = CharsetFromContent(attr->value)) {
              charset = Lookup(*label);
              if (charset) need_pragma = 1;
            }
          }
        } else if (attr->name == "charset" && !seen_charset) {
          seen_charset = true;
          charset = Lookup(attr->value);
          need_pragma = charset ? 0 : need_pragma;
        }
      }
      if (i >= s.size()) return nullptr;  // the tag runs past the scanned bytes
      if (need_pragma != -1 && charset && !(need_pragma == 1 && !got_pragma)) {
        if (charset->kind == Kind::kUtf16Le || charset->kind == Kind::kUtf16Be) return &kUtf8;
        if (charset->kind == Kind::kXUserDefined) return &kWindows1252;
        return charset;
      }
      continue;
    }
    if ((i + 1 < s.size() && IsAsciiAlpha(s[i + 1])) ||
        (i + 2 < s.size() && s[i + 1] == '/' && IsAsciiAlpha(s[i + 2]))) {
      // Another tag: skip its name, then its attributes.
      ++i;
      while (i < s.size() && !IsAsciiWhitespace(s[i]) && s[i] != '>') ++i;
      while (GetAttribute(s, &i)) {
      }
      continue;
    }
    if (i + 1 < s.size() && (s[i + 1] == '!' || s[i + 1] == '/' || s[i + 1] == '?')) {
      const size_t end = s.find('>', i + 1);
      if (end == std::string_view::npos) return nullptr;
      i = end + 1;
      continue;
    }
    ++i;
  }
  return nullptr;
}

// The charset parameter of an HTTP Content-Type value, e.g.
// `text/html; charset="gbk"` -> "gbk".
std::optional<std::string> CharsetParam(std::string_view content_type) {
  size_t p = content_type.find(';');
  while (p != std::string_view::npos) {
    ++p;
    while (p < content_type.size() && IsAsciiWhitespace(content_type[p])) ++p;
    size_t eq = p;
    while (eq < content_type.size() && content_type[eq] != '=' && content_type[eq] != ';') ++eq;
    const std::string name = LowerTrimmed(content_type.substr(p, eq - p));
    if (eq >= content_type.size()) return std::nullopt;
    if (content_type[eq] == ';') {
      p = eq;
      continue;
    }
    size_t v = eq + 1;
    std::string value;
    size_t next;
    if (v < content_type.size() && content_type[v] == '"') {
      ++v;
      while (v < content_type.size() && content_type[v] != '"') {
        if (content_type[v] == '\\' && v + 1 < content_type.size()) ++v;
        value += content_type[v++];
      }
      next = content_type.find(';', v);
    } else {
      next = content_type.find(';', v);
      value = std::string(content_type.substr(v, next == std::string_view::npos ? next : next - v));
    }
    if (name == "charset") return value;
    p = next;
  }
  return std::nullopt;
}

}  // namespace

const Encoding* Lookup(std::string_view label) {
  const std::string l = LowerTrimmed(label);
  if (l.empty()) return nullptr;
  for (const Label& entry : kLabels) {
    if (l == entry.label) return entry.encoding;
  }
  return LookupIso8859(l);
}

const Encoding* ByName(std::string_view name) {
  for (const Encoding* e : kAll) {
    if (name == e->name) return e;
  }
  return Lookup(name);
}

bool IsValidUtf8(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    size_t bad = 0;
    const size_t n = Utf8SequenceAt(bytes, i, &bad);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string Decode(std::string_view bytes, const Encoding& encoding) {
  switch (encoding.kind) {
    case Kind::kUtf8:
      return DecodeUtf8(bytes);
    case Kind::kUtf16Le:
      return DecodeUtf16(bytes, true);
    case Kind::kUtf16Be:
      return DecodeUtf16(bytes, false);
    case Kind::kWindows1252:
      return DecodeSingleByte(bytes, false);
    case Kind::kXUserDefined:
      return DecodeSingleByte(bytes, true);
    case Kind::kReplacement:
      return bytes.empty() ? std::string() : std::string(kReplacementChar);
    case Kind::kIconv:
      return DecodeWithIconv(bytes, encoding.iconv);
  }
  return DecodeUtf8(bytes);
}

const Encoding& QueryEncoding(std::string_view page_encoding) {
  const Encoding* e = ByName(page_encoding);
  if (!e || e->kind == Kind::kUtf16Le || e->kind == Kind::kUtf16Be ||
      e->kind == Kind::kReplacement) {
    return kUtf8;
  }
  return *e;
}

void AppendPercentEncodedIn(std::string_view utf8, const Encoding& encoding, std::string& out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const auto put = [&out](unsigned char c) {
    out += '%';
    out += kHex[c >> 4];
    out += kHex[c & 15];
  };
  const auto put_all = [&](std::string_view bytes) {
    for (char c : bytes) put(static_cast<unsigned char>(c));
  };
  // Code point of the UTF-8 sequence at utf8[i] (input is valid UTF-8).
  const auto code_point = [&](size_t i, size_t n) {
    uint32_t cp = static_cast<unsigned char>(utf8[i]) & (n == 1 ? 0x7F : (0xFF >> (n + 1)));
    for (size_t k = 1; k < n; ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    return cp;
  };
  const auto seq_len = [&](size_t i) -> size_t {
    size_t bad = 0;
    const size_t n = Utf8SequenceAt(utf8, i, &bad);
    return n ? n : bad;
  };
  const auto unmappable = [&](uint32_t cp) {
    out += "%26%23";
    out += std::to_string(cp);
    out += "%3B";
  };
  switch (encoding.kind) {
    case Kind::kUtf8:
    case Kind::kUtf16Le:
    case Kind::kUtf16Be:
    case Kind::kReplacement:
      put_all(utf8);
      return;
    case Kind::kWindows1252:
    case Kind::kXUserDefined:
      for (size_t i = 0; i < utf8.size();) {
        const size_t n = seq_len(i);
        const uint32_t cp = code_point(i, n);
        i += n;
        if (cp < 0x80) {
          put(static_cast<unsigned char>(cp));
          continue;
        }
        int byte = -1;
        if (encoding.kind == Kind::kXUserDefined) {
          if (cp >= 0xF780 && cp <= 0xF7FF) byte = static_cast<int>(cp - 0xF700);
        } else if (cp >= 0xA0 && cp <= 0xFF) {
          byte = static_cast<int>(cp);
        } else {
          for (size_t k = 0; k < kWindows1252High.size(); ++k) {
            if (kWindows1252High[k] == cp) byte = static_cast<int>(0x80 + k);
          }
        }
        if (byte >= 0) {
          put(static_cast<unsigned char>(byte));
        } else {
          unmappable(cp);
        }
      }
      return;
    case Kind::kIconv:
      break;
  }
  Iconv cd(encoding.iconv, "UTF-8");
  if (!cd.ok()) {
    put_all(utf8);
    return;
  }
  char buf[16];
  for (size_t i = 0; i < utf8.size();) {
    const size_t n = seq_len(i);
    char* in = const_cast<char*>(utf8.data() + i);
    size_t in_left = n;
    char* dst = buf;
    size_t dst_left = sizeof buf;
    const size_t rc = iconv(cd.get(), &in, &in_left, &dst, &dst_left);
    if (rc == static_cast<size_t>(-1) || rc > 0) {
      // Unmappable (or converted approximately, which the standard forbids).
      iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
      unmappable(code_point(i, n));
    } else {
      put_all(std::string_view(buf, sizeof buf - dst_left));
    }
    i += n;
  }
  // A stateful encoding (ISO-2022-JP) ends in its initial state.
  char* dst = buf;
  size_t dst_left = sizeof buf;
  if (iconv(cd.get(), nullptr, nullptr, &dst, &dst_left) != static_cast<size_t>(-1)) {
    put_all(std::string_view(buf, sizeof buf - dst_left));
  }
}

}  // namespace charset

Decoded DecodeToUtf8(std::string_view bytes, std::string_view content_type) {
  using namespace charset;
  // 1. A byte order mark wins over any declaration, and is not part of the text.
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    return {DecodeUtf8(bytes.substr(3)), kUtf8.name};
  }
  if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFE\xFF") {
    return {DecodeUtf16(bytes.substr(2), false), kUtf16Be.name};
  }
  if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE") {
    return {DecodeUtf16(bytes.substr(2), true), kUtf16Le.name};
  }
  // 2. The charset parameter of the HTTP header; an unknown label counts as none.
  const Encoding* encoding = nullptr;
  if (auto label = CharsetParam(content_type)) encoding = Lookup(*label);
  // 3. A <meta> in the first 1024 bytes.
  if (!encoding) encoding = PrescanMeta(bytes);
  // 4. Undeclared: UTF-8 when the bytes are valid UTF-8, else GB18030.
  if (!encoding) encoding = IsValidUtf8(bytes) ? &kUtf8 : &kGb18030;
  return {Decode(bytes, *encoding), encoding->name};
}

}  // namespace docseek::dom
