// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace docseek::platform {

// An ordered list of text lines that someone else owns: the three operations
// the search needs of the host's lists.
class TStrings {
 public:
  virtual ~TStrings() = default;
  virtual std::size_t Count() const = 0;
  virtual std::string Get(std::size_t index) const = 0;
  // Appends at the end; throws Error when the list refuses the line.
  virtual void Add(std::string_view line) = 0;
};

// A list of our own.
class TStringList final : public TStrings {
 public:
  std::size_t Count() const override { return lines_.size(); }
  std::string Get(std::size_t index) const override { return lines_.at(index); }
  void Add(std::string_view line) override { lines_.emplace_back(line); }
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
};

}  // namespace docseek::platform
