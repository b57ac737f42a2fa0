// SPDX-License-Identifier: MIT
#include "platform/html/tokenizer.h"

#include <cstring>

#include "platform/text.h"

namespace docseek::html {
namespace {

using text::IsAsciiWhitespace;
constexpr std::size_t npos = std::string_view::npos;

}  // namespace

Tokenizer::Step Tokenizer::Next(bool foreign, Tag* tag, std::size_t* text_at) {
  *text_at = npos;
  const std::size_t n = s_.size();
  if (next_ >= n) return Step::kDone;
  const void* hit = std::memchr(s_.data() + next_, '<', n - next_);
  if (!hit) return Step::kDone;
  const std::size_t i = static_cast<const char*>(hit) - s_.data();
  if (i > next_) *text_at = next_;
  next_ = i + 1;
  if (i + 1 >= n) return Step::kDone;
  const char c = s_[i + 1];
  if (c == '!' || c == '?') {
    const std::size_t after = c == '!' ? SkipDeclaration(i, foreign) : s_.find('>', i + 2);
    if (after == npos) return Step::kDone;  // the rest is a comment
    next_ = c == '!' ? after : after + 1;
    return Step::kOther;
  }
  const bool end_tag = c == '/';
  std::size_t p = i + (end_tag ? 2 : 1);
  if (p >= n || !text::IsAsciiAlpha(s_[p])) {
    if (end_tag) {
      // "</>" is ignored; "</" + anything else but a letter is a bogus comment.
      const std::size_t a = s_.find('>', i + 2);
      if (a == npos) return Step::kDone;
      next_ = a + 1;
    }
    return Step::kOther;  // '<' as text
  }
  tag->name.clear();
  while (p < n && !IsAsciiWhitespace(s_[p]) && s_[p] != '/' && s_[p] != '>') {
    tag->name += text::AsciiLower(s_[p++]);
  }
  const std::size_t after = SkipAttributes(p, &tag->self_closing);
  if (after == npos) return Step::kDone;  // the tag runs to the end of input
  next_ = after;
  tag->end = end_tag;
  tag->begin = i;
  tag->end_index = after;
  return Step::kTag;
}

std::size_t Tokenizer::SkipDeclaration(std::size_t i, bool foreign) const {
  const std::size_t n = s_.size();
  if (s_.compare(i, 4, "<!--") == 0) {
    // Ends at the first "-->" or "--!>" ("<!-->" and "<!--->" included).
    std::size_t p = i + 2;
    while ((p = s_.find("--", p)) != npos) {
      if (p + 2 < n && s_[p + 2] == '>') return p + 3;
      if (p + 3 < n && s_[p + 2] == '!' && s_[p + 3] == '>') return p + 4;
      ++p;
    }
    return npos;
  }
  if (foreign && s_.compare(i, 9, "<![CDATA[") == 0) {
    const std::size_t a = s_.find("]]>", i + 9);
    return a == npos ? npos : a + 3;
  }
  const std::size_t a = s_.find('>', i + 2);
  return a == npos ? npos : a + 1;
}

std::size_t Tokenizer::SkipAttributes(std::size_t p, bool* self_closing) const {
  *self_closing = false;
  const std::size_t n = s_.size();
  while (p < n) {
    const char c = s_[p];
    if (IsAsciiWhitespace(c)) {
      ++p;
    } else if (c == '>') {
      return p + 1;
    } else if (c == '/') {
      if (p + 1 < n && s_[p + 1] == '>') {
        *self_closing = true;
        return p + 2;
      }
      ++p;
    } else {
      // An attribute name (its first character may be '=').
      ++p;
      while (p < n && !IsAsciiWhitespace(s_[p]) && s_[p] != '/' && s_[p] != '>' && s_[p] != '=')
        ++p;
      while (p < n && IsAsciiWhitespace(s_[p])) ++p;
      if (p < n && s_[p] == '=') {
        ++p;
        while (p < n && IsAsciiWhitespace(s_[p])) ++p;
        if (p < n && (s_[p] == '"' || s_[p] == '\'')) {
          const std::size_t close = s_.find(s_[p], p + 1);
          if (close == npos) return npos;
          p = close + 1;
        } else {
          while (p < n && !IsAsciiWhitespace(s_[p]) && s_[p] != '>') ++p;
        }
      }
    }
  }
  return npos;  // end of input inside the tag: the tag is dropped
}

std::size_t Tokenizer::RawTextEnd(std::size_t from, std::string_view lower_name) const {
  std::size_t p = from;
  while (true) {
    const void* hit = std::memchr(s_.data() + p, '<', s_.size() - p);
    if (!hit) return s_.size();
    p = static_cast<const char*>(hit) - s_.data();
    if (p + 2 + lower_name.size() <= s_.size() && s_[p + 1] == '/') {
      bool match = true;
      for (std::size_t k = 0; k < lower_name.size(); ++k) {
        if (text::AsciiLower(s_[p + 2 + k]) != lower_name[k]) {
          match = false;
          break;
        }
      }
      const std::size_t after = p + 2 + lower_name.size();
      if (match && (after == s_.size() || IsAsciiWhitespace(s_[after]) || s_[after] == '/' ||
                    s_[after] == '>')) {
        return p;
      }
    }
    ++p;
  }
}

}  // namespace docseek::html
