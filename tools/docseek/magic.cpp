// SPDX-License-Identifier: MIT
#include "magic.h"

#include <algorithm>
#include <cctype>

namespace docseek::cli {
namespace {

enum class Kind { kNone, kPdf, kOffice, kRtf };

Kind KindOf(std::string_view suffix) {
  std::string lower;
  for (char c : suffix) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "pdf") return Kind::kPdf;
  if (lower == "rtf") return Kind::kRtf;
  for (std::string_view office : {"doc", "xls", "ppt", "docx", "xlsx", "pptx"}) {
    if (lower == office) return Kind::kOffice;
  }
  return Kind::kNone;
}

constexpr std::string_view kOle2("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
constexpr std::string_view kZip("PK\x03\x04", 4);

}  // namespace

Magic CheckMagic(std::string_view suffix, std::string_view head) {
  switch (KindOf(suffix)) {
    case Kind::kPdf:
      return head.substr(0, kMagicBytes).find("%PDF-") != std::string_view::npos ? Magic::kMatches
                                                                                 : Magic::kMismatch;
    case Kind::kOffice:
      return head.starts_with(kOle2) || head.starts_with(kZip) ? Magic::kMatches : Magic::kMismatch;
    case Kind::kRtf:
      return head.starts_with("{\\rtf") ? Magic::kMatches : Magic::kMismatch;
    case Kind::kNone:
      break;
  }
  return Magic::kUnknown;
}

std::string ExpectedKind(std::string_view suffix) {
  switch (KindOf(suffix)) {
    case Kind::kPdf:
      return "PDF";
    case Kind::kOffice:
      return "OLE2 or ZIP";
    case Kind::kRtf:
      return "RTF";
    case Kind::kNone:
      break;
  }
  return "";
}

}  // namespace docseek::cli
