// SPDX-License-Identifier: MIT
#include "platform/dom/inner_text.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/dom/display.h"
#include "platform/dom/node.h"
#include "platform/text.h"

namespace docseek::dom {
namespace {

// Appends text with every U+00A0 (C2 A0 in UTF-8) as a plain space.
void AppendNbspAsSpace(std::string_view s, std::string& out) {
  size_t i = 0;
  while (true) {
    const size_t hit = s.find("\xC2\xA0", i);
    if (hit == std::string_view::npos) {
      out.append(s.substr(i));
      return;
    }
    out.append(s.substr(i, hit - i));
    out += ' ';
    i = hit + 2;
  }
}

// "not the last table-cell box of its enclosing table-row box": a rendered
// cell follows among its siblings (whitespace, comments and hidden cells
// between do not count).
bool HasLaterCell(const GumboNode* cell) {
  const GumboNode* parent = cell->parent;
  if (!parent) return false;
  const GumboVector& kids = node::Children(parent);
  for (unsigned i = static_cast<unsigned>(cell->index_within_parent) + 1; i < kids.length; ++i) {
    const auto* k = static_cast<const GumboNode*>(kids.data[i]);
    if (node::IsElement(k) && DisplayOf(k) == Display::kTableCell) return true;
  }
  return false;
}

bool GroupHasRow(const GumboNode* group) {
  const GumboVector& kids = group->v.element.children;
  for (unsigned i = 0; i < kids.length; ++i) {
    const auto* k = static_cast<const GumboNode*>(kids.data[i]);
    if (node::IsElement(k) && DisplayOf(k) == Display::kTableRow) return true;
  }
  return false;
}

// "not the last table-row box of the nearest ancestor table box": a rendered
// row follows in the same table, in this row group or a later one.
bool HasLaterRow(const GumboNode* row) {
  const GumboNode* parent = row->parent;
  if (!parent || !node::IsElement(parent)) return false;
  const GumboVector& kids = parent->v.element.children;
  for (unsigned i = static_cast<unsigned>(row->index_within_parent) + 1; i < kids.length; ++i) {
    const auto* k = static_cast<const GumboNode*>(kids.data[i]);
    if (node::IsElement(k) && DisplayOf(k) == Display::kTableRow) return true;
  }
  if (DisplayOf(parent) != Display::kTableRowGroup || !parent->parent) return false;
  const GumboVector& groups = node::Children(parent->parent);
  for (unsigned i = static_cast<unsigned>(parent->index_within_parent) + 1; i < groups.length;
       ++i) {
    const auto* g = static_cast<const GumboNode*>(groups.data[i]);
    if (node::IsElement(g) && DisplayOf(g) == Display::kTableRowGroup && GroupHasRow(g))
      return true;
  }
  return false;
}

// Builds the result as the standard's list of strings and required line
// break counts would come out, joined: breaks before the first and after the
// last string dropped, a run of counts -> that many "\n" of the largest.
class TextBuilder {
 public:
  // A non-empty string item begins.
  void BeginContent() {
    if (pending_breaks_ > 0 && has_content_)
      out_.append(static_cast<size_t>(pending_breaks_), '\n');
    pending_breaks_ = 0;
    has_content_ = true;
  }
  void RequiredBreak(int count) {
    pending_breaks_ = std::max(pending_breaks_, count);
    LineBoundary();
  }
  // A line (or a block container's content) ends or begins here: collapsible
  // spaces around it go.
  void LineBoundary() {
    pending_space_ = false;
    line_start_ = true;
  }
  // A string item that is not whitespace-processed ("\n" of br, "\t" of cells).
  void Literal(std::string_view s) {
    BeginContent();
    out_ += s;
  }
  // An atomic inline (inline-block, image) is about to begin: a space before
  // it is kept.
  void BeginAtom() {
    if (pending_space_ && !line_start_) {
      BeginContent();
      out_ += ' ';
    }
    pending_space_ = false;
  }
  void EndAtom() {
    pending_space_ = false;
    line_start_ = false;
  }
  void CollapsibleText(std::string_view t) {
    size_t i = 0;
    while (i < t.size()) {
      if (text::IsAsciiWhitespace(t[i])) {
        if (!line_start_) pending_space_ = true;
        ++i;
        continue;
      }
      size_t j = i + 1;
      while (j < t.size() && !text::IsAsciiWhitespace(t[j])) ++j;
      BeginContent();
      if (pending_space_) out_ += ' ';
      pending_space_ = false;
      line_start_ = false;
      AppendNbspAsSpace(t.substr(i, j - i), out_);
      i = j;
    }
  }
  void PreservedText(std::string_view t) {
    if (t.empty()) return;
    BeginAtom();
    BeginContent();
    AppendNbspAsSpace(t, out_);
    pending_space_ = false;
    line_start_ = t.back() == '\n';
  }
  std::string Take() { return std::move(out_); }

 private:
  std::string out_;
  int pending_breaks_ = 0;
  bool has_content_ = false;
  bool pending_space_ = false;
  bool line_start_ = true;
};

struct Frame {
  const GumboNode* node;
  unsigned next_child;
  Display display;
  bool preserve;  // white-space: pre here
};

void Enter(const GumboNode* n, Display d, TextBuilder& b) {
  switch (d) {
    case Display::kBlock:
    case Display::kTable:
      b.RequiredBreak(1);
      break;
    case Display::kParagraph:
      b.RequiredBreak(2);
      break;
    case Display::kTableRow:
    case Display::kTableCell:
      b.LineBoundary();
      break;
    case Display::kInlineBlock:
      b.BeginAtom();
      b.LineBoundary();
      break;
    case Display::kReplaced:
      b.BeginAtom();
      break;
    case Display::kBr:
      b.Literal("\n");
      b.LineBoundary();
      break;
    default:
      break;
  }
  (void)n;
}

void Exit(const GumboNode* n, Display d, TextBuilder& b) {
  switch (d) {
    case Display::kBlock:
    case Display::kTable:
      b.RequiredBreak(1);
      break;
    case Display::kParagraph:
      b.RequiredBreak(2);
      break;
    case Display::kTableCell:
      b.LineBoundary();
      if (HasLaterCell(n)) b.Literal("\t");
      b.LineBoundary();
      break;
    case Display::kTableRow:
      b.LineBoundary();
      if (HasLaterRow(n)) b.Literal("\n");
      b.LineBoundary();
      break;
    case Display::kInlineBlock:
    case Display::kReplaced:
      b.EndAtom();
      break;
    default:
      break;
  }
}

}  // namespace

std::string TextContent(const GumboNode* root) {
  std::string out;
  if (root->type == GUMBO_NODE_TEMPLATE) return out;  // its children are its content
  std::vector<std::pair<const GumboNode*, unsigned>> stack;
  stack.emplace_back(root, 0);
  while (!stack.empty()) {
    auto& [n, next] = stack.back();
    const GumboVector& kids = node::Children(n);
    if (next >= kids.length) {
      stack.pop_back();
      continue;
    }
    const auto* child = static_cast<const GumboNode*>(kids.data[next++]);
    if (node::IsText(child)) {
      AppendNbspAsSpace(child->v.text.text, out);
    } else if (child->type == GUMBO_NODE_ELEMENT) {
      stack.emplace_back(child, 0);
    }
  }
  return out;
}

std::string InnerText(const GumboNode* element) {
  if (!IsRendered(element)) return TextContent(element);
  TextBuilder b;
  std::vector<Frame> stack;
  bool preserve = false;
  for (const GumboNode* a = element; a && node::IsElement(a); a = a->parent) {
    if (PreservesWhiteSpace(a)) {
      preserve = true;
      break;
    }
  }
  // The element's own box is not part of its innerText: only its children's.
  const Display own = DisplayOf(element);
  if (!DescendsInto(own)) return std::string();
  stack.push_back({element, 0, Display::kInline, preserve});
  while (!stack.empty()) {
    Frame& f = stack.back();
    const GumboVector& kids = f.node->v.element.children;
    if (f.next_child >= kids.length) {
      const Frame done = f;
      stack.pop_back();
      if (!stack.empty()) Exit(done.node, done.display, b);
      continue;
    }
    const auto* child = static_cast<const GumboNode*>(kids.data[f.next_child++]);
    if (node::IsText(child)) {
      if (!ChildAdmitted(f.node, child)) continue;
      if (f.preserve) {
        b.PreservedText(child->v.text.text);
      } else {
        b.CollapsibleText(child->v.text.text);
      }
      continue;
    }
    if (!node::IsElement(child) || child->type == GUMBO_NODE_TEMPLATE) continue;
    if (!ChildAdmitted(f.node, child)) continue;
    const Display d = DisplayOf(child);
    if (d == Display::kNone) continue;
    Enter(child, d, b);
    if (DescendsInto(d)) {
      stack.push_back({child, 0, d, f.preserve || PreservesWhiteSpace(child)});
    } else {
      Exit(child, d, b);
    }
  }
  return b.Take();
}

}  // namespace docseek::dom
