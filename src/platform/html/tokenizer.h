// SPDX-License-Identifier: MIT
#pragma once

// The markup guard's tokenizer: the few tokenizer states that decide where a
// tag starts and ends (comments, bogus comments, CDATA in foreign content,
// quoted attribute values, raw text). Tag names come out lower-cased; text is
// only noticed, never copied.

#include <cstddef>
#include <string>
#include <string_view>

namespace docseek::html {

struct Tag {
  bool end = false;           // an end tag
  std::size_t begin = 0;      // index of its '<'
  std::size_t end_index = 0;  // index after its '>'
  std::string name;           // lower-cased
  bool self_closing = false;
};

class Tokenizer {
 public:
  explicit Tokenizer(std::string_view s) : s_(s) {}

  enum class Step {
    kTag,    // `tag` holds a start or end tag
    kOther,  // a comment, doctype, processing instruction or a '<' that is text
    kDone,   // end of input (or a construct that runs to its end)
  };

  // Reads what follows the next '<'. Before that, `*text_at` is set to where
  // text before it starts, or npos when there is none. `foreign`: CDATA
  // sections are recognised (in SVG and MathML only).
  Step Next(bool foreign, Tag* tag, std::size_t* text_at);

  // Index after the end tag that closes raw text opened by `lower_name` at
  // s[from...] (the index of that end tag's '<', or the end of input).
  std::size_t RawTextEnd(std::size_t from, std::string_view lower_name) const;
  // Scanning goes on at `position` (after raw text, say).
  void SkipTo(std::size_t position) { next_ = position; }
  std::size_t size() const { return s_.size(); }

 private:
  // Reads the attributes of a tag from s_[p]; returns the index after '>' or npos.
  std::size_t SkipAttributes(std::size_t p, bool* self_closing) const;
  // After "<!" at i: the index after the comment, CDATA or doctype, or npos.
  std::size_t SkipDeclaration(std::size_t i, bool foreign) const;

  std::string_view s_;
  std::size_t next_ = 0;  // where scanning goes on
};

}  // namespace docseek::html
