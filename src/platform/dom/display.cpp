// SPDX-License-Identifier: MIT
#include "platform/dom/display.h"

#include <string_view>

#include "platform/dom/node.h"
#include "platform/text.h"

namespace docseek::dom {
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
      if (type && text::EqualsIgnoringAsciiCase(type, "hidden")) return Display::kNone;
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
      if (text::EqualsIgnoringAsciiCase(name, "dialog")) {
        return node::Attr(n, "open") ? Display::kBlock : Display::kNone;
      }
      if (text::EqualsIgnoringAsciiCase(name, "search")) return Display::kBlock;
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

namespace {

bool Rendered(const GumboNode* child) {
  return DisplayOf(child) != Display::kNone &&
         (!child->parent || !node::IsElement(child->parent) || ChildAdmitted(child->parent, child));
}

}  // namespace

bool DescendsInto(Display d) {
  return d != Display::kNone && d != Display::kReplaced && d != Display::kBr &&
         d != Display::kTableColumn;
}

bool IsRendered(const GumboNode* element) {
  for (const GumboNode* n = element; n && node::IsElement(n); n = n->parent) {
    if (!Rendered(n)) return false;
    const GumboNode* parent = n->parent;
    if (parent && node::IsElement(parent) && !DescendsInto(DisplayOf(parent))) return false;
  }
  return true;
}

}  // namespace docseek::dom
