// SPDX-License-Identifier: MIT
#include "platform/url/gbk_query.h"

#include <cstdint>

#include "platform/encoding/decode.h"
#include "platform/encoding/iconv.h"
#include "platform/text.h"

namespace docseek::url {
namespace {

using encoding::Encoding;
using encoding::Kind;

void PutAll(std::string_view bytes, std::string& out) {
  for (char c : bytes) text::AppendPercentByte(static_cast<unsigned char>(c), out);
}

void PutUnmappable(char32_t cp, std::string& out) {
  out += "%26%23";
  out += std::to_string(static_cast<std::uint32_t>(cp));
  out += "%3B";
}

// The byte a single-byte encoding of our own writes for `cp`, or -1.
int SingleByteFor(char32_t cp, Kind kind) {
  if (kind == Kind::kXUserDefined) {
    return cp >= 0xF780 && cp <= 0xF7FF ? static_cast<int>(cp - 0xF700) : -1;
  }
  if (cp >= 0xA0 && cp <= 0xFF) return static_cast<int>(cp);
  int byte = -1;
  for (size_t k = 0; k < encoding::kWindows1252High.size(); ++k) {
    if (encoding::kWindows1252High[k] == cp) byte = static_cast<int>(0x80 + k);
  }
  return byte;
}

void AppendSingleByte(std::string_view utf8, Kind kind, std::string& out) {
  for (size_t i = 0; i < utf8.size();) {
    const char32_t cp = text::NextUtf8(utf8, &i);
    if (cp < 0x80) {
      text::AppendPercentByte(static_cast<unsigned char>(cp), out);
      continue;
    }
    const int byte = SingleByteFor(cp, kind);
    if (byte >= 0) {
      text::AppendPercentByte(static_cast<unsigned char>(byte), out);
    } else {
      PutUnmappable(cp, out);
    }
  }
}

void AppendWithIconv(std::string_view utf8, const char* iconv_name, std::string& out) {
  encoding::Iconv cd(iconv_name, "UTF-8");
  if (!cd.ok()) {
    PutAll(utf8, out);
    return;
  }
  char buf[16];
  for (size_t i = 0; i < utf8.size();) {
    const size_t start = i;
    const char32_t cp = text::NextUtf8(utf8, &i);
    char* in = const_cast<char*>(utf8.data() + start);
    size_t in_left = i - start;
    char* dst = buf;
    size_t dst_left = sizeof buf;
    const size_t rc = iconv(cd.get(), &in, &in_left, &dst, &dst_left);
    if (rc == static_cast<size_t>(-1) || rc > 0) {
      // Unmappable (or converted approximately, which the standard forbids).
      iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
      PutUnmappable(cp, out);
    } else {
      PutAll(std::string_view(buf, sizeof buf - dst_left), out);
    }
  }
  // A stateful encoding (ISO-2022-JP) ends in its initial state.
  char* dst = buf;
  size_t dst_left = sizeof buf;
  if (iconv(cd.get(), nullptr, nullptr, &dst, &dst_left) != static_cast<size_t>(-1)) {
    PutAll(std::string_view(buf, sizeof buf - dst_left), out);
  }
}

}  // namespace

const Encoding& QueryEncoding(std::string_view page_encoding) {
  const Encoding* e = encoding::ByName(page_encoding);
  if (!e || e->kind == Kind::kUtf16Le || e->kind == Kind::kUtf16Be ||
      e->kind == Kind::kReplacement) {
    return encoding::kUtf8;
  }
  return *e;
}

void AppendPercentEncodedIn(std::string_view utf8, const Encoding& encoding, std::string& out) {
  switch (encoding.kind) {
    case Kind::kUtf8:
    case Kind::kUtf16Le:
    case Kind::kUtf16Be:
    case Kind::kReplacement:
      PutAll(utf8, out);
      return;
    case Kind::kWindows1252:
    case Kind::kXUserDefined:
      AppendSingleByte(utf8, encoding.kind, out);
      return;
    case Kind::kIconv:
      AppendWithIconv(utf8, encoding.iconv, out);
      return;
  }
}

}  // namespace docseek::url
