// SPDX-License-Identifier: MIT
#pragma once

// The markup guard's model of the tree builder's list of active formatting
// elements: entries for <b>, <font>, <a>... and the markers that table cells,
// captions, templates and objects put between them.

#include <gumbo.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace docseek::html {

class FormattingList {
 public:
  struct Entry {
    GumboTag tag;         // GUMBO_TAG_LAST for a marker
    std::uint64_t attrs;  // hash of the attribute text (the "Noah's Ark" clause compares them)
    int serial;           // ties the entry to its element on the stack
    bool on_stack;
  };

  std::size_t size() const { return entries_.size(); }
  Entry& operator[](std::size_t k) { return entries_[k]; }
  const Entry& operator[](std::size_t k) const { return entries_[k]; }
  static bool IsMarker(const Entry& e) { return e.tag == GUMBO_TAG_LAST; }

  void PushMarker() { entries_.push_back({GUMBO_TAG_LAST, 0, -1, false}); }
  // A new formatting element; at most three equal entries stay (the earliest goes).
  int Add(GumboTag tag, std::uint64_t attrs);
  void Erase(std::size_t k) { entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(k)); }
  // Everything after `first` goes (its elements were given end tags).
  void Truncate(std::size_t first) { entries_.resize(first); }
  // Up to and including the last marker.
  void ClearToMarker();
  // The element with this serial has left the stack of open elements.
  void Closed(int serial);

  // Index just after the last marker (0 without one).
  std::size_t AfterLastMarker() const;
  // Index of the last entry for `tag` after the last marker, or -1.
  int LastIndexOf(GumboTag tag) const;
  // Where the entries that need re-opening begin: the run at the end that is
  // not on the stack, back to a marker or an entry that is.
  std::size_t FirstToReopen() const;

 private:
  std::vector<Entry> entries_;
  int next_serial_ = 0;
};

}  // namespace docseek::html
