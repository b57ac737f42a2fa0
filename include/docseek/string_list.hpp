// SPDX-License-Identifier: MIT
// A host-side list for the docseek plug-in over std::vector<std::string>.
//
//   docseek::StringList types{"pdf", "doc"};
//   docseek::StringList results;
//   Getinfo(results.list(), types.list(), 10, "report", "");
//   for (const std::string& line : results.lines()) ...
//
// Header-only and independent of the plug-in's own code: a host needs nothing
// else to implement the list contract of <docseek/plugin.h>.
#ifndef DOCSEEK_STRING_LIST_HPP
#define DOCSEEK_STRING_LIST_HPP

#include <docseek/plugin.h>

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace docseek {

class StringList {
 public:
  StringList() = default;
  StringList(std::initializer_list<std::string> lines) : lines_(lines) {}
  explicit StringList(std::vector<std::string> lines) : lines_(std::move(lines)) {}

  // The list hands out pointers to itself, so it stays where it was made.
  StringList(const StringList&) = delete;
  StringList& operator=(const StringList&) = delete;

  // The C view to pass to the plug-in; valid as long as this object lives.
  const docseek_list* list() const { return &c_; }

  const std::vector<std::string>& lines() const { return lines_; }
  std::vector<std::string>& lines() { return lines_; }

  // Called before each line is added; returning false refuses the line. Lets a
  // host stop a search early or test how the plug-in copes with a refusal.
  void on_append(std::function<bool(std::string_view)> hook) { hook_ = std::move(hook); }

 private:
  static StringList& self(void* context) { return *static_cast<StringList*>(context); }

  static std::size_t count(void* context) { return self(context).lines_.size(); }

  static const char* line(void* context, std::size_t index, std::size_t* length) {
    StringList& s = self(context);
    if (index >= s.lines_.size()) {
      if (length != nullptr) *length = 0;
      return nullptr;
    }
    if (length != nullptr) *length = s.lines_[index].size();
    return s.lines_[index].data();
  }

  static int append(void* context, const char* text, std::size_t length) {
    StringList& s = self(context);
    std::string_view value(text != nullptr ? text : "", text != nullptr ? length : 0);
    if (s.hook_ && !s.hook_(value)) return 1;
    s.lines_.emplace_back(value);
    return 0;
  }

  std::vector<std::string> lines_;
  std::function<bool(std::string_view)> hook_;
  docseek_list c_{sizeof(docseek_list), this, &count, &line, &append};
};

}  // namespace docseek

#endif  // DOCSEEK_STRING_LIST_HPP
