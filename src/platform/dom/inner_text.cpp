#include "platform/dom/inner_text.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/dom/node_util.h"

namespace docseek::dom {
namespace {

enum class Display {
  kNone,
  kInline,
  kBlock,
  kParagraph,
  kTable,  // block-level too
  kTableRowGroup,
  kTableRow,
  kTableCell,
  kTableColumn,
  kInlineBlock,  // button, textarea, select, marquee...: own lines inside, an atom outside
  kReplaced,     // img, iframe, video...: an atom whose children render nothing
  kBr,
};

bool IsCollapsible(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

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

Display DisplayOf(const GumboNode* n) {
  if (n->v.element.tag_namespace != GUMBO_NAMESPACE_HTML) {
    // SVG is a replaced element; MathML text is laid out inline.
    return n->v.element.tag == GUMBO_TAG_SVG || n->v.element.tag_namespace == GUMBO_NAMESPACE_SVG
               ? Display::kReplaced
               : Display::kInline;
  }
  if (node::Attr(n, "hidden")) return Display::kNone;
  switch (n->v.element.tag) {
    case GUMBO_TAG_HEAD:
    case GUMBO_TAG_TITLE:
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_STYLE:
    case GUMBO_TAG_TEMPLATE:
    case GUMBO_TAG_NOSCRIPT:
    case GUMBO_TAG_BASE:
    case GUMBO_TAG_BASEFONT:
    case GUMBO_TAG_LINK:
    case GUMBO_TAG_META:
    case GUMBO_TAG_AREA:
    case GUMBO_TAG_DATALIST:
    case GUMBO_TAG_NOEMBED:
    case GUMBO_TAG_NOFRAMES:
    case GUMBO_TAG_PARAM:
    case GUMBO_TAG_RP:
    case GUMBO_TAG_SOURCE:
    case GUMBO_TAG_TRACK:
      return Display::kNone;
    case GUMBO_TAG_INPUT: {
      const char* type = node::Attr(n, "type");
      if (type && node::AsciiEqualNoCase(type, "hidden")) return Display::kNone;
      return Display::kInlineBlock;
    }
    case GUMBO_TAG_AUDIO:
      return node::Attr(n, "controls") ? Display::kReplaced : Display::kNone;
    case GUMBO_TAG_BR:
      return Display::kBr;
    case GUMBO_TAG_P:
      return Display::kParagraph;
    case GUMBO_TAG_HTML:
    case GUMBO_TAG_BODY:
    case GUMBO_TAG_ADDRESS:
    case GUMBO_TAG_BLOCKQUOTE:
    case GUMBO_TAG_CENTER:
    case GUMBO_TAG_DIV:
    case GUMBO_TAG_FIGURE:
    case GUMBO_TAG_FIGCAPTION:
    case GUMBO_TAG_FOOTER:
    case GUMBO_TAG_FORM:
    case GUMBO_TAG_HEADER:
    case GUMBO_TAG_HR:
    case GUMBO_TAG_LEGEND:
    case GUMBO_TAG_LISTING:
    case GUMBO_TAG_MAIN:
    case GUMBO_TAG_PLAINTEXT:
    case GUMBO_TAG_PRE:
    case GUMBO_TAG_XMP:
    case GUMBO_TAG_ARTICLE:
    case GUMBO_TAG_ASIDE:
    case GUMBO_TAG_H1:
    case GUMBO_TAG_H2:
    case GUMBO_TAG_H3:
    case GUMBO_TAG_H4:
    case GUMBO_TAG_H5:
    case GUMBO_TAG_H6:
    case GUMBO_TAG_HGROUP:
    case GUMBO_TAG_NAV:
    case GUMBO_TAG_SECTION:
    case GUMBO_TAG_DIR:
    case GUMBO_TAG_DD:
    case GUMBO_TAG_DL:
    case GUMBO_TAG_DT:
    case GUMBO_TAG_MENU:
    case GUMBO_TAG_OL:
    case GUMBO_TAG_UL:
    case GUMBO_TAG_LI:
    case GUMBO_TAG_FIELDSET:
    case GUMBO_TAG_DETAILS:
    case GUMBO_TAG_SUMMARY:
    case GUMBO_TAG_OPTGROUP:
    case GUMBO_TAG_OPTION:
    case GUMBO_TAG_CAPTION:
    case GUMBO_TAG_FRAMESET:
      return Display::kBlock;
    case GUMBO_TAG_TABLE:
      return Display::kTable;
    case GUMBO_TAG_THEAD:
    case GUMBO_TAG_TBODY:
    case GUMBO_TAG_TFOOT:
      return Display::kTableRowGroup;
    case GUMBO_TAG_TR:
      return Display::kTableRow;
    case GUMBO_TAG_TD:
    case GUMBO_TAG_TH:
      return Display::kTableCell;
    case GUMBO_TAG_COL:
    case GUMBO_TAG_COLGROUP:
      return Display::kTableColumn;
    case GUMBO_TAG_BUTTON:
    case GUMBO_TAG_TEXTAREA:
    case GUMBO_TAG_SELECT:
    case GUMBO_TAG_MARQUEE:
    case GUMBO_TAG_KEYGEN:
      return Display::kInlineBlock;
    case GUMBO_TAG_IMG:
    case GUMBO_TAG_IMAGE:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_VIDEO:
    case GUMBO_TAG_CANVAS:
    case GUMBO_TAG_EMBED:
    case GUMBO_TAG_METER:
    case GUMBO_TAG_PROGRESS:
    case GUMBO_TAG_FRAME:
      return Display::kReplaced;
    case GUMBO_TAG_UNKNOWN: {
      const std::string_view name = node::UnknownTagName(n);
      if (node::AsciiEqualNoCase(name, "dialog")) {
        return node::Attr(n, "open") ? Display::kBlock : Display::kNone;
      }
      if (node::AsciiEqualNoCase(name, "search")) return Display::kBlock;
      return Display::kInline;
    }
    default:
      return Display::kInline;
  }
}

bool PreservesWhiteSpace(const GumboNode* n) {
  if (!node::IsHtml(n)) return false;
  switch (n->v.element.tag) {
    case GUMBO_TAG_PRE:
    case GUMBO_TAG_LISTING:
    case GUMBO_TAG_PLAINTEXT:
    case GUMBO_TAG_XMP:
    case GUMBO_TAG_TEXTAREA:
      return true;
    default:
      return false;
  }
}

// Whether `child` of `parent` gets a box at all, for the parents that admit
// only some children: select, optgroup, closed details.
bool ChildAdmitted(const GumboNode* parent, const GumboNode* child) {
  if (!node::IsHtml(parent)) return true;
  switch (parent->v.element.tag) {
    case GUMBO_TAG_SELECT:
      return node::IsHtmlTag(child, GUMBO_TAG_OPTION) || node::IsHtmlTag(child, GUMBO_TAG_OPTGROUP);
    case GUMBO_TAG_OPTGROUP:
      return node::IsHtmlTag(child, GUMBO_TAG_OPTION);
    case GUMBO_TAG_DETAILS: {
      if (node::Attr(parent, "open")) return true;
      // Closed: only the first summary child.
      if (!node::IsHtmlTag(child, GUMBO_TAG_SUMMARY)) return false;
      const GumboVector& kids = parent->v.element.children;
      for (unsigned i = 0; i < kids.length; ++i) {
        const auto* k = static_cast<const GumboNode*>(kids.data[i]);
        if (node::IsHtmlTag(k, GUMBO_TAG_SUMMARY)) return k == child;
      }
      return false;
    }
    default:
      return true;
  }
}

bool Rendered(const GumboNode* child) {
  return DisplayOf(child) != Display::kNone &&
         (!child->parent || !node::IsElement(child->parent) || ChildAdmitted(child->parent, child));
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
      if (IsCollapsible(t[i])) {
        if (!line_start_) pending_space_ = true;
        ++i;
        continue;
      }
      size_t j = i + 1;
      while (j < t.size() && !IsCollapsible(t[j])) ++j;
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

bool DescendsInto(Display d) {
  return d != Display::kNone && d != Display::kReplaced && d != Display::kBr &&
         d != Display::kTableColumn;
}

}  // namespace

bool IsRendered(const GumboNode* element) {
  for (const GumboNode* n = element; n && node::IsElement(n); n = n->parent) {
    if (!Rendered(n)) return false;
    const GumboNode* parent = n->parent;
    if (parent && node::IsElement(parent) && !DescendsInto(DisplayOf(parent))) return false;
  }
  return true;
}

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
