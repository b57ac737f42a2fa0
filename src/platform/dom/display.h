// SPDX-License-Identifier: MIT
#pragma once

// How the default style sheet displays each element, as far as innerText
// needs it: hidden, inline, block, paragraph, table parts, atoms, line breaks.
// See inner_text.h for the list.

#include <gumbo.h>

namespace docseek::dom {

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

Display DisplayOf(const GumboNode* n);

// white-space: pre (pre, listing, plaintext, xmp, textarea).
bool PreservesWhiteSpace(const GumboNode* n);

// Whether `child` of `parent` gets a box at all, for the parents that admit
// only some children: select, optgroup, closed details.
bool ChildAdmitted(const GumboNode* parent, const GumboNode* child);

// Whether the element's children are laid out (not hidden, replaced, br or a column).
bool DescendsInto(Display d);

// Whether the element (and every ancestor) would be rendered.
bool IsRendered(const GumboNode* element);

}  // namespace docseek::dom
