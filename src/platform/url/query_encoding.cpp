// SPDX-License-Identifier: MIT
#include "platform/url/query_encoding.h"

#include <memory>

#include "platform/encoding/decode.h"
#include "platform/encoding/gb18030.h"
#include "platform/encoding/iconv.h"
#include "platform/encoding/labels.h"
#include "platform/text.h"

namespace docseek::url {
namespace {

using encoding::Kind;

// windows-1252 and x-user-defined: one byte per code point, or none.
bool EncodeSingleByte(char32_t cp, Kind kind, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
    return true;
  }
  if (kind == Kind::kXUserDefined) {
    if (cp < 0xF780 || cp > 0xF7FF) return false;
    out += static_cast<char>(cp - 0xF700);
    return true;
  }
  if (cp >= 0xA0 && cp <= 0xFF) {
    out += static_cast<char>(cp);
    return true;
  }
  for (std::size_t k = 0; k < encoding::kWindows1252High.size(); ++k) {
    if (encoding::kWindows1252High[k] == cp) {
      out += static_cast<char>(0x80 + k);
      return true;
    }
  }
  return false;
}

// Everything else through glibc, one code point at a time; a stateful
// encoding (ISO-2022-JP) returns to its initial state after each.
bool EncodeWithIconv(encoding::Iconv& cd, char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
    return true;
  }
  if (!cd.ok()) return false;
  std::string utf8;
  text::AppendUtf8(cp, utf8);
  char buf[16];
  char* in = utf8.data();
  std::size_t in_left = utf8.size();
  char* dst = buf;
  std::size_t dst_left = sizeof buf;
  const std::size_t rc = iconv(cd.get(), &in, &in_left, &dst, &dst_left);
  // Unmappable, or converted approximately (which a browser never does).
  const bool ok =
      rc == 0 && in_left == 0 &&
      iconv(cd.get(), nullptr, nullptr, &dst, &dst_left) != static_cast<std::size_t>(-1);
  if (!ok) {
    iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
    return false;
  }
  out.append(buf, sizeof buf - dst_left);
  return true;
}

}  // namespace

QueryEncoder QueryEncoderFor(std::string_view page_encoding) {
  const encoding::Encoding* e = encoding::ByName(page_encoding);
  if (!e) return {};
  switch (e->kind) {
    case Kind::kUtf8:
    case Kind::kUtf16Le:
    case Kind::kUtf16Be:
    case Kind::kReplacement:
      return {};
    case Kind::kWindows1252:
    case Kind::kXUserDefined:
      return [kind = e->kind](char32_t cp, std::string& out) {
        return EncodeSingleByte(cp, kind, out);
      };
    case Kind::kGb18030:
    case Kind::kGbk:
      return [gbk = e->kind == Kind::kGbk](char32_t cp, std::string& out) {
        return encoding::EncodeGb18030(cp, gbk, out);
      };
    case Kind::kBig5:
    case Kind::kIconv: {
      auto cd = std::make_shared<encoding::Iconv>(e->kind == Kind::kBig5 ? "BIG5-HKSCS" : e->iconv,
                                                  "UTF-8");
      return [cd](char32_t cp, std::string& out) { return EncodeWithIconv(*cd, cp, out); };
    }
  }
  return {};
}

}  // namespace docseek::url
