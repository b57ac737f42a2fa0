// SPDX-License-Identifier: MIT
#include "file_names.h"

#include <cctype>

namespace docseek::cli {
namespace {

// Length of the valid UTF-8 sequence at `at`, or 0 when the bytes there are
// not one (overlong forms, surrogates and values past U+10FFFF included).
std::size_t Utf8SequenceAt(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[at + i]);
    if (byte < low || byte > high) return 0;
    low = 0x80;
    high = 0xBF;
  }
  return length;
}

bool IsSpace(char c) { return c == ' '; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = HexValue(text[i + 1]);
      const int low = HexValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        out += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

}  // namespace

std::string CleanComponent(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Utf8SequenceAt(text, i);
    const auto byte = static_cast<unsigned char>(text[i]);
    if (length == 0 || byte < 0x20 || byte == 0x7F || text[i] == '/' || text[i] == '\\') {
      out += '_';
      i += length == 0 ? 1 : length;
      continue;
    }
    out.append(text, i, length);
    i += length;
  }
  // Leading dots would hide the file or, alone, name the folder itself or its
  // parent; spaces at the ends are easy to miss when typing the name.
  std::size_t start = 0;
  while (start < out.size() && (out[start] == '.' || IsSpace(out[start]))) ++start;
  std::size_t end = out.size();
  while (end > start && IsSpace(out[end - 1])) --end;
  return out.substr(start, end - start);
}

std::string CutUtf8(std::string_view text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return std::string(text);
  std::size_t cut = max_bytes;
  // Step back over continuation bytes to the start of the cut sequence.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return std::string(text.substr(0, cut));
}

std::string NameFromLink(std::string_view link, std::string_view suffix) {
  std::string_view rest = link;
  const std::size_t scheme = rest.find("://");
  if (scheme != std::string_view::npos) rest.remove_prefix(scheme + 3);
  rest = rest.substr(0, rest.find_first_of("?#"));
  const std::size_t slash = rest.find('/');
  const std::string_view host = rest.substr(0, slash);
  std::string_view path = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
  while (!path.empty() && path.back() == '/') path.remove_suffix(1);
  std::string segment(path.substr(path.rfind('/') + 1));
  segment = PercentDecode(segment);
  if (!suffix.empty() && segment.size() > suffix.size() + 1 &&
      segment[segment.size() - suffix.size() - 1] == '.') {
    std::string tail = segment.substr(segment.size() - suffix.size());
    bool same = true;
    for (std::size_t i = 0; i < tail.size(); ++i) {
      same = same && std::tolower(static_cast<unsigned char>(tail[i])) ==
                         std::tolower(static_cast<unsigned char>(suffix[i]));
    }
    if (same) segment.resize(segment.size() - suffix.size() - 1);
  }
  std::string name = CleanComponent(segment);
  if (name.empty()) name = CleanComponent(host.substr(host.rfind('@') + 1));
  if (name.empty()) name = "download";
  return name;
}

std::string FileNameFor(std::string_view title, std::string_view suffix, std::string_view link) {
  const std::string clean_suffix = CutUtf8(CleanComponent(suffix), kMaxSuffixBytes);
  std::string stem = CleanComponent(title);
  if (stem.empty()) stem = NameFromLink(link, suffix);
  const std::size_t room = kMaxNameBytes - (clean_suffix.empty() ? 0 : clean_suffix.size() + 1);
  stem = CutUtf8(stem, room);
  // The cut may leave spaces at the end.
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  if (stem.empty()) stem = "download";
  return clean_suffix.empty() ? stem : stem + "." + clean_suffix;
}

std::string MakeUnique(const std::string& name, std::set<std::string>& taken) {
  // A name is free only with its .part, so that no download's partial file
  // can be another's final name.
  const auto claim = [&taken](const std::string& candidate) {
    if (taken.contains(candidate) || taken.contains(candidate + kPartSuffix)) return false;
    taken.insert(candidate);
    taken.insert(candidate + kPartSuffix);
    return true;
  };
  if (claim(name)) return name;
  // The counter goes before the suffix so that the name keeps opening with
  // the right program.
  const std::size_t dot = name.rfind('.');
  const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
  const std::string suffix = dot == std::string::npos ? "" : name.substr(dot);
  for (int n = 2;; ++n) {
    std::string candidate = stem + " (" + std::to_string(n) + ")" + suffix;
    if (claim(candidate)) return candidate;
  }
}

}  // namespace docseek::cli
