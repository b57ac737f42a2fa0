// SPDX-License-Identifier: MIT
#include "platform/encoding/sniff.h"

#include <optional>

#include "platform/encoding/decode.h"
#include "platform/encoding/labels.h"
#include "platform/text.h"

namespace docseek::encoding {
namespace {

using text::IsAsciiAlpha;
using text::IsAsciiWhitespace;
constexpr auto Lower = text::AsciiLower;

// --- The <meta> prescan (a simplified WHATWG "prescan a byte stream") -------

bool StartsWithNoCase(std::string_view s, size_t i, std::string_view prefix) {
  if (s.size() - i < prefix.size()) return false;
  for (size_t k = 0; k < prefix.size(); ++k) {
    if (Lower(s[i + k]) != prefix[k]) return false;
  }
  return true;
}

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

// What a <meta> tag declares: its attributes read up to '>'. Returns false
// when the tag runs past the scanned bytes; `*found` is the encoding it
// declares, or nullptr.
bool ReadMetaTag(std::string_view s, size_t* i, const Encoding** found) {
  bool got_pragma = false;
  int need_pragma = -1;  // -1 null, 0 false, 1 true
  const Encoding* charset = nullptr;
  bool seen_charset = false, seen_content = false, seen_http_equiv = false;
  while (auto attr = GetAttribute(s, i)) {
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
  if (*i >= s.size()) return false;
  *found = nullptr;
  if (need_pragma != -1 && charset && !(need_pragma == 1 && !got_pragma)) {
    if (charset->kind == Kind::kUtf16Le || charset->kind == Kind::kUtf16Be) {
      *found = &kUtf8;
    } else if (charset->kind == Kind::kXUserDefined) {
      *found = &kWindows1252;
    } else {
      *found = charset;
    }
  }
  return true;
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
      const Encoding* found = nullptr;
      if (!ReadMetaTag(s, &i, &found)) return nullptr;  // the tag runs past the scanned bytes
      if (found) return found;
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
    const std::string name =
        text::AsciiLowered(text::TrimAsciiWhitespace(content_type.substr(p, eq - p)));
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

Decoded DecodeToUtf8(std::string_view bytes, std::string_view content_type) {
  // 1. A byte order mark wins over any declaration, and is not part of the text.
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    return {Decode(bytes.substr(3), kUtf8), kUtf8.name};
  }
  if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFE\xFF") {
    return {Decode(bytes.substr(2), kUtf16Be), kUtf16Be.name};
  }
  if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE") {
    return {Decode(bytes.substr(2), kUtf16Le), kUtf16Le.name};
  }
  // 2. The charset parameter of the HTTP header; an unknown label counts as none.
  const Encoding* encoding = nullptr;
  if (auto label = CharsetParam(content_type)) encoding = Lookup(*label);
  // 3. A <meta> in the first 1024 bytes.
  if (!encoding) encoding = PrescanMeta(bytes);
  // 4. Undeclared: UTF-8 when the bytes are valid UTF-8, else GB18030.
  if (!encoding) encoding = text::IsValidUtf8(bytes) ? &kUtf8 : &kGb18030;
  return {Decode(bytes, *encoding), encoding->name};
}

}  // namespace docseek::encoding
