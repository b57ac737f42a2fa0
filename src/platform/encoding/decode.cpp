// SPDX-License-Identifier: MIT
#include "platform/encoding/decode.h"

#include <errno.h>

#include <cstring>

#include "platform/encoding/big5.h"
#include "platform/encoding/gb18030.h"
#include "platform/encoding/iconv.h"
#include "platform/text.h"

namespace docseek::encoding {
namespace {

using text::AppendUtf8;
using text::kReplacementCharacter;

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
      const size_t n = text::Utf8SequenceAt(bytes, i, &bad);
      if (n == 0) break;
      i += n;
    }
    out.append(bytes.substr(start, i - start));
    if (i < bytes.size()) {
      out += kReplacementCharacter;
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
      out += kReplacementCharacter;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      out += kReplacementCharacter;
    } else {
      AppendUtf8(u, out);
    }
  }
  if (i < bytes.size()) out += kReplacementCharacter;  // odd trailing byte
  return out;
}

// windows-1252 bytes 0x80-0x9F (the rest are U+00XX).
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
    if (out.size() - used < kReplacementCharacter.size()) out.resize(out.size() * 2);
    std::memcpy(out.data() + used, kReplacementCharacter.data(), kReplacementCharacter.size());
    used += kReplacementCharacter.size();
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

}  // namespace

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
      return bytes.empty() ? std::string() : std::string(kReplacementCharacter);
    case Kind::kGb18030:
    case Kind::kGbk:
      return DecodeGb18030(bytes);
    case Kind::kBig5:
      return DecodeBig5(bytes);
    case Kind::kIconv:
      return DecodeWithIconv(bytes, encoding.iconv);
  }
  return DecodeUtf8(bytes);
}

}  // namespace docseek::encoding
