// SPDX-License-Identifier: MIT
#include "platform/html/markup_guard.h"

#include <gumbo.h>

#include <algorithm>
#include <cstdint>
#include <unordered_map>

#include "platform/html/edit_buffer.h"
#include "platform/html/formatting_list.h"
#include "platform/html/open_elements.h"
#include "platform/html/tag_sets.h"
#include "platform/html/tokenizer.h"

namespace docseek::html {
namespace {

// Most entries the list may hold after its last marker; formatting start tags
// beyond it are dropped (their elements render no boxes of their own, so the
// text does not change).
constexpr std::size_t kMaxFormatting = 32;
// Elements the model lets the tree builder re-open in one document.
constexpr std::size_t kMaxReopened = 50000;

std::uint64_t Hash(std::string_view s) {
  std::uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (char c : s) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return h;
}

GumboTag TagOf(std::string_view name) {
  return gumbo_tagn_enum(name.data(), static_cast<unsigned>(name.size()));
}

class Guard {
 public:
  Guard(std::string_view html, std::size_t max_depth)
      : s_(html), max_depth_(max_depth), tokens_(html), edits_(html), stack_(formatting_) {}

  bool Run(std::string* out, GuardStats* stats);

 private:
  // --- start tags, step by step ---
  void StartTag(const Tag& t);
  void StartForeignTag(const Tag& t, GumboTag tag);
  // html/head/body, noscript, plaintext and raw text; true when handled.
  bool StartSpecialContent(const Tag& t, GumboTag tag);
  // "in select": true when the tree builder ignores the tag.
  bool IgnoredInSelect(GumboTag tag);
  void StartFormatting(const Tag& t, GumboTag tag, int id);

  // --- end tags ---
  void EndTag(const Tag& t);
  // The end tag of a dropped element goes with it; true when it did.
  bool DropMatchingEndTag(const Tag& t, GumboTag tag);
  bool EndFormatting(GumboTag tag, int id);

  // Removes a tag from the markup; a start tag's end tag will follow it.
  void Drop(const Tag& t, int id);
  // Before text and most start tags: the elements of the list that were
  // closed implicitly are opened again. Past a budget, the guard writes end
  // tags for them instead, which takes them off the list: misnested formatting
  // can otherwise make the tree builder re-open thousands of elements for each
  // few bytes of input (1 MiB of "<p><b x=N>t</p>" took 23 GB).
  void Reconstruct(std::size_t at);

  std::string_view s_;
  std::size_t max_depth_;
  Tokenizer tokens_;
  EditBuffer edits_;
  FormattingList formatting_;
  OpenElements stack_;
  std::unordered_map<int, std::size_t> suppressed_;  // dropped start tags by id, awaiting end tags
  std::size_t reopened_ = 0;                         // elements the model re-opened so far
  std::size_t dropped_ = 0;
  std::size_t injected_ = 0;
  std::size_t noscripts_ = 0;
};

void Guard::Drop(const Tag& t, int id) {
  edits_.Remove(t.begin, t.end_index);
  if (!t.end) ++suppressed_[id];
  ++dropped_;
}

void Guard::Reconstruct(std::size_t at) {
  const std::size_t first = formatting_.FirstToReopen();
  if (first == formatting_.size()) return;
  const std::size_t count = formatting_.size() - first;
  if (reopened_ + count > kMaxReopened) {
    // End tags for them, last first: each then names the last entry of its
    // tag, which is not on the stack, so the tree builder only drops it.
    std::string end_tags;
    for (std::size_t k = formatting_.size(); k-- > first;) {
      end_tags += "</";
      end_tags += gumbo_normalized_tagname(formatting_[k].tag);
      end_tags += '>';
    }
    edits_.Insert(at, end_tags);
    formatting_.Truncate(first);
    ++injected_;
    return;
  }
  reopened_ += count;
  for (std::size_t k = first; k < formatting_.size(); ++k) {
    stack_.Push(formatting_[k].tag, formatting_[k].tag, false, formatting_[k].serial);
    formatting_[k].on_stack = true;
  }
}

void Guard::StartFormatting(const Tag& t, GumboTag tag, int id) {
  if (tag == GUMBO_TAG_A || tag == GUMBO_TAG_NOBR) {
    // A second <a> (or <nobr> in scope) closes the first.
    const int k = formatting_.LastIndexOf(tag);
    if (k >= 0 && (tag == GUMBO_TAG_A || stack_.InScope(id, kDefaultScope))) {
      if (formatting_[k].on_stack && stack_.InScope(id, kDefaultScope)) stack_.PopUntil(id);
      formatting_.Erase(static_cast<std::size_t>(k));
    }
  }
  Reconstruct(t.begin);
  if (tag != GUMBO_TAG_A && formatting_.size() - formatting_.AfterLastMarker() >= kMaxFormatting) {
    Drop(t, id);
    return;
  }
  const std::size_t attrs_at = std::min<std::size_t>(1 + t.name.size() + t.begin, t.end_index);
  const int serial = formatting_.Add(tag, Hash(s_.substr(attrs_at, t.end_index - attrs_at)));
  stack_.Push(id, tag, false, serial);
}

void Guard::StartForeignTag(const Tag& t, GumboTag tag) {
  if (t.self_closing) return;
  const int id = stack_.IdOf(t.name, tag, true);
  if (stack_.size() >= max_depth_) {
    Drop(t, id);
    return;
  }
  stack_.Push(id, tag, true);
}

bool Guard::StartSpecialContent(const Tag& t, GumboTag tag) {
  switch (tag) {
    case GUMBO_TAG_HTML:
    case GUMBO_TAG_HEAD:
    case GUMBO_TAG_BODY:
      return true;  // merged into the elements that are always there
    case GUMBO_TAG_NOSCRIPT: {
      const std::size_t close = tokens_.RawTextEnd(t.end_index, "noscript");
      if (close > t.end_index) {
        edits_.Remove(t.end_index, close);
        ++noscripts_;
      }
      tokens_.SkipTo(close);
      return true;
    }
    case GUMBO_TAG_PLAINTEXT:
      tokens_.SkipTo(tokens_.size());  // the rest is text
      return true;
    default:
      break;
  }
  if (IsRawText(tag)) {
    tokens_.SkipTo(tokens_.RawTextEnd(t.end_index, t.name));
    return true;
  }
  return false;
}

bool Guard::IgnoredInSelect(GumboTag tag) {
  const int select = GUMBO_TAG_SELECT;
  if (!stack_.Open(select) || !stack_.InScope(select, kTableScope)) return false;
  // "in select": only a few start tags do anything.
  if (tag == GUMBO_TAG_SELECT) {
    stack_.PopUntil(select);
    return true;
  }
  if (In(tag, {GUMBO_TAG_INPUT, GUMBO_TAG_KEYGEN, GUMBO_TAG_TEXTAREA})) {
    stack_.PopUntil(select);
    return false;
  }
  if (tag == GUMBO_TAG_HR) {
    if (stack_.TopIs(GUMBO_TAG_OPTION)) stack_.Pop();
    if (stack_.TopIs(GUMBO_TAG_OPTGROUP)) stack_.Pop();
    return true;
  }
  return tag != GUMBO_TAG_OPTION && tag != GUMBO_TAG_OPTGROUP && tag != GUMBO_TAG_TEMPLATE;
}

void Guard::StartTag(const Tag& t) {
  GumboTag tag = TagOf(t.name);
  bool foreign = false;
  if (stack_.ForeignContext()) {
    if (BreaksOutOfForeign(tag)) {
      while (stack_.ForeignContext()) stack_.Pop();
    } else {
      foreign = true;
    }
  }
  if (foreign || tag == GUMBO_TAG_SVG || tag == GUMBO_TAG_MATH) {
    StartForeignTag(t, tag);
    return;
  }
  if (tag == GUMBO_TAG_IMAGE) tag = GUMBO_TAG_IMG;
  if (StartSpecialContent(t, tag) || IgnoredInSelect(tag)) return;
  if (!SkipsReconstruct(tag) && !IsFormatting(tag)) Reconstruct(t.begin);
  if (IsVoid(tag)) return;
  const int id = stack_.IdOf(t.name, tag, false);
  if (stack_.size() >= max_depth_) {
    Drop(t, id);  // too deep: the tag goes, and so will the end tag that would close it
    return;
  }
  if (IsFormatting(tag)) {
    StartFormatting(t, tag, id);
    return;
  }
  stack_.CloseImpliedBy(tag);
  const bool in_table = stack_.InScope(GUMBO_TAG_TABLE, kTableScope);
  if (!in_table && IsTablePart(tag) && !stack_.Open(GUMBO_TAG_TEMPLATE)) {
    return;  // table parts outside a table are ignored by the tree builder
  }
  stack_.OpenTableContext(tag, in_table);
  stack_.Push(id, tag, false);  // a self-closing flag on an HTML element is ignored
}

bool Guard::DropMatchingEndTag(const Tag& t, GumboTag tag) {
  // Foreign and HTML ids differ; try the one that the context suggests first.
  const bool foreign_ctx = stack_.ForeignContext();
  for (bool foreign : {foreign_ctx, !foreign_ctx}) {
    const int id = stack_.IdOf(t.name, tag, foreign);
    auto it = suppressed_.find(id);
    if (it != suppressed_.end() && it->second > 0) {
      --it->second;
      Drop(t, id);
      return true;
    }
  }
  return false;
}

bool Guard::EndFormatting(GumboTag tag, int id) {
  const int k = formatting_.LastIndexOf(tag);
  if (k < 0) return false;  // handled as any other end tag
  if (formatting_[k].on_stack) {
    if (!stack_.InScope(id, kDefaultScope)) return true;  // ignored
    stack_.PopUntil(id);
  }
  // Pop() may have changed the list only by clearing markers above k, which
  // cannot be: k is after the last marker.
  formatting_.Erase(static_cast<std::size_t>(formatting_.LastIndexOf(tag)));
  return true;
}

void Guard::EndTag(const Tag& t) {
  const GumboTag tag = TagOf(t.name);
  if (DropMatchingEndTag(t, tag)) return;
  if (stack_.ForeignContext() && stack_.CloseForeign(stack_.IdOf(t.name, tag, true))) return;
  const int id = stack_.IdOf(t.name, tag, false);
  switch (tag) {
    case GUMBO_TAG_HTML:
    case GUMBO_TAG_HEAD:
    case GUMBO_TAG_BODY:
    case GUMBO_TAG_BR:
      return;
    case GUMBO_TAG_P:
      if (stack_.InScope(id, kButtonScope)) stack_.PopUntil(id);
      return;
    case GUMBO_TAG_LI:
      if (stack_.InScope(id, kListItemScope)) stack_.PopUntil(id);
      return;
    case GUMBO_TAG_H1:
    case GUMBO_TAG_H2:
    case GUMBO_TAG_H3:
    case GUMBO_TAG_H4:
    case GUMBO_TAG_H5:
    case GUMBO_TAG_H6:
      stack_.CloseHeading();
      return;
    case GUMBO_TAG_TABLE:
    case GUMBO_TAG_TBODY:
    case GUMBO_TAG_THEAD:
    case GUMBO_TAG_TFOOT:
    case GUMBO_TAG_TR:
    case GUMBO_TAG_TD:
    case GUMBO_TAG_TH:
    case GUMBO_TAG_CAPTION:
    case GUMBO_TAG_COLGROUP:
      if (stack_.InScope(id, kTableScope)) stack_.PopUntil(id);
      return;
    case GUMBO_TAG_SELECT:
    case GUMBO_TAG_TEMPLATE:
      if (stack_.Open(id)) stack_.PopUntil(id);
      return;
    default:
      if (IsFormatting(tag) && EndFormatting(tag, id)) return;
      if (stack_.InScope(id, kDefaultScope)) stack_.PopUntil(id);
      return;
  }
}

bool Guard::Run(std::string* out, GuardStats* stats) {
  // html and body are always open.
  stack_.Push(GUMBO_TAG_HTML, GUMBO_TAG_HTML, false);
  stack_.Push(GUMBO_TAG_BODY, GUMBO_TAG_BODY, false);
  Tag tag;
  while (true) {
    const bool foreign = stack_.ForeignContext();
    std::size_t text_at = 0;
    const Tokenizer::Step step = tokens_.Next(foreign, &tag, &text_at);
    if (text_at != std::string_view::npos && !foreign) Reconstruct(text_at);  // text
    if (step == Tokenizer::Step::kDone) break;
    if (step != Tokenizer::Step::kTag) continue;
    if (tag.end) {
      EndTag(tag);
    } else {
      StartTag(tag);
    }
  }
  if (stats) {
    stats->dropped_tags = dropped_;
    stats->noscript_contents = noscripts_;
    stats->max_depth_seen = stack_.max_depth_seen();
    stats->formatting_resets = injected_;
    stats->elements = stack_.elements();
  }
  if (!edits_.edited()) return false;
  *out = edits_.Finish();
  return true;
}

}  // namespace

bool GuardMarkup(std::string_view html, std::string* out, std::size_t max_depth,
                 GuardStats* stats) {
  Guard guard(html, max_depth);
  return guard.Run(out, stats);
}

}  // namespace docseek::html
