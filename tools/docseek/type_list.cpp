// SPDX-License-Identifier: MIT
#include "type_list.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace docseek::cli {

TypeList::TypeList(std::vector<std::string> types, const StringList& results)
    : types_(std::move(types)),
      results_(results),
      read_(types_.size(), false),
      unread_(types_.size()) {}

std::size_t TypeList::Count(void* context) {
  auto& self = *static_cast<TypeList*>(context);
  // Before every line has been read the plug-in is still setting up (it asks
  // for the count before reading the lines); those calls mark no page.
  if (self.unread_ == 0) self.page_ends_.push_back(self.results_.lines().size());
  return self.types_.size();
}

const char* TypeList::Line(void* context, std::size_t index, std::size_t* length) {
  auto& self = *static_cast<TypeList*>(context);
  if (index >= self.types_.size()) {
    if (length != nullptr) *length = 0;
    return nullptr;
  }
  if (!self.read_[index]) {
    self.read_[index] = true;
    --self.unread_;
  }
  if (length != nullptr) *length = self.types_[index].size();
  return self.types_[index].data();
}

// The plug-in only reads the type list; a line appended to it is refused.
int TypeList::Append(void*, const char*, std::size_t) { return 1; }

bool LabelRecords(std::vector<Record>& records, const std::vector<std::string>& types,
                  const std::vector<std::size_t>& page_ends) {
  const bool on_record_boundaries =
      std::all_of(page_ends.begin(), page_ends.end(),
                  [](std::size_t end) { return end % kLinesPerRecord == 0; });
  const bool matched =
      page_ends.size() == types.size() && on_record_boundaries &&
      std::is_sorted(page_ends.begin(), page_ends.end()) &&
      (page_ends.empty() ? records.empty() : page_ends.back() / kLinesPerRecord >= records.size());
  if (matched) {
    std::size_t first = 0;
    for (std::size_t page = 0; page < types.size(); ++page) {
      const std::size_t end = std::min(page_ends[page] / kLinesPerRecord, records.size());
      for (std::size_t i = first; i < end; ++i) {
        records[i].type = types[page];
        records[i].rank = i - first;
      }
      first = end;
    }
    return true;
  }

  // The first record at or after each page end starts a page.
  std::vector<std::size_t> starts;
  for (std::size_t end : page_ends) {
    starts.push_back((end + kLinesPerRecord - 1) / kLinesPerRecord);
  }
  std::sort(starts.begin(), starts.end());
  for (std::size_t i = 0; i < records.size(); ++i) {
    const auto after = std::upper_bound(starts.begin(), starts.end(), i);
    const std::size_t start = after == starts.begin() ? 0 : *std::prev(after);
    records[i].type.clear();
    records[i].rank = i - start;
  }
  return false;
}

}  // namespace docseek::cli
