// SPDX-License-Identifier: MIT
#pragma once

// The markup guard's output: the input with stretches removed and text
// inserted, built only once the first edit happens. Edits come in input order.

#include <cstddef>
#include <string>
#include <string_view>

namespace docseek::html {

class EditBuffer {
 public:
  explicit EditBuffer(std::string_view input) : in_(input) {}

  void Remove(std::size_t begin, std::size_t end) {
    out_.append(in_.substr(copied_, begin - copied_));
    copied_ = end;
    edited_ = true;
  }
  void Insert(std::size_t at, std::string_view text) {
    out_.append(in_.substr(copied_, at - copied_));
    out_.append(text);
    copied_ = at;
    edited_ = true;
  }
  bool edited() const { return edited_; }
  // The edited text (the rest of the input appended); only when edited().
  std::string Finish() {
    out_.append(in_.substr(copied_));
    return std::move(out_);
  }

 private:
  std::string_view in_;
  std::string out_;
  std::size_t copied_ = 0;  // how much of the input is in out_
  bool edited_ = false;
};

}  // namespace docseek::html
