// SPDX-License-Identifier: MIT
#include "platform/dom/document.h"

#include <gumbo.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <new>
#include <unordered_map>
#include <utility>

#include "platform/dom/arena.h"
#include "platform/dom/inner_text.h"
#include "platform/dom/node.h"
#include "platform/encoding/sniff.h"
#include "platform/html/input_stream.h"
#include "platform/html/markup_guard.h"
#include "platform/url/resolver.h"

namespace docseek::dom {
namespace {}  // namespace

class DocumentImpl {
 public:
  DocumentImpl(std::string html, std::string url, std::string encoding, ArenaPool* pool)
      : html_(std::move(html)),
        url_(std::move(url)),
        encoding_(std::move(encoding)),
        arena_(pool != nullptr ? pool->Take() : std::make_shared<Arena>()),
        urls_(encoding_) {
    std::string edited;
    if (html::EscapeInputStream(html_, &edited)) {
      html_ = std::move(edited);
      escaped_ = true;
    }
    if (html::GuardMarkup(html_, &edited)) html_ = std::move(edited);
    // Every block of gumbo's tree comes from the arena and goes with it, which
    // also spares gumbo_destroy_output's recursive walk (it overflows the
    // stack on deep trees).
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &Arena::GumboAllocate;
    options.deallocator = &Arena::GumboDeallocate;
    options.userdata = arena_.get();
    options.max_errors = 0;  // nobody reads them
    // gumbo reads html_ in place and its tree points into it: html_ is never
    // touched again.
    output_ = gumbo_parse_with_options(&options, html_.data(), html_.size());
    if (!output_) throw Error("HTML parser failed");
    urls_.SetBase(url_);
    Index();
  }

  const std::string& url() const { return url_; }
  const std::string& encoding() const { return encoding_; }

  const Element* ById(std::string_view id) const {
    const auto it = ids_.find(id);
    return it == ids_.end() ? nullptr : &it->second;
  }

  // Resolved once per element: the hit loop asks for a link more than once,
  // and resolving costs a full URL parse.
  const std::string& Href(const GumboNode* n) const {
    auto [it, fresh] = hrefs_.try_emplace(n);
    if (!fresh) return it->second;
    const char* value = node::Attr(n, "href");
    if (!value) return it->second;
    std::string href = Read(value);
    if (auto resolved = urls_.Resolve(href)) {
      it->second = std::move(*resolved);
    } else {
      it->second = std::move(href);  // unparsable: as written
    }
    return it->second;
  }

  // Text of the parsed tree as the page had it (see html/input_stream.h).
  std::string Read(std::string text) const {
    if (escaped_) html::UnescapeInputStream(text);
    return text;
  }

  const std::vector<std::string>& frames() const { return frames_; }
  const GumboNode* root() const { return output_->document; }
  std::size_t size() const { return html_.size(); }

  // Charges a read of `n`'s text against the page's read budget, or throws
  // when the budget is spent: nested elements make every read walk the
  // rest of the page again, which a hostile page can repeat hundreds of
  // times (500 nested reads of a 16 MiB page: seconds of CPU, gigabytes of
  // text).
  void ChargeRead(const GumboNode* n) const {
    const auto it = read_costs_.find(n);
    const std::size_t cost = it == read_costs_.end() ? 0 : it->second;
    if (cost > read_budget_) {
      throw Error("reading this page costs more than it may (" +
                  std::to_string(read_spent_ + cost) + " units after " +
                  std::to_string(read_spent_) + ")");
    }
    read_budget_ -= cost;
    read_spent_ += cost;
  }

 private:
  // One walk in tree order (template contents excluded) for the id index, the
  // first <base href> and the frames.
  void Index() {
    struct Entry {
      const GumboNode* node;
      unsigned next;      // child to visit next
      std::size_t spent;  // `walked` when the node was entered
    };
    std::vector<Entry> stack;
    std::vector<const GumboNode*> frame_nodes;
    bool base_seen = false;
    // What reading a subtree costs: one per node plus its text's bytes.
    std::size_t walked = 0;
    stack.push_back({output_->document, 0, 0});
    while (!stack.empty()) {
      Entry& top = stack.back();
      const GumboVector& kids = node::Children(top.node);
      if (top.next >= kids.length) {
        if (auto it = read_costs_.find(top.node); it != read_costs_.end()) {
          it->second = walked - top.spent;
        }
        stack.pop_back();
        continue;
      }
      const auto* n = static_cast<const GumboNode*>(kids.data[top.next++]);
      ++walked;
      if (!node::IsElement(n)) {
        if (n->type == GUMBO_NODE_TEXT || n->type == GUMBO_NODE_WHITESPACE ||
            n->type == GUMBO_NODE_CDATA) {
          walked += std::strlen(n->v.text.text);
        }
        continue;
      }
      if (const char* id = node::Attr(n, "id"); id && *id) {
        std::string_view key = id;
        if (escaped_ && key.find(html::kInputStreamEscape) != std::string_view::npos)
          key = unescaped_ids_.emplace_back(Read(id));
        if (ids_.try_emplace(key, n).second) read_costs_.emplace(n, 0);
      }
      if (node::IsHtml(n)) {
        const GumboTag tag = n->v.element.tag;
        if (tag == GUMBO_TAG_BASE && !base_seen) {
          if (const char* href = node::Attr(n, "href")) {
            base_seen = true;
            // The frozen base URL: resolved against the document's URL; a
            // value that does not parse leaves the document's URL as base.
            if (auto resolved = urls_.Resolve(Read(href))) urls_.SetBase(*resolved);
          }
        } else if (tag == GUMBO_TAG_IFRAME || tag == GUMBO_TAG_FRAME) {
          frame_nodes.push_back(n);
        }
      }
      // A template's children are its content, not part of the document.
      if (n->type == GUMBO_NODE_ELEMENT) {
        stack.push_back({n, 0, walked});
      } else if (auto it = read_costs_.find(n); it != read_costs_.end()) {
        it->second = 1;
      }
    }
    read_budget_ = Document::kReadBudgetFactor * walked + Document::kReadBudgetFloor;
    // Frames resolve against the final base URL, which a later <base> may set.
    for (const GumboNode* n : frame_nodes) {
      const char* src = node::Attr(n, "src");
      if (!src || !*src) continue;  // about:blank
      if (n->v.element.tag == GUMBO_TAG_IFRAME && node::Attr(n, "srcdoc")) continue;
      auto resolved = urls_.Resolve(Read(src));
      if (!resolved) continue;
      const std::string_view scheme = url::UrlResolver::SchemeOf(*resolved);
      if (scheme == "http" || scheme == "https") frames_.push_back(std::move(*resolved));
    }
  }

  std::string html_;
  std::string url_;
  std::string encoding_;
  bool escaped_ = false;     // html_ went through html::EscapeInputStream
  std::shared_ptr<Arena> arena_;  // gumbo's tree; freed after everything that points into it
  GumboOutput* output_ = nullptr;
  url::UrlResolver urls_;
  std::deque<std::string> unescaped_ids_;  // keys of ids_ that Read changed
  std::unordered_map<std::string_view, Element> ids_;
  std::unordered_map<const GumboNode*, std::size_t> read_costs_;  // of the elements with ids
  mutable std::size_t read_budget_ = 0;
  mutable std::size_t read_spent_ = 0;
  mutable std::unordered_map<const GumboNode*, std::string> hrefs_;
  std::vector<std::string> frames_;
};

namespace {

const GumboNode* NodeOf(const Element& element) {
  const GumboNode* n = element.node();
  if (!n || !node::IsElement(n)) throw Error("not an element");
  return n;
}

std::string TagNameForError(const GumboNode* n) {
  if (n->v.element.tag == GUMBO_TAG_UNKNOWN) return std::string(node::UnknownTagName(n));
  return gumbo_normalized_tagname(n->v.element.tag);
}

}  // namespace

Document::Document(std::unique_ptr<DocumentImpl> impl) : impl_(std::move(impl)) {}
Document::~Document() = default;

std::shared_ptr<const Document> Document::Load(std::string_view body, std::string_view content_type,
                                               std::string url, ArenaPool* pool) {
  if (body.size() > kMaxBodyBytes) body = body.substr(0, kMaxBodyBytes);
  encoding::Decoded decoded = encoding::DecodeToUtf8(body, content_type);
  return std::shared_ptr<const Document>(new Document(std::make_unique<DocumentImpl>(
      std::move(decoded.text), std::move(url), std::move(decoded.encoding), pool)));
}

std::shared_ptr<const Document> Document::FromUtf8(std::string html, std::string url,
                                                   std::string encoding) {
  if (html.size() > kMaxUtf8Bytes) {
    size_t cut = kMaxUtf8Bytes;
    while (cut > 0 && (static_cast<unsigned char>(html[cut]) & 0xC0) == 0x80) --cut;
    html.resize(cut);
  }
  return std::shared_ptr<const Document>(new Document(std::make_unique<DocumentImpl>(
      std::move(html), std::move(url), std::move(encoding), nullptr)));
}

const std::string& Document::url() const { return impl_->url(); }
const std::string& Document::encoding() const { return impl_->encoding(); }
std::size_t Document::size() const { return impl_->size(); }

const Element* Document::getElementById(std::string_view id) const { return impl_->ById(id); }

std::string Document::innerText(const Element& element) const {
  const GumboNode* n = NodeOf(element);
  if (!node::IsHtml(n)) {
    throw Error("innerText: <" + TagNameForError(n) +
                "> is not an HTML element (it has no innerText)");
  }
  impl_->ChargeRead(n);
  return impl_->Read(InnerText(n));
}

std::string Document::href(const Element& element) const {
  const GumboNode* n = NodeOf(element);
  if (!node::IsHtmlTag(n, GUMBO_TAG_A) && !node::IsHtmlTag(n, GUMBO_TAG_AREA)) {
    throw Error("href: <" + TagNameForError(n) + "> is not an HTML a or area element");
  }
  return impl_->Href(n);
}

std::vector<std::string> Document::frameSources() const { return impl_->frames(); }

}  // namespace docseek::dom
