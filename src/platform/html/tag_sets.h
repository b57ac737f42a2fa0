#pragma once

// The sets of HTML elements the tree builder treats alike, as far as the
// markup guard models it (gumbo's tag numbers).

#include <gumbo.h>

#include <algorithm>
#include <initializer_list>

namespace docseek::html {

inline bool In(GumboTag tag, std::initializer_list<GumboTag> set) {
  return std::find(set.begin(), set.end(), tag) != set.end();
}

bool IsVoid(GumboTag t);
// Elements whose content the tokenizer reads as text up to their end tag.
bool IsRawText(GumboTag t);
bool IsHeading(GumboTag t);
// Start tags that close an open <p> ("in body" insertion mode).
bool ClosesP(GumboTag t);
// HTML start tags that end foreign (SVG/MathML) content.
bool BreaksOutOfForeign(GumboTag t);
// Foreign elements in which HTML start tags make HTML elements again.
bool IsIntegrationPoint(GumboTag t);
// Formatting elements: the tree builder keeps them in its list of active
// formatting elements and re-opens them ("reconstructs") after they were
// closed implicitly.
bool IsFormatting(GumboTag t);
// Elements that put a marker into the list of active formatting elements.
bool IsMarkerElement(GumboTag t);
// Start tags before which the tree builder ("in body") does not reconstruct
// the active formatting elements.
bool SkipsReconstruct(GumboTag t);
// Table parts the tree builder ignores outside a table.
bool IsTablePart(GumboTag t);

}  // namespace docseek::html
