// SPDX-License-Identifier: MIT
#include "platform/dom/inner_text.h"

#include <algorithm>
#include <optional>
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

// Space, tab and segment breaks (LF; CR, which the input stream turns into
// LF unless it came from a character reference) are collapsible; form feed is
// not.
constexpr bool IsCollapsible(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

constexpr std::string_view kZeroWidthSpace = "\xE2\x80\x8B";  // U+200B

// Builds the result as the standard's list of strings and required line
// break counts would come out, joined: breaks before the first and after the
// last string dropped, a run of counts -> that many "\n" of the largest.
//
// White space collapses per line of the block, not per element: an inline
// element's text is cut out of its block's text (the span). A space kept from
// a collapsed run belongs to the node where the run began, so "w0<a> w1</a>"
// gives the link " w1", and "<a>w1 </a>x" gives "w1 ".
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
    after_zwsp_ = false;
  }
  // A string item that is not whitespace-processed ("\n" of br, "\t" of cells).
  void Literal(std::string_view s) {
    BeginContent();
    MarkContent();
    out_ += s;
    after_zwsp_ = false;
  }
  // An atomic inline (inline-block, image) is about to begin: a space before
  // it is kept.
  void BeginAtom() {
    if (pending_space_ && !line_start_) {
      BeginContent();
      WritePendingSpace();
    }
    pending_space_ = false;
  }
  void EndAtom() {
    pending_space_ = false;
    line_start_ = false;
    after_zwsp_ = false;
  }
  void CollapsibleText(std::string_view t) {
    size_t i = 0;
    while (i < t.size()) {
      if (IsCollapsible(t[i])) {
        if (!line_start_) {
          if (!pending_space_) {
            pending_space_ = true;
            space_in_span_ = span_ == Span::kInside || span_ == Span::kWhole;
            space_is_break_ = false;
          }
          if (t[i] == '\n' || t[i] == '\r') space_is_break_ = true;
        }
        ++i;
        continue;
      }
      size_t j = i + 1;
      while (j < t.size() && !IsCollapsible(t[j])) ++j;
      const std::string_view word = t.substr(i, j - i);
      BeginContent();
      // A segment break next to a zero-width space is removed.
      if (pending_space_ &&
          !(space_is_break_ && (after_zwsp_ || word.starts_with(kZeroWidthSpace)))) {
        WritePendingSpace();
      }
      pending_space_ = false;
      line_start_ = false;
      MarkContent();
      AppendNbspAsSpace(word, out_);
      after_zwsp_ = word.ends_with(kZeroWidthSpace);
      i = j;
    }
  }
  void PreservedText(std::string_view t) {
    if (t.empty()) return;
    BeginAtom();
    BeginContent();
    MarkContent();
    AppendNbspAsSpace(t, out_);
    pending_space_ = false;
    line_start_ = t.back() == '\n';
    after_zwsp_ = false;
  }

  // The element whose text is wanted begins and ends.
  void EnterSpan() { span_ = Span::kInside; }
  void ExitSpan() {
    if (!span_begin_) span_begin_ = out_.size();
    span_end_ = out_.size();
    span_ = Span::kAfter;
  }

  // The whole block is walked for an element inside it (EnterSpan, ExitSpan).
  void StartBeforeSpan() { span_ = Span::kBefore; }
  // After the element's end nothing written later can belong to it.
  bool SpanSettled() const { return span_ == Span::kAfter && !(pending_space_ && space_in_span_); }

  std::string Take() {
    if (span_ == Span::kWhole) return std::move(out_);
    if (!span_begin_) return std::string();
    return out_.substr(*span_begin_, span_end_ - *span_begin_);
  }

 private:
  enum class Span { kWhole, kBefore, kInside, kAfter };

  // Something of the element's own is written next: its span starts here.
  void MarkContent() {
    if (span_ == Span::kInside && !span_begin_) span_begin_ = out_.size();
  }
  void WritePendingSpace() {
    if (space_in_span_) {
      MarkContent();
      if (span_ == Span::kAfter && out_.size() == span_end_) ++span_end_;
    }
    out_ += ' ';
  }

  std::string out_;
  int pending_breaks_ = 0;
  bool has_content_ = false;
  bool pending_space_ = false;
  bool space_in_span_ = false;   // the pending space began inside the element
  bool space_is_break_ = false;  // the pending run holds a segment break
  bool line_start_ = true;
  bool after_zwsp_ = false;  // the last text written ends in U+200B
  Span span_ = Span::kWhole;
  std::optional<size_t> span_begin_;
  size_t span_end_ = 0;
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
    case Display::kBlockWithHiddenContent:
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
    case Display::kBlockWithHiddenContent:
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

bool InQuirksMode(const GumboNode* n) {
  while (n->parent) n = n->parent;
  return n->type == GUMBO_NODE_DOCUMENT &&
         n->v.document.doc_type_quirks_mode == GUMBO_DOCTYPE_QUIRKS;
}

// white-space: pre inherited from the nearest ancestor that sets it; in quirks
// mode the quirks style sheet sets it back to normal on tables.
bool PreserveOf(const GumboNode* n, bool quirks) {
  for (const GumboNode* a = n; a && node::IsElement(a); a = a->parent) {
    if (PreservesWhiteSpace(a)) return true;
    if (quirks && node::IsHtmlTag(a, GUMBO_TAG_TABLE)) return false;
  }
  return false;
}

// A line starts after a block or a br: the walk of a block for an inline
// element inside it can start after the last one before the element (a page
// whose hits sit in one long block would otherwise be walked from its start
// for every read). `stack` holds the block's frame; it gets the frames down
// to the start.
void StartAfterLastBreak(const GumboNode* element, bool quirks, std::vector<Frame>& stack) {
  std::vector<const GumboNode*> path;  // element's ancestors below the block, top first
  for (const GumboNode* n = element; n != stack.front().node; n = n->parent) path.push_back(n);
  std::reverse(path.begin(), path.end());
  // The deepest level with a line-breaking sibling before the path is the
  // nearest break.
  size_t level = path.size();
  unsigned after = 0;
  for (size_t l = path.size(); l-- > 0 && level == path.size();) {
    const GumboNode* child = path[l];
    const GumboVector& kids = child->parent->v.element.children;
    for (unsigned i = static_cast<unsigned>(child->index_within_parent); i-- > 0;) {
      const auto* k = static_cast<const GumboNode*>(kids.data[i]);
      if (!node::IsElement(k) || k->type == GUMBO_NODE_TEMPLATE) continue;
      if (!ChildAdmitted(child->parent, k)) continue;
      const Display d = DisplayOf(k);
      if (d == Display::kBlock || d == Display::kParagraph || d == Display::kTable ||
          d == Display::kBlockWithHiddenContent || d == Display::kBr) {
        level = l;
        after = i + 1;
        break;
      }
    }
  }
  if (level == path.size()) return;  // no break before it: walk the whole block
  // Frames for the path's nodes above that level (inline, already entered),
  // each going on after the path's child; that level's parent after the break.
  stack.front().next_child =
      level == 0 ? after : static_cast<unsigned>(path[0]->index_within_parent) + 1;
  for (size_t l = 0; l < level; ++l) {
    const GumboNode* n = path[l];
    const Frame& up = stack.back();
    const bool preserve =
        PreservesWhiteSpace(n) || (up.preserve && !(quirks && node::IsHtmlTag(n, GUMBO_TAG_TABLE)));
    const unsigned next =
        l + 1 == level ? after : static_cast<unsigned>(path[l + 1]->index_within_parent) + 1;
    stack.push_back({n, next, DisplayOf(n), preserve});
  }
}

std::string InnerText(const GumboNode* element) {
  if (!IsRendered(element)) return TextContent(element);
  // The element's own box is not part of its innerText: only its children's.
  const Display own = DisplayOf(element);
  if (!DescendsInto(own)) return std::string();
  const bool quirks = InQuirksMode(element);
  // An inline element shares its lines with its block: walk the block and cut
  // the element's text out of it.
  const GumboNode* root = element;
  TextBuilder b;
  if (own == Display::kInline) {
    while (root->parent && node::IsElement(root->parent)) {
      root = root->parent;
      if (DisplayOf(root) != Display::kInline) break;
    }
    if (root != element) b.StartBeforeSpan();
  }
  std::vector<Frame> stack;
  stack.push_back({root, 0, Display::kInline, PreserveOf(root, quirks)});
  if (root != element) StartAfterLastBreak(element, quirks, stack);
  while (!stack.empty()) {
    Frame& f = stack.back();
    const GumboVector& kids = f.node->v.element.children;
    if (f.next_child >= kids.length) {
      const Frame done = f;
      stack.pop_back();
      if (!stack.empty()) Exit(done.node, done.display, b);
      if (done.node == element && root != element) b.ExitSpan();
      if (b.SpanSettled()) break;
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
      if (b.SpanSettled()) break;
      continue;
    }
    if (!node::IsElement(child) || child->type == GUMBO_NODE_TEMPLATE) continue;
    if (!ChildAdmitted(f.node, child)) continue;
    const Display d = DisplayOf(child);
    if (d == Display::kNone) continue;
    if (child == element) b.EnterSpan();
    Enter(child, d, b);
    if (DescendsInto(d)) {
      const bool preserve = PreservesWhiteSpace(child) ||
                            (f.preserve && !(quirks && node::IsHtmlTag(child, GUMBO_TAG_TABLE)));
      stack.push_back({child, 0, d, preserve});
    } else {
      Exit(child, d, b);
      if (b.SpanSettled()) break;
    }
  }
  return b.Take();
}

}  // namespace docseek::dom
