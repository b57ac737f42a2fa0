// SPDX-License-Identifier: MIT
#pragma once

// Small helpers over gumbo nodes.

#include <gumbo.h>

#include <cstring>
#include <string_view>

namespace docseek::dom::node {

inline bool IsElement(const GumboNode* n) {
  return n->type == GUMBO_NODE_ELEMENT || n->type == GUMBO_NODE_TEMPLATE;
}

inline bool IsHtml(const GumboNode* n) {
  return IsElement(n) && n->v.element.tag_namespace == GUMBO_NAMESPACE_HTML;
}

inline bool IsHtmlTag(const GumboNode* n, GumboTag tag) {
  return IsHtml(n) && n->v.element.tag == tag;
}

inline bool IsText(const GumboNode* n) {
  return n->type == GUMBO_NODE_TEXT || n->type == GUMBO_NODE_WHITESPACE ||
         n->type == GUMBO_NODE_CDATA;
}

// Children of an element or the document; template contents count as the
// template's children in gumbo, so callers that want the DOM's children of a
// template (none) check for GUMBO_NODE_TEMPLATE themselves.
inline const GumboVector& Children(const GumboNode* n) {
  return n->type == GUMBO_NODE_DOCUMENT ? n->v.document.children : n->v.element.children;
}

inline const GumboNode* Child(const GumboNode* n, unsigned i) {
  return static_cast<const GumboNode*>(Children(n).data[i]);
}

inline bool HasChildren(const GumboNode* n) {
  return n->type == GUMBO_NODE_DOCUMENT || IsElement(n);
}

// The value of an attribute without namespace (as getAttribute(name) finds it
// on an HTML element), or nullptr.
inline const char* Attr(const GumboNode* n, const char* name) {
  if (!IsElement(n)) return nullptr;
  const GumboVector& attrs = n->v.element.attributes;
  for (unsigned i = 0; i < attrs.length; ++i) {
    const auto* a = static_cast<const GumboAttribute*>(attrs.data[i]);
    if (a->attr_namespace == GUMBO_ATTR_NAMESPACE_NONE && std::strcmp(a->name, name) == 0) {
      return a->value;
    }
  }
  return nullptr;
}

// The tag name of an element gumbo does not know (GUMBO_TAG_UNKNOWN), as
// written in the source ("dialog", "search", "x-foo"); empty when unknown.
inline std::string_view UnknownTagName(const GumboNode* n) {
  GumboStringPiece piece = n->v.element.original_tag;
  if (piece.length == 0 || !piece.data) return {};
  gumbo_tag_from_original_text(&piece);
  return std::string_view(piece.data, piece.length);
}

}  // namespace docseek::dom::node
