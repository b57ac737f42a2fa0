#include "platform/dom/markup_guard.h"

#include <gumbo.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace docseek::dom::markup {
namespace {

constexpr int kTags = GUMBO_TAG_LAST + 1;  // GUMBO_TAG_UNKNOWN < GUMBO_TAG_LAST

bool IsWs(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool In(GumboTag tag, std::initializer_list<GumboTag> set) {
  return std::find(set.begin(), set.end(), tag) != set.end();
}

bool IsVoid(GumboTag t) {
  return In(t, {GUMBO_TAG_AREA,   GUMBO_TAG_BASE,  GUMBO_TAG_BASEFONT, GUMBO_TAG_BGSOUND,
                GUMBO_TAG_BR,     GUMBO_TAG_COL,   GUMBO_TAG_EMBED,    GUMBO_TAG_FRAME,
                GUMBO_TAG_HR,     GUMBO_TAG_IMAGE, GUMBO_TAG_IMG,      GUMBO_TAG_INPUT,
                GUMBO_TAG_KEYGEN, GUMBO_TAG_LINK,  GUMBO_TAG_META,     GUMBO_TAG_PARAM,
                GUMBO_TAG_SOURCE, GUMBO_TAG_TRACK, GUMBO_TAG_WBR,      GUMBO_TAG_ISINDEX});
}

// Elements whose content the tokenizer reads as text up to their end tag.
bool IsRawText(GumboTag t) {
  return In(t, {GUMBO_TAG_SCRIPT, GUMBO_TAG_STYLE, GUMBO_TAG_XMP, GUMBO_TAG_IFRAME,
                GUMBO_TAG_NOEMBED, GUMBO_TAG_NOFRAMES, GUMBO_TAG_TITLE, GUMBO_TAG_TEXTAREA});
}

bool IsHeading(GumboTag t) { return t >= GUMBO_TAG_H1 && t <= GUMBO_TAG_H6; }

// Start tags that close an open <p> ("in body" insertion mode).
bool ClosesP(GumboTag t) {
  return IsHeading(t) ||
         In(t, {GUMBO_TAG_ADDRESS, GUMBO_TAG_ARTICLE,  GUMBO_TAG_ASIDE,      GUMBO_TAG_BLOCKQUOTE,
                GUMBO_TAG_CENTER,  GUMBO_TAG_DETAILS,  GUMBO_TAG_DIR,        GUMBO_TAG_DIV,
                GUMBO_TAG_DL,      GUMBO_TAG_FIELDSET, GUMBO_TAG_FIGCAPTION, GUMBO_TAG_FIGURE,
                GUMBO_TAG_FOOTER,  GUMBO_TAG_HEADER,   GUMBO_TAG_HGROUP,     GUMBO_TAG_MAIN,
                GUMBO_TAG_MENU,    GUMBO_TAG_NAV,      GUMBO_TAG_OL,         GUMBO_TAG_P,
                GUMBO_TAG_SECTION, GUMBO_TAG_SUMMARY,  GUMBO_TAG_UL,         GUMBO_TAG_PRE,
                GUMBO_TAG_LISTING, GUMBO_TAG_FORM,     GUMBO_TAG_PLAINTEXT,  GUMBO_TAG_XMP,
                GUMBO_TAG_LI,      GUMBO_TAG_DD,       GUMBO_TAG_DT});
}

// HTML start tags that end foreign (SVG/MathML) content.
bool BreaksOutOfForeign(GumboTag t) {
  return IsHeading(t) ||
         In(t, {GUMBO_TAG_B,     GUMBO_TAG_BIG,    GUMBO_TAG_BLOCKQUOTE, GUMBO_TAG_BODY,
                GUMBO_TAG_BR,    GUMBO_TAG_CENTER, GUMBO_TAG_CODE,       GUMBO_TAG_DD,
                GUMBO_TAG_DIV,   GUMBO_TAG_DL,     GUMBO_TAG_DT,         GUMBO_TAG_EM,
                GUMBO_TAG_EMBED, GUMBO_TAG_HEAD,   GUMBO_TAG_HR,         GUMBO_TAG_I,
                GUMBO_TAG_IMG,   GUMBO_TAG_LI,     GUMBO_TAG_LISTING,    GUMBO_TAG_MENU,
                GUMBO_TAG_META,  GUMBO_TAG_NOBR,   GUMBO_TAG_OL,         GUMBO_TAG_P,
                GUMBO_TAG_PRE,   GUMBO_TAG_RUBY,   GUMBO_TAG_S,          GUMBO_TAG_SMALL,
                GUMBO_TAG_SPAN,  GUMBO_TAG_STRONG, GUMBO_TAG_STRIKE,     GUMBO_TAG_SUB,
                GUMBO_TAG_SUP,   GUMBO_TAG_TABLE,  GUMBO_TAG_TT,         GUMBO_TAG_U,
                GUMBO_TAG_UL,    GUMBO_TAG_VAR});
}

// Foreign elements in which HTML start tags make HTML elements again.
bool IsIntegrationPoint(GumboTag t) {
  return In(t,
            {GUMBO_TAG_FOREIGNOBJECT, GUMBO_TAG_DESC, GUMBO_TAG_TITLE, GUMBO_TAG_MI, GUMBO_TAG_MO,
             GUMBO_TAG_MN, GUMBO_TAG_MS, GUMBO_TAG_MTEXT, GUMBO_TAG_ANNOTATION_XML});
}

// Formatting elements: the tree builder keeps them in its list of active
// formatting elements and re-opens them ("reconstructs") after they were
// closed implicitly.
bool IsFormatting(GumboTag t) {
  return In(t, {GUMBO_TAG_A, GUMBO_TAG_B, GUMBO_TAG_BIG, GUMBO_TAG_CODE, GUMBO_TAG_EM,
                GUMBO_TAG_FONT, GUMBO_TAG_I, GUMBO_TAG_NOBR, GUMBO_TAG_S, GUMBO_TAG_SMALL,
                GUMBO_TAG_STRIKE, GUMBO_TAG_STRONG, GUMBO_TAG_TT, GUMBO_TAG_U});
}

// Elements that put a marker into the list of active formatting elements.
bool IsMarkerElement(GumboTag t) {
  return In(t, {GUMBO_TAG_APPLET, GUMBO_TAG_MARQUEE, GUMBO_TAG_OBJECT, GUMBO_TAG_TD, GUMBO_TAG_TH,
                GUMBO_TAG_CAPTION, GUMBO_TAG_TEMPLATE});
}

// Start tags before which the tree builder ("in body") does not reconstruct
// the active formatting elements.
bool SkipsReconstruct(GumboTag t) {
  return ClosesP(t) ||
         In(t, {GUMBO_TAG_HTML,     GUMBO_TAG_BODY,     GUMBO_TAG_HEAD,    GUMBO_TAG_FRAMESET,
                GUMBO_TAG_BASE,     GUMBO_TAG_BASEFONT, GUMBO_TAG_BGSOUND, GUMBO_TAG_LINK,
                GUMBO_TAG_META,     GUMBO_TAG_NOFRAMES, GUMBO_TAG_SCRIPT,  GUMBO_TAG_STYLE,
                GUMBO_TAG_TEMPLATE, GUMBO_TAG_TITLE,    GUMBO_TAG_TABLE,   GUMBO_TAG_HR,
                GUMBO_TAG_TEXTAREA, GUMBO_TAG_IFRAME,   GUMBO_TAG_NOEMBED, GUMBO_TAG_NOSCRIPT,
                GUMBO_TAG_PARAM,    GUMBO_TAG_SOURCE,   GUMBO_TAG_TRACK,   GUMBO_TAG_RB,
                GUMBO_TAG_RP,       GUMBO_TAG_RT,       GUMBO_TAG_RTC,     GUMBO_TAG_CAPTION,
                GUMBO_TAG_COL,      GUMBO_TAG_COLGROUP, GUMBO_TAG_FRAME,   GUMBO_TAG_TBODY,
                GUMBO_TAG_TD,       GUMBO_TAG_TFOOT,    GUMBO_TAG_TH,      GUMBO_TAG_THEAD,
                GUMBO_TAG_TR});
}

uint64_t Hash(std::string_view s) {
  uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (char c : s) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return h;
}

enum Scope { kDefaultScope, kListItemScope, kButtonScope, kTableScope, kScopes };

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

class Guard {
 public:
  Guard(std::string_view html, size_t max_depth) : s_(html), max_depth_(max_depth) {
    pos_.resize(2 * kTags);
  }

  bool Run(std::string* out, GuardStats* stats);

 private:
  struct Entry {
    int id;  // tag, + kTags when foreign; >= 2*kTags for unknown names
    GumboTag tag;
    bool foreign;
    int serial;  // of its entry in the active formatting list, or -1
  };

  // An entry of the list of active formatting elements (or a marker).
  struct Formatting {
    GumboTag tag;    // GUMBO_TAG_LAST for a marker
    uint64_t attrs;  // hash of the attribute text (the "Noah's Ark" clause compares them)
    int serial;
    bool on_stack;
  };

  // --- the model's stack of open elements ---
  int IdOf(std::string_view lower_name, GumboTag tag, bool foreign) {
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
  void Push(int id, GumboTag tag, bool foreign, int serial = -1) {
    const int index = static_cast<int>(stack_.size());
    stack_.push_back({id, tag, foreign, serial});
    ++elements_;
    if (!foreign && IsMarkerElement(tag)) afe_.push_back({GUMBO_TAG_LAST, 0, -1, false});
    pos_[id].push_back(index);
    for (int sc = 0; sc < kScopes; ++sc) {
      if (IsBoundary(tag, foreign, static_cast<Scope>(sc))) boundary_[sc].push_back(index);
    }
    max_seen_ = std::max(max_seen_, stack_.size());
  }
  void Pop() {
    const int index = static_cast<int>(stack_.size()) - 1;
    const Entry& top = stack_.back();
    if (top.serial >= 0) {
      for (size_t k = afe_.size(); k-- > 0;) {
        if (afe_[k].serial == top.serial) {
          afe_[k].on_stack = false;
          break;
        }
      }
    }
    if (!top.foreign && IsMarkerElement(top.tag)) ClearFormattingToMarker();
    pos_[top.id].pop_back();
    for (auto& b : boundary_) {
      if (!b.empty() && b.back() == index) b.pop_back();
    }
    stack_.pop_back();
  }
  void PopUntil(int id) {
    while (!stack_.empty()) {
      const int top = stack_.back().id;
      Pop();
      if (top == id) return;
    }
  }
  bool Open(int id) const { return !pos_[id].empty(); }
  bool InScope(int id, Scope scope) const {
    if (pos_[id].empty()) return false;
    return boundary_[scope].empty() || pos_[id].back() >= boundary_[scope].back();
  }
  bool TopIs(GumboTag tag) const {
    return !stack_.empty() && !stack_.back().foreign && stack_.back().tag == tag;
  }
  bool TopIsOneOf(std::initializer_list<GumboTag> tags) const {
    return !stack_.empty() && !stack_.back().foreign && In(stack_.back().tag, tags);
  }
  bool ForeignContext() const {
    return !stack_.empty() && stack_.back().foreign && !IsIntegrationPoint(stack_.back().tag);
  }
  void ClearToTableContext(std::initializer_list<GumboTag> stop) {
    while (!stack_.empty() && !TopIsOneOf(stop)) Pop();
  }

  // --- the model's list of active formatting elements ---
  size_t AfterLastMarker() const {
    for (size_t k = afe_.size(); k-- > 0;) {
      if (afe_[k].tag == GUMBO_TAG_LAST) return k + 1;
    }
    return 0;
  }
  void ClearFormattingToMarker() {
    while (!afe_.empty()) {
      const bool marker = afe_.back().tag == GUMBO_TAG_LAST;
      afe_.pop_back();
      if (marker) return;
    }
  }
  // Index of the last entry for `tag` after the last marker, or -1.
  int LastFormatting(GumboTag tag) const {
    const size_t first = AfterLastMarker();
    for (size_t k = afe_.size(); k-- > first;) {
      if (afe_[k].tag == tag) return static_cast<int>(k);
    }
    return -1;
  }
  // Before text and most start tags: the elements of the list that were
  // closed implicitly are opened again. Past a budget, the guard writes end
  // tags for them instead, which takes them off the list: misnested formatting
  // can otherwise make the tree builder re-open thousands of elements for each
  // few bytes of input (1 MiB of "<p><b x=N>t</p>" took 23 GB).
  void Reconstruct(size_t at);
  void StartFormatting(size_t begin, size_t end, std::string_view name, GumboTag tag, int id);
  bool EndFormatting(GumboTag tag, int id);

  // --- edits of the markup ---
  void Remove(size_t begin, size_t end) {
    out_.append(s_.substr(copied_, begin - copied_));
    copied_ = end;
    edited_ = true;
  }
  void Insert(size_t at, std::string_view text) {
    out_.append(s_.substr(copied_, at - copied_));
    out_.append(text);
    copied_ = at;
    edited_ = true;
  }

  // --- tokens ---
  void StartTag(size_t begin, size_t end, std::string_view lower_name, bool self_closing);
  void EndTag(size_t begin, size_t end, std::string_view lower_name);
  // Index after the end tag that closes raw text opened by `lower_name` at s_[from...].
  size_t SkipRawText(size_t from, std::string_view lower_name) const;
  // Reads the attributes of a tag from s_[p]; returns the index after '>' or npos.
  size_t SkipAttributes(size_t p, bool* self_closing) const;

  std::string_view s_;
  size_t max_depth_;
  std::vector<Entry> stack_;
  std::vector<std::vector<int>> pos_;
  std::vector<int> boundary_[kScopes];
  std::unordered_map<std::string, int> unknown_ids_;
  std::unordered_map<int, size_t> suppressed_;
  std::vector<Formatting> afe_;
  int next_serial_ = 0;
  size_t reopened_ = 0;  // elements the model re-opened so far
  size_t elements_ = 0;  // dropped start tags by id, awaiting end tags
  size_t next_ = 0;      // where scanning goes on
  size_t copied_ = 0;    // how much of s_ is in out_
  std::string out_;
  bool edited_ = false;
  size_t max_seen_ = 0;
  size_t dropped_ = 0;
  size_t injected_ = 0;
  size_t noscripts_ = 0;
};

size_t Guard::SkipAttributes(size_t p, bool* self_closing) const {
  *self_closing = false;
  const size_t n = s_.size();
  while (p < n) {
    const char c = s_[p];
    if (IsWs(c)) {
      ++p;
    } else if (c == '>') {
      return p + 1;
    } else if (c == '/') {
      if (p + 1 < n && s_[p + 1] == '>') {
        *self_closing = true;
        return p + 2;
      }
      ++p;
    } else {
      // An attribute name (its first character may be '=').
      ++p;
      while (p < n && !IsWs(s_[p]) && s_[p] != '/' && s_[p] != '>' && s_[p] != '=') ++p;
      while (p < n && IsWs(s_[p])) ++p;
      if (p < n && s_[p] == '=') {
        ++p;
        while (p < n && IsWs(s_[p])) ++p;
        if (p < n && (s_[p] == '"' || s_[p] == '\'')) {
          const size_t close = s_.find(s_[p], p + 1);
          if (close == std::string_view::npos) return std::string_view::npos;
          p = close + 1;
        } else {
          while (p < n && !IsWs(s_[p]) && s_[p] != '>') ++p;
        }
      }
    }
  }
  return std::string_view::npos;  // end of input inside the tag: the tag is dropped
}

size_t Guard::SkipRawText(size_t from, std::string_view lower_name) const {
  size_t p = from;
  while (true) {
    const void* hit = std::memchr(s_.data() + p, '<', s_.size() - p);
    if (!hit) return s_.size();
    p = static_cast<const char*>(hit) - s_.data();
    if (p + 2 + lower_name.size() <= s_.size() && s_[p + 1] == '/') {
      bool match = true;
      for (size_t k = 0; k < lower_name.size(); ++k) {
        if (Lower(s_[p + 2 + k]) != lower_name[k]) {
          match = false;
          break;
        }
      }
      const size_t after = p + 2 + lower_name.size();
      if (match &&
          (after == s_.size() || IsWs(s_[after]) || s_[after] == '/' || s_[after] == '>')) {
        return p;
      }
    }
    ++p;
  }
}

// Most entries the list may hold after its last marker; formatting start tags
// beyond it are dropped (their elements render no boxes of their own, so the
// text does not change).
constexpr size_t kMaxFormatting = 32;
// Elements the model lets the tree builder re-open in one document.
constexpr size_t kMaxReopened = 50000;

void Guard::Reconstruct(size_t at) {
  size_t first = afe_.size();
  while (first > 0 && afe_[first - 1].tag != GUMBO_TAG_LAST && !afe_[first - 1].on_stack) --first;
  if (first == afe_.size()) return;
  const size_t count = afe_.size() - first;
  if (reopened_ + count > kMaxReopened) {
    // End tags for them, last first: each then names the last entry of its
    // tag, which is not on the stack, so the tree builder only drops it.
    std::string end_tags;
    for (size_t k = afe_.size(); k-- > first;) {
      end_tags += "</";
      end_tags += gumbo_normalized_tagname(afe_[k].tag);
      end_tags += '>';
    }
    Insert(at, end_tags);
    afe_.resize(first);
    ++injected_;
    return;
  }
  reopened_ += count;
  for (size_t k = first; k < afe_.size(); ++k) {
    Push(afe_[k].tag, afe_[k].tag, false, afe_[k].serial);
    afe_[k].on_stack = true;
  }
}

void Guard::StartFormatting(size_t begin, size_t end, std::string_view name, GumboTag tag, int id) {
  if (tag == GUMBO_TAG_A || tag == GUMBO_TAG_NOBR) {
    // A second <a> (or <nobr> in scope) closes the first.
    const int k = LastFormatting(tag);
    if (k >= 0 && (tag == GUMBO_TAG_A || InScope(id, kDefaultScope))) {
      if (afe_[k].on_stack && InScope(id, kDefaultScope)) PopUntil(id);
      afe_.erase(afe_.begin() + k);
    }
  }
  Reconstruct(begin);
  const size_t first = AfterLastMarker();
  if (tag != GUMBO_TAG_A && afe_.size() - first >= kMaxFormatting) {
    Remove(begin, end);
    ++suppressed_[id];
    ++dropped_;
    return;
  }
  const size_t attrs_at = std::min<size_t>(1 + name.size() + begin, end);
  const uint64_t attrs = Hash(s_.substr(attrs_at, end - attrs_at));
  // Noah's Ark: at most three equal entries; the earliest goes.
  int same = 0, earliest = -1;
  for (size_t k = first; k < afe_.size(); ++k) {
    if (afe_[k].tag == tag && afe_[k].attrs == attrs) {
      if (same++ == 0) earliest = static_cast<int>(k);
    }
  }
  if (same >= 3) afe_.erase(afe_.begin() + earliest);
  const int serial = next_serial_++;
  Push(id, tag, false, serial);
  afe_.push_back({tag, attrs, serial, true});
}

bool Guard::EndFormatting(GumboTag tag, int id) {
  const int k = LastFormatting(tag);
  if (k < 0) return false;  // handled as any other end tag
  if (afe_[k].on_stack) {
    if (!InScope(id, kDefaultScope)) return true;  // ignored
    PopUntil(id);
  }
  // Pop() may have changed the list only by clearing markers above k, which
  // cannot be: k is after the last marker.
  afe_.erase(afe_.begin() + LastFormatting(tag));
  return true;
}

void Guard::StartTag(size_t begin, size_t end, std::string_view name, bool self_closing) {
  GumboTag tag = gumbo_tagn_enum(name.data(), static_cast<unsigned>(name.size()));
  bool foreign = false;
  if (ForeignContext()) {
    if (BreaksOutOfForeign(tag)) {
      while (ForeignContext()) Pop();
    } else {
      foreign = true;
    }
  }
  if (!foreign && (tag == GUMBO_TAG_SVG || tag == GUMBO_TAG_MATH)) foreign = true;
  if (foreign) {
    if (self_closing) return;
    const int id = IdOf(name, tag, true);
    if (stack_.size() >= max_depth_) {
      Remove(begin, end);
      ++suppressed_[id];
      ++dropped_;
      return;
    }
    Push(id, tag, true);
    return;
  }
  if (tag == GUMBO_TAG_IMAGE) tag = GUMBO_TAG_IMG;
  switch (tag) {
    case GUMBO_TAG_HTML:
    case GUMBO_TAG_HEAD:
    case GUMBO_TAG_BODY:
      return;  // merged into the elements that are always there
    case GUMBO_TAG_NOSCRIPT: {
      const size_t close = SkipRawText(end, "noscript");
      if (close > end) {
        Remove(end, close);
        ++noscripts_;
      }
      next_ = close;
      return;
    }
    case GUMBO_TAG_PLAINTEXT:
      next_ = s_.size();  // the rest is text
      return;
    default:
      break;
  }
  if (IsRawText(tag)) {
    next_ = SkipRawText(end, name);
    return;
  }
  const int select = GUMBO_TAG_SELECT;
  if (Open(select) && InScope(select, kTableScope)) {
    // "in select": only a few start tags do anything.
    if (tag == GUMBO_TAG_SELECT) {
      PopUntil(select);
      return;
    }
    if (In(tag, {GUMBO_TAG_INPUT, GUMBO_TAG_KEYGEN, GUMBO_TAG_TEXTAREA})) {
      PopUntil(select);
    } else if (tag == GUMBO_TAG_HR) {
      if (TopIs(GUMBO_TAG_OPTION)) Pop();
      if (TopIs(GUMBO_TAG_OPTGROUP)) Pop();
      return;
    } else if (tag != GUMBO_TAG_OPTION && tag != GUMBO_TAG_OPTGROUP && tag != GUMBO_TAG_TEMPLATE) {
      return;  // ignored by the tree builder
    }
  }
  if (!SkipsReconstruct(tag) && !IsFormatting(tag)) Reconstruct(begin);
  if (IsVoid(tag)) return;
  const int id = IdOf(name, tag, false);
  if (stack_.size() >= max_depth_) {
    // Too deep: the tag goes, and so will the end tag that would close it.
    Remove(begin, end);
    ++suppressed_[id];
    ++dropped_;
    return;
  }
  // The end tags this start tag implies.
  if (tag == GUMBO_TAG_LI) {
    if (InScope(GUMBO_TAG_LI, kListItemScope)) PopUntil(GUMBO_TAG_LI);
  } else if (tag == GUMBO_TAG_DD || tag == GUMBO_TAG_DT) {
    for (int t : {GUMBO_TAG_DD, GUMBO_TAG_DT}) {
      if (InScope(t, kDefaultScope) &&
          (!Open(GUMBO_TAG_DL) || pos_[t].back() > pos_[GUMBO_TAG_DL].back())) {
        PopUntil(t);
      }
    }
  } else if (IsFormatting(tag)) {
    StartFormatting(begin, end, name, tag, id);
    return;
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
  const bool in_table = InScope(GUMBO_TAG_TABLE, kTableScope);
  if (!in_table &&
      In(tag, {GUMBO_TAG_CAPTION, GUMBO_TAG_COLGROUP, GUMBO_TAG_TBODY, GUMBO_TAG_THEAD,
               GUMBO_TAG_TFOOT, GUMBO_TAG_TR, GUMBO_TAG_TD, GUMBO_TAG_TH, GUMBO_TAG_FRAME}) &&
      !Open(GUMBO_TAG_TEMPLATE)) {
    return;  // table parts outside a table are ignored by the tree builder
  }
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
      if (in_table) ClearToTableContext({GUMBO_TAG_TABLE, GUMBO_TAG_TEMPLATE, GUMBO_TAG_HTML});
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
  Push(id, tag, false);  // a self-closing flag on an HTML element is ignored
}

void Guard::EndTag(size_t begin, size_t end, std::string_view name) {
  GumboTag tag = gumbo_tagn_enum(name.data(), static_cast<unsigned>(name.size()));
  // An end tag of a dropped element goes with it. Foreign and HTML ids differ;
  // try the one that the context suggests first.
  const bool foreign_ctx = ForeignContext();
  for (bool foreign : {foreign_ctx, !foreign_ctx}) {
    const int id = IdOf(name, tag, foreign);
    auto it = suppressed_.find(id);
    if (it != suppressed_.end() && it->second > 0) {
      --it->second;
      Remove(begin, end);
      ++dropped_;
      return;
    }
  }
  if (foreign_ctx) {
    const int id = IdOf(name, tag, true);
    if (Open(id)) {
      // Only when nothing but foreign elements lie above it.
      bool all_foreign = true;
      for (size_t k = pos_[id].back() + 1; k < stack_.size(); ++k) {
        if (!stack_[k].foreign) {
          all_foreign = false;
          break;
        }
      }
      if (all_foreign) {
        PopUntil(id);
        return;
      }
    }
  }
  const int id = IdOf(name, tag, false);
  switch (tag) {
    case GUMBO_TAG_HTML:
    case GUMBO_TAG_HEAD:
    case GUMBO_TAG_BODY:
    case GUMBO_TAG_BR:
      return;
    case GUMBO_TAG_P:
      if (InScope(id, kButtonScope)) PopUntil(id);
      return;
    case GUMBO_TAG_LI:
      if (InScope(id, kListItemScope)) PopUntil(id);
      return;
    case GUMBO_TAG_H1:
    case GUMBO_TAG_H2:
    case GUMBO_TAG_H3:
    case GUMBO_TAG_H4:
    case GUMBO_TAG_H5:
    case GUMBO_TAG_H6: {
      int deepest = -1;
      for (int h = GUMBO_TAG_H1; h <= GUMBO_TAG_H6; ++h) {
        if (InScope(h, kDefaultScope)) deepest = std::max(deepest, pos_[h].back());
      }
      if (deepest >= 0) {
        while (static_cast<int>(stack_.size()) > deepest) Pop();
      }
      return;
    }
    case GUMBO_TAG_TABLE:
    case GUMBO_TAG_TBODY:
    case GUMBO_TAG_THEAD:
    case GUMBO_TAG_TFOOT:
    case GUMBO_TAG_TR:
    case GUMBO_TAG_TD:
    case GUMBO_TAG_TH:
    case GUMBO_TAG_CAPTION:
    case GUMBO_TAG_COLGROUP:
      if (InScope(id, kTableScope)) PopUntil(id);
      return;
    case GUMBO_TAG_SELECT:
    case GUMBO_TAG_TEMPLATE:
      if (Open(id)) PopUntil(id);
      return;
    default:
      if (IsFormatting(tag) && EndFormatting(tag, id)) return;
      if (InScope(id, kDefaultScope)) PopUntil(id);
      return;
  }
}

bool Guard::Run(std::string* out, GuardStats* stats) {
  const size_t n = s_.size();
  // html and body are always open.
  Push(GUMBO_TAG_HTML, GUMBO_TAG_HTML, false);
  Push(GUMBO_TAG_BODY, GUMBO_TAG_BODY, false);
  std::string name;
  while (next_ < n) {
    const void* hit = std::memchr(s_.data() + next_, '<', n - next_);
    if (!hit) break;
    size_t i = static_cast<const char*>(hit) - s_.data();
    if (i > next_ && !ForeignContext()) Reconstruct(next_);  // text
    next_ = i + 1;
    if (i + 1 >= n) break;
    const char c = s_[i + 1];
    if (c == '!') {
      if (s_.compare(i, 4, "<!--") == 0) {
        // Ends at the first "-->" or "--!>" ("<!-->" and "<!--->" included).
        size_t p = i + 2;
        size_t close = std::string_view::npos;
        while ((p = s_.find("--", p)) != std::string_view::npos) {
          if (p + 2 < n && s_[p + 2] == '>') {
            close = p + 3;
            break;
          }
          if (p + 3 < n && s_[p + 2] == '!' && s_[p + 3] == '>') {
            close = p + 4;
            break;
          }
          ++p;
        }
        if (close == std::string_view::npos) break;  // the rest is a comment
        next_ = close;
      } else if (ForeignContext() && s_.compare(i, 9, "<![CDATA[") == 0) {
        const size_t a = s_.find("]]>", i + 9);
        if (a == std::string_view::npos) break;
        next_ = a + 3;
      } else {
        const size_t a = s_.find('>', i + 2);
        if (a == std::string_view::npos) break;
        next_ = a + 1;
      }
      continue;
    }
    if (c == '?') {
      const size_t a = s_.find('>', i + 2);
      if (a == std::string_view::npos) break;
      next_ = a + 1;
      continue;
    }
    const bool end_tag = c == '/';
    size_t p = i + (end_tag ? 2 : 1);
    if (p >= n || !IsAlpha(s_[p])) {
      if (end_tag) {
        // "</>" is ignored; "</" + anything else but a letter is a bogus comment.
        const size_t a = s_.find('>', i + 2);
        if (a == std::string_view::npos) break;
        next_ = a + 1;
      }
      continue;  // '<' as text
    }
    name.clear();
    while (p < n && !IsWs(s_[p]) && s_[p] != '/' && s_[p] != '>') name += Lower(s_[p++]);
    bool self_closing = false;
    const size_t after = SkipAttributes(p, &self_closing);
    if (after == std::string_view::npos) break;  // the tag runs to the end of input
    next_ = after;
    if (end_tag) {
      EndTag(i, after, name);
    } else {
      StartTag(i, after, name, self_closing);
    }
  }
  if (stats) {
    stats->dropped_tags = dropped_;
    stats->noscript_contents = noscripts_;
    stats->max_depth_seen = max_seen_;
    stats->formatting_resets = injected_;
    stats->elements = elements_;
  }
  if (!edited_) return false;
  out_.append(s_.substr(copied_));
  *out = std::move(out_);
  return true;
}

}  // namespace

bool GuardMarkup(std::string_view html, std::string* out, size_t max_depth, GuardStats* stats) {
  Guard guard(html, max_depth);
  return guard.Run(out, stats);
}

}  // namespace docseek::dom::markup
