// SPDX-License-Identifier: MIT
#pragma once

// The innerText getter over a gumbo tree, as the WHATWG
// HTML standard defines it ("rendered text collection steps") for a page styled
// by nothing but the browser's default style sheet, with scripting on.
//
// What "rendered" means here (the default style sheet's display values):
//   - display:none: head, title, script, style, template, noscript, base, link,
//     meta, area, datalist, noembed, noframes, param, rp, source, track, any
//     element with the `hidden` attribute, input type=hidden, audio without
//     controls, dialog without open, the content of a closed details other than
//     its first summary, children of select other than option/optgroup;
//   - replaced elements (img, iframe, video, audio, canvas, embed, meter,
//     progress, svg) render no text of their children;
//   - block-level (one required line break around): html, body, div, ul, ol,
//     li, dl, dt, dd, h1-h6, table, caption, section, article, aside, header,
//     footer, nav, address, blockquote, center, dialog, dir, figure,
//     figcaption, fieldset, legend, form, hgroup, hr, main, menu, search,
//     details, summary, option, optgroup, pre, listing, plaintext, xmp,
//     frameset; p: two;
//   - td/th: "\t" after each but the last rendered cell of its row; tr: "\n"
//     after each but the last rendered row of its table;
//   - br: "\n";
//   - white-space: pre in pre, listing, plaintext, xmp, textarea (and their
//     descendants), else runs of space/tab/LF/CR/FF collapse to one space and
//     go at line starts and ends (lines end at blocks, br and table cells);
//   - U+00A0 comes out as U+0020 (not collapsed with its neighbours), here and
//     in the textContent fallback.

#include <gumbo.h>

#include <string>

namespace docseek::dom {

// innerText of an HTML element (the caller checks the namespace). An element
// that is not rendered itself gives its textContent, as the standard says.
std::string InnerText(const GumboNode* element);

// textContent: the text of all descendant text nodes (template contents
// excluded), no-break spaces as spaces.
std::string TextContent(const GumboNode* node);

}  // namespace docseek::dom
