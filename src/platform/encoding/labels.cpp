// SPDX-License-Identifier: MIT
#include "platform/encoding/labels.h"

#include <string>

#include "platform/text.h"

namespace docseek::encoding {

// Canonical encodings (WHATWG names). GBK is read as its superset GB18030.
const Encoding kUtf8{"UTF-8", Kind::kUtf8, nullptr};
const Encoding kUtf16Le{"UTF-16LE", Kind::kUtf16Le, nullptr};
const Encoding kUtf16Be{"UTF-16BE", Kind::kUtf16Be, nullptr};
const Encoding kWindows1252{"windows-1252", Kind::kWindows1252, nullptr};
const Encoding kGb18030{"GB18030", Kind::kIconv, "GB18030"};

namespace {

const Encoding kXUserDefined{"x-user-defined", Kind::kXUserDefined, nullptr};
const Encoding kReplacement{"replacement", Kind::kReplacement, nullptr};
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

}  // namespace

const Encoding* Lookup(std::string_view label) {
  const std::string l = text::AsciiLowered(text::TrimAsciiWhitespace(label));
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

}  // namespace docseek::encoding
