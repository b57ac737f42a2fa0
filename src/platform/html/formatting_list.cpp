// SPDX-License-Identifier: MIT
#include "platform/html/formatting_list.h"

namespace docseek::html {

int FormattingList::Add(GumboTag tag, std::uint64_t attrs) {
  // Noah's Ark: at most three equal entries; the earliest goes.
  int same = 0, earliest = -1;
  for (std::size_t k = AfterLastMarker(); k < entries_.size(); ++k) {
    if (entries_[k].tag == tag && entries_[k].attrs == attrs) {
      if (same++ == 0) earliest = static_cast<int>(k);
    }
  }
  if (same >= 3) Erase(static_cast<std::size_t>(earliest));
  const int serial = next_serial_++;
  entries_.push_back({tag, attrs, serial, true});
  return serial;
}

void FormattingList::ClearToMarker() {
  while (!entries_.empty()) {
    const bool marker = IsMarker(entries_.back());
    entries_.pop_back();
    if (marker) return;
  }
}

void FormattingList::Closed(int serial) {
  for (std::size_t k = entries_.size(); k-- > 0;) {
    if (entries_[k].serial == serial) {
      entries_[k].on_stack = false;
      return;
    }
  }
}

std::size_t FormattingList::AfterLastMarker() const {
  for (std::size_t k = entries_.size(); k-- > 0;) {
    if (IsMarker(entries_[k])) return k + 1;
  }
  return 0;
}

int FormattingList::LastIndexOf(GumboTag tag) const {
  const std::size_t first = AfterLastMarker();
  for (std::size_t k = entries_.size(); k-- > first;) {
    if (entries_[k].tag == tag) return static_cast<int>(k);
  }
  return -1;
}

std::size_t FormattingList::FirstToReopen() const {
  std::size_t first = entries_.size();
  while (first > 0 && !IsMarker(entries_[first - 1]) && !entries_[first - 1].on_stack) --first;
  return first;
}

}  // namespace docseek::html
