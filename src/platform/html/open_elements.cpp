// SPDX-License-Identifier: MIT
#include "platform/html/open_elements.h"

#include <algorithm>

#include "platform/html/tag_sets.h"

namespace docseek::html {
namespace {

constexpr int kTags = GUMBO_TAG_LAST + 1;  // GUMBO_TAG_UNKNOWN < GUMBO_TAG_LAST

bool IsBoundary(GumboTag t, bool foreign, Scope scope) {
  if (foreign) return scope != kTableScope && IsIntegrationPoint(t);
  switch (scope) {
    case kTableScope:
      return In(t, {GUMBO_TAG_HTML, GUMBO_TAG_TABLE, GUMBO_TAG_TEMPLATE});
    case kListItemScope:
      if (t == GUMBO_TAG_OL || t == GUMBO_TAG_UL) return true;
      break;
    case kButtonScope:
      if (t == GUMBO_TAG_BUTTON) return true;
      break;
    default:
      break;
  }
  return In(t, {GUMBO_TAG_APPLET, GUMBO_TAG_CAPTION, GUMBO_TAG_HTML, GUMBO_TAG_TABLE, GUMBO_TAG_TD,
                GUMBO_TAG_TH, GUMBO_TAG_MARQUEE, GUMBO_TAG_OBJECT, GUMBO_TAG_TEMPLATE});
}

}  // namespace

OpenElements::OpenElements(FormattingList& list) : list_(list) { pos_.resize(2 * kTags); }

int OpenElements::IdOf(std::string_view lower_name, GumboTag tag, bool foreign) {
  if (tag != GUMBO_TAG_UNKNOWN) return tag + (foreign ? kTags : 0);
  std::string key(foreign ? "f" : "h");
  key += lower_name;
  auto [it, inserted] = unknown_ids_.try_emplace(std::move(key), 0);
  if (inserted) {
    it->second = static_cast<int>(pos_.size());
    pos_.emplace_back();
  }
  return it->second;
}

void OpenElements::Push(int id, GumboTag tag, bool foreign, int serial) {
  const int index = static_cast<int>(stack_.size());
  stack_.push_back({id, tag, foreign, serial});
  ++elements_;
  if (!foreign && IsMarkerElement(tag)) list_.PushMarker();
  pos_[id].push_back(index);
  for (int sc = 0; sc < kScopes; ++sc) {
    if (IsBoundary(tag, foreign, static_cast<Scope>(sc))) boundary_[sc].push_back(index);
  }
  max_seen_ = std::max(max_seen_, stack_.size());
}

void OpenElements::Pop() {
  const int index = static_cast<int>(stack_.size()) - 1;
  const Entry& top = stack_.back();
  if (top.serial >= 0) list_.Closed(top.serial);
  if (!top.foreign && IsMarkerElement(top.tag)) list_.ClearToMarker();
  pos_[top.id].pop_back();
  for (auto& b : boundary_) {
    if (!b.empty() && b.back() == index) b.pop_back();
  }
  stack_.pop_back();
}

void OpenElements::PopUntil(int id) {
  while (!stack_.empty()) {
    const int top = stack_.back().id;
    Pop();
    if (top == id) return;
  }
}

void OpenElements::ClearToTableContext(std::initializer_list<GumboTag> stop) {
  while (!stack_.empty() && !TopIsOneOf(stop)) Pop();
}

void OpenElements::CloseImpliedBy(GumboTag tag) {
  if (tag == GUMBO_TAG_LI) {
    if (InScope(GUMBO_TAG_LI, kListItemScope)) PopUntil(GUMBO_TAG_LI);
  } else if (tag == GUMBO_TAG_DD || tag == GUMBO_TAG_DT) {
    for (int t : {GUMBO_TAG_DD, GUMBO_TAG_DT}) {
      if (InScope(t, kDefaultScope) &&
          (!Open(GUMBO_TAG_DL) || LastPosition(t) > LastPosition(GUMBO_TAG_DL))) {
        PopUntil(t);
      }
    }
  } else if (tag == GUMBO_TAG_BUTTON) {
    if (InScope(tag, kDefaultScope)) PopUntil(tag);
  } else if (tag == GUMBO_TAG_OPTION || tag == GUMBO_TAG_OPTGROUP) {
    if (TopIs(GUMBO_TAG_OPTION)) Pop();
    if (tag == GUMBO_TAG_OPTGROUP && TopIs(GUMBO_TAG_OPTGROUP)) Pop();
  }
  if (ClosesP(tag) && InScope(GUMBO_TAG_P, kButtonScope)) PopUntil(GUMBO_TAG_P);
  if (IsHeading(tag) && !stack_.empty() && !stack_.back().foreign && IsHeading(stack_.back().tag)) {
    Pop();
  }
}

void OpenElements::OpenTableContext(GumboTag tag, bool in_table) {
  switch (tag) {
    case GUMBO_TAG_TABLE:
      if (TopIsOneOf(
              {GUMBO_TAG_TABLE, GUMBO_TAG_TBODY, GUMBO_TAG_THEAD, GUMBO_TAG_TFOOT, GUMBO_TAG_TR})) {
        PopUntil(GUMBO_TAG_TABLE);  // a table directly in a table closes it
      }
      break;
    case GUMBO_TAG_CAPTION:
    case GUMBO_TAG_COLGROUP:
    case GUMBO_TAG_TBODY:
    case GUMBO_TAG_THEAD:
    case GUMBO_TAG_TFOOT:
      if (in_table) {
        ClearToTableContext({GUMBO_TAG_TABLE, GUMBO_TAG_TEMPLATE, GUMBO_TAG_HTML});
      }
      break;
    case GUMBO_TAG_TR:
      if (in_table) {
        ClearToTableContext({GUMBO_TAG_TBODY, GUMBO_TAG_THEAD, GUMBO_TAG_TFOOT, GUMBO_TAG_TABLE,
                             GUMBO_TAG_TEMPLATE, GUMBO_TAG_HTML});
        if (TopIs(GUMBO_TAG_TABLE)) Push(GUMBO_TAG_TBODY, GUMBO_TAG_TBODY, false);
      }
      break;
    case GUMBO_TAG_TD:
    case GUMBO_TAG_TH:
      if (in_table) {
        ClearToTableContext({GUMBO_TAG_TR, GUMBO_TAG_TBODY, GUMBO_TAG_THEAD, GUMBO_TAG_TFOOT,
                             GUMBO_TAG_TABLE, GUMBO_TAG_TEMPLATE, GUMBO_TAG_HTML});
        if (TopIs(GUMBO_TAG_TABLE)) Push(GUMBO_TAG_TBODY, GUMBO_TAG_TBODY, false);
        if (TopIsOneOf({GUMBO_TAG_TBODY, GUMBO_TAG_THEAD, GUMBO_TAG_TFOOT})) {
          Push(GUMBO_TAG_TR, GUMBO_TAG_TR, false);
        }
      }
      break;
    default:
      break;
  }
}

void OpenElements::CloseHeading() {
  int deepest = -1;
  for (int h = GUMBO_TAG_H1; h <= GUMBO_TAG_H6; ++h) {
    if (InScope(h, kDefaultScope)) deepest = std::max(deepest, LastPosition(h));
  }
  if (deepest >= 0) {
    while (static_cast<int>(stack_.size()) > deepest) Pop();
  }
}

bool OpenElements::CloseForeign(int id) {
  if (!Open(id)) return false;
  // Only when nothing but foreign elements lie above it.
  for (std::size_t k = static_cast<std::size_t>(LastPosition(id)) + 1; k < stack_.size(); ++k) {
    if (!stack_[k].foreign) return false;
  }
  PopUntil(id);
  return true;
}

}  // namespace docseek::html
