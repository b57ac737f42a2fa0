// SPDX-License-Identifier: MIT
#pragma once

// The sets of HTML elements the tree builder treats alike, as far as the
// markup guard models it (gumbo's tag numbers).

#include <gumbo.h>

#include <algorithm>
#include <array>
#include <initializer_list>

namespace docseek::html {

inline bool In(GumboTag tag, std::initializer_list<GumboTag> set) {
  return std::find(set.begin(), set.end(), tag) != set.end();
}

// A named set as a table indexed by tag number: the guard asks these for
// every tag of every page, so membership is one load, not a search.
class TagSet {
 public:
  constexpr TagSet(std::initializer_list<GumboTag> tags) {
    for (GumboTag t : tags) member_[t] = true;
  }
  constexpr bool operator()(GumboTag t) const {
    return static_cast<unsigned>(t) < member_.size() && member_[t];
  }

 private:
  std::array<bool, GUMBO_TAG_LAST + 1> member_{};
};

inline constexpr TagSet kVoidTags = {
    GUMBO_TAG_AREA,  GUMBO_TAG_BASE,   GUMBO_TAG_BASEFONT, GUMBO_TAG_BGSOUND, GUMBO_TAG_BR,
    GUMBO_TAG_COL,   GUMBO_TAG_EMBED,  GUMBO_TAG_FRAME,    GUMBO_TAG_HR,      GUMBO_TAG_IMAGE,
    GUMBO_TAG_IMG,   GUMBO_TAG_INPUT,  GUMBO_TAG_KEYGEN,   GUMBO_TAG_LINK,    GUMBO_TAG_META,
    GUMBO_TAG_PARAM, GUMBO_TAG_SOURCE, GUMBO_TAG_TRACK,    GUMBO_TAG_WBR,     GUMBO_TAG_ISINDEX};
inline bool IsVoid(GumboTag t) { return kVoidTags(t); }
// Elements whose content the tokenizer reads as text up to their end tag.
inline constexpr TagSet kRawTextTags = {GUMBO_TAG_SCRIPT, GUMBO_TAG_STYLE,   GUMBO_TAG_XMP,
                                        GUMBO_TAG_IFRAME, GUMBO_TAG_NOEMBED, GUMBO_TAG_NOFRAMES,
                                        GUMBO_TAG_TITLE,  GUMBO_TAG_TEXTAREA};
inline bool IsRawText(GumboTag t) { return kRawTextTags(t); }
inline bool IsHeading(GumboTag t) { return t >= GUMBO_TAG_H1 && t <= GUMBO_TAG_H6; }
// Start tags that close an open <p> ("in body" insertion mode).
inline constexpr TagSet kClosesPTags = {
    GUMBO_TAG_ADDRESS, GUMBO_TAG_ARTICLE,  GUMBO_TAG_ASIDE,      GUMBO_TAG_BLOCKQUOTE,
    GUMBO_TAG_CENTER,  GUMBO_TAG_DETAILS,  GUMBO_TAG_DIR,        GUMBO_TAG_DIV,
    GUMBO_TAG_DL,      GUMBO_TAG_FIELDSET, GUMBO_TAG_FIGCAPTION, GUMBO_TAG_FIGURE,
    GUMBO_TAG_FOOTER,  GUMBO_TAG_HEADER,   GUMBO_TAG_HGROUP,     GUMBO_TAG_MAIN,
    GUMBO_TAG_MENU,    GUMBO_TAG_NAV,      GUMBO_TAG_OL,         GUMBO_TAG_P,
    GUMBO_TAG_SECTION, GUMBO_TAG_SUMMARY,  GUMBO_TAG_UL,         GUMBO_TAG_PRE,
    GUMBO_TAG_LISTING, GUMBO_TAG_FORM,     GUMBO_TAG_PLAINTEXT,  GUMBO_TAG_XMP,
    GUMBO_TAG_LI,      GUMBO_TAG_DD,       GUMBO_TAG_DT};
inline bool ClosesP(GumboTag t) { return IsHeading(t) || kClosesPTags(t); }
// HTML start tags that end foreign (SVG/MathML) content.
inline constexpr TagSet kBreaksOutOfForeignTags = {
    GUMBO_TAG_B,      GUMBO_TAG_BIG,  GUMBO_TAG_BLOCKQUOTE, GUMBO_TAG_BODY,    GUMBO_TAG_BR,
    GUMBO_TAG_CENTER, GUMBO_TAG_CODE, GUMBO_TAG_DD,         GUMBO_TAG_DIV,     GUMBO_TAG_DL,
    GUMBO_TAG_DT,     GUMBO_TAG_EM,   GUMBO_TAG_EMBED,      GUMBO_TAG_HEAD,    GUMBO_TAG_HR,
    GUMBO_TAG_I,      GUMBO_TAG_IMG,  GUMBO_TAG_LI,         GUMBO_TAG_LISTING, GUMBO_TAG_MENU,
    GUMBO_TAG_META,   GUMBO_TAG_NOBR, GUMBO_TAG_OL,         GUMBO_TAG_P,       GUMBO_TAG_PRE,
    GUMBO_TAG_RUBY,   GUMBO_TAG_S,    GUMBO_TAG_SMALL,      GUMBO_TAG_SPAN,    GUMBO_TAG_STRONG,
    GUMBO_TAG_STRIKE, GUMBO_TAG_SUB,  GUMBO_TAG_SUP,        GUMBO_TAG_TABLE,   GUMBO_TAG_TT,
    GUMBO_TAG_U,      GUMBO_TAG_UL,   GUMBO_TAG_VAR};
inline bool BreaksOutOfForeign(GumboTag t) { return IsHeading(t) || kBreaksOutOfForeignTags(t); }
// Foreign elements in which HTML start tags make HTML elements again.
inline constexpr TagSet kIntegrationPointTags = {GUMBO_TAG_FOREIGNOBJECT,
                                                 GUMBO_TAG_DESC,
                                                 GUMBO_TAG_TITLE,
                                                 GUMBO_TAG_MI,
                                                 GUMBO_TAG_MO,
                                                 GUMBO_TAG_MN,
                                                 GUMBO_TAG_MS,
                                                 GUMBO_TAG_MTEXT,
                                                 GUMBO_TAG_ANNOTATION_XML};
inline bool IsIntegrationPoint(GumboTag t) { return kIntegrationPointTags(t); }
// Formatting elements: the tree builder keeps them in its list of active
// formatting elements and re-opens them ("reconstructs") after they were
// closed implicitly.
inline constexpr TagSet kFormattingTags = {
    GUMBO_TAG_A,      GUMBO_TAG_B,      GUMBO_TAG_BIG,  GUMBO_TAG_CODE, GUMBO_TAG_EM,
    GUMBO_TAG_FONT,   GUMBO_TAG_I,      GUMBO_TAG_NOBR, GUMBO_TAG_S,    GUMBO_TAG_SMALL,
    GUMBO_TAG_STRIKE, GUMBO_TAG_STRONG, GUMBO_TAG_TT,   GUMBO_TAG_U};
inline bool IsFormatting(GumboTag t) { return kFormattingTags(t); }
// Elements that put a marker into the list of active formatting elements.
inline constexpr TagSet kMarkerElementTags = {
    GUMBO_TAG_APPLET, GUMBO_TAG_MARQUEE, GUMBO_TAG_OBJECT,  GUMBO_TAG_TD,
    GUMBO_TAG_TH,     GUMBO_TAG_CAPTION, GUMBO_TAG_TEMPLATE};
inline bool IsMarkerElement(GumboTag t) { return kMarkerElementTags(t); }
// Start tags before which the tree builder ("in body") does not reconstruct
// the active formatting elements.
inline constexpr TagSet kSkipsReconstructTags = {
    GUMBO_TAG_HTML,     GUMBO_TAG_BODY,     GUMBO_TAG_HEAD,    GUMBO_TAG_FRAMESET,
    GUMBO_TAG_BASE,     GUMBO_TAG_BASEFONT, GUMBO_TAG_BGSOUND, GUMBO_TAG_LINK,
    GUMBO_TAG_META,     GUMBO_TAG_NOFRAMES, GUMBO_TAG_SCRIPT,  GUMBO_TAG_STYLE,
    GUMBO_TAG_TEMPLATE, GUMBO_TAG_TITLE,    GUMBO_TAG_TABLE,   GUMBO_TAG_HR,
    GUMBO_TAG_TEXTAREA, GUMBO_TAG_IFRAME,   GUMBO_TAG_NOEMBED, GUMBO_TAG_NOSCRIPT,
    GUMBO_TAG_PARAM,    GUMBO_TAG_SOURCE,   GUMBO_TAG_TRACK,   GUMBO_TAG_RB,
    GUMBO_TAG_RP,       GUMBO_TAG_RT,       GUMBO_TAG_RTC,     GUMBO_TAG_CAPTION,
    GUMBO_TAG_COL,      GUMBO_TAG_COLGROUP, GUMBO_TAG_FRAME,   GUMBO_TAG_TBODY,
    GUMBO_TAG_TD,       GUMBO_TAG_TFOOT,    GUMBO_TAG_TH,      GUMBO_TAG_THEAD,
    GUMBO_TAG_TR};
inline bool SkipsReconstruct(GumboTag t) { return ClosesP(t) || kSkipsReconstructTags(t); }
// Table parts the tree builder ignores outside a table.
inline constexpr TagSet kTablePartTags = {GUMBO_TAG_CAPTION, GUMBO_TAG_COLGROUP, GUMBO_TAG_TBODY,
                                          GUMBO_TAG_THEAD,   GUMBO_TAG_TFOOT,    GUMBO_TAG_TR,
                                          GUMBO_TAG_TD,      GUMBO_TAG_TH,       GUMBO_TAG_FRAME};
inline bool IsTablePart(GumboTag t) { return kTablePartTags(t); }

}  // namespace docseek::html
