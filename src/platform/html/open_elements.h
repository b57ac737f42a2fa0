// SPDX-License-Identifier: MIT
#pragma once

// The markup guard's model of the tree builder's stack of open elements, with
// what makes its questions cheap: for each element kind the positions where it
// is open, and for each scope the positions of its boundary elements, so that
// "is X in scope" is O(1) instead of a walk down the stack.

#include <gumbo.h>

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/html/formatting_list.h"
#include "platform/html/tag_sets.h"

namespace docseek::html {

enum Scope { kDefaultScope, kListItemScope, kButtonScope, kTableScope, kScopes };

class OpenElements {
 public:
  // Formatting elements and markers on the stack are kept in step with `list`.
  explicit OpenElements(FormattingList& list);

  struct Entry {
    int id;  // tag, + kTags when foreign; >= 2*kTags for unknown names
    GumboTag tag;
    bool foreign;
    int serial;  // of its entry in the active formatting list, or -1
  };

  // A number per element kind: gumbo's tag (offset for foreign elements), or
  // a new number per unknown name.
  int IdOf(std::string_view lower_name, GumboTag tag, bool foreign);

  void Push(int id, GumboTag tag, bool foreign, int serial = -1);
  void Pop();
  // Pops up to and including the last element with `id`.
  void PopUntil(int id);
  // Pops until the top is one of `stop`.
  void ClearToTableContext(std::initializer_list<GumboTag> stop);

  // Pops the elements a start tag closes implicitly (li, dd/dt, button,
  // option, p, headings).
  void CloseImpliedBy(GumboTag tag);
  // Pops to the table context a table part needs and pushes the implied
  // tbody and tr.
  void OpenTableContext(GumboTag tag, bool in_table);
  // An end tag h1-h6: pops to the deepest heading in scope, whichever.
  void CloseHeading();
  // A foreign end tag: pops to its element when only foreign elements lie
  // above it; false when it did nothing.
  bool CloseForeign(int id);

  std::size_t size() const { return stack_.size(); }
  bool empty() const { return stack_.empty(); }
  const Entry& top() const { return stack_.back(); }
  const Entry& at(std::size_t k) const { return stack_[k]; }
  bool Open(int id) const { return !pos_[id].empty(); }
  // Position of the last open element with `id` (which must be open).
  int LastPosition(int id) const { return pos_[id].back(); }
  bool InScope(int id, Scope scope) const {
    if (pos_[id].empty()) return false;
    return boundary_[scope].empty() || pos_[id].back() >= boundary_[scope].back();
  }
  bool TopIs(GumboTag tag) const {
    return !stack_.empty() && !stack_.back().foreign && stack_.back().tag == tag;
  }
  bool TopIsOneOf(std::initializer_list<GumboTag> tags) const {
    return !stack_.empty() && !stack_.back().foreign && In(stack_.back().tag, tags);
  }
  // The top is a foreign element that is no integration point.
  bool ForeignContext() const {
    return !stack_.empty() && stack_.back().foreign && !IsIntegrationPoint(stack_.back().tag);
  }

  std::size_t max_depth_seen() const { return max_seen_; }
  std::size_t elements() const { return elements_; }

 private:
  FormattingList& list_;
  std::vector<Entry> stack_;
  std::vector<std::vector<int>> pos_;
  std::vector<int> boundary_[kScopes];
  std::unordered_map<std::string, int> unknown_ids_;
  std::size_t max_seen_ = 0;
  std::size_t elements_ = 0;  // elements opened (re-opened ones too)
};

}  // namespace docseek::html
