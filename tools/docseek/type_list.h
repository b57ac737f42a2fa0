// SPDX-License-Identifier: MIT
// Which type each record of one search came from.
//
// The CLI searches every type in one Getinfo call: one browser session that
// shares its cookies, one window on a desktop. The results list that call
// fills carries no mark where one type's hits end, but the plug-in's use of
// the type list shows it. The plug-in reads every line of the type list when
// the search starts; then, after each page's hits are appended, it asks the
// type list for its count to decide whether another type follows (its
// NextURL), the last page included. So the results list's size at each
// count() made after every line was read is the end of one page, in type
// order. This file records those sizes and turns them into labels.
#pragma once

#include <docseek/plugin.h>

#include <cstddef>
#include <docseek/string_list.hpp>
#include <string>
#include <vector>

#include "format.h"

namespace docseek::cli {

// The type list handed to Getinfo. It watches `results`, the results list
// of the same call, which must outlive it.
class TypeList {
 public:
  TypeList(std::vector<std::string> types, const StringList& results);

  // The list hands out pointers to itself, so it stays where it was made.
  TypeList(const TypeList&) = delete;
  TypeList& operator=(const TypeList&) = delete;

  const docseek_list* list() const { return &c_; }
  const std::vector<std::string>& types() const { return types_; }

  // The results list's size, in lines, at each count() made after every line
  // had been read: one entry per page when the plug-in behaves as described
  // above.
  const std::vector<std::size_t>& page_ends() const { return page_ends_; }

 private:
  static std::size_t Count(void* context);
  static const char* Line(void* context, std::size_t index, std::size_t* length);
  static int Append(void* context, const char* text, std::size_t length);

  std::vector<std::string> types_;
  const StringList& results_;
  std::vector<bool> read_;
  std::size_t unread_;
  std::vector<std::size_t> page_ends_;
  docseek_list c_{sizeof(docseek_list), this, &Count, &Line, &Append};
};

// Sets each record's type and rank (its 0-based number within its page) from
// the page ends a TypeList saw; `records` are those GroupRecords made of the
// whole results list. Returns true when there is one page end per type, in
// order, on record boundaries, and no whole record after the last. Otherwise
// the pages cannot be matched to their types: each record's type is left
// empty and its rank counts from the last page end before it (from the first
// record when there is none), and false is returned.
bool LabelRecords(std::vector<Record>& records, const std::vector<std::string>& types,
                  const std::vector<std::size_t>& page_ends);

}  // namespace docseek::cli
