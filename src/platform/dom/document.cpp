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

#include "platform/dom/inner_text.h"
#include "platform/dom/node.h"
#include "platform/encoding/sniff.h"
#include "platform/html/input_stream.h"
#include "platform/html/markup_guard.h"
#include "platform/url/resolver.h"

namespace docseek::dom {
namespace {

// Every block gumbo allocates for one document is linked into a list, and the
// list is freed when the document goes. That replaces gumbo_destroy_output,
// whose recursive walk of the tree overflows the stack on deep trees. (A bump
// arena that never reuses the blocks gumbo frees while it parses was measured:
// ~20% slower than malloc on the benchmark page, from touching fresh memory;
// this list costs ~1%.)
class Allocations {
 public:
  Allocations() = default;
  Allocations(const Allocations&) = delete;
  Allocations& operator=(const Allocations&) = delete;
  ~Allocations() {
    for (Header* h = head_.next; h != &head_;) {
      Header* next = h->next;
      std::free(h);
      h = next;
    }
  }

  static void* GumboAllocate(void* self, size_t size) {
    auto* list = static_cast<Allocations*>(self);
    auto* h = static_cast<Header*>(std::malloc(sizeof(Header) + size));
    if (!h) throw std::bad_alloc();  // gumbo does not check; the parse cannot go on
    h->prev = &list->head_;
    h->next = list->head_.next;
    list->head_.next->prev = h;
    list->head_.next = h;
    return h + 1;
  }
  static void GumboDeallocate(void*, void* p) {
    if (!p) return;
    Header* h = static_cast<Header*>(p) - 1;
    h->prev->next = h->next;
    h->next->prev = h->prev;
    std::free(h);
  }

 private:
  struct alignas(std::max_align_t) Header {
    Header* prev;
    Header* next;
  };
  Header head_{&head_, &head_};
};

}  // namespace

class DocumentImpl {
 public:
  DocumentImpl(std::string html, std::string url, std::string encoding)
      : html_(std::move(html)),
        url_(std::move(url)),
        encoding_(std::move(encoding)),
        urls_(encoding_) {
    std::string edited;
    if (html::EscapeInputStream(html_, &edited)) {
      html_ = std::move(edited);
      escaped_ = true;
    }
    if (html::GuardMarkup(html_, &edited)) html_ = std::move(edited);
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &Allocations::GumboAllocate;
    options.deallocator = &Allocations::GumboDeallocate;
    options.userdata = &allocations_;
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

  std::string Href(const GumboNode* n) const {
    const char* value = node::Attr(n, "href");
    if (!value) return std::string();
    std::string href = Read(value);
    if (auto resolved = urls_.Resolve(href)) return std::move(*resolved);
    return href;  // unparsable: as written
  }

  // Text of the parsed tree as the page had it (see html/input_stream.h).
  std::string Read(std::string text) const {
    if (escaped_) html::UnescapeInputStream(text);
    return text;
  }

  const std::vector<std::string>& frames() const { return frames_; }
  const GumboNode* root() const { return output_->document; }

 private:
  // One walk in tree order (template contents excluded) for the id index, the
  // first <base href> and the frames.
  void Index() {
    std::vector<std::pair<const GumboNode*, unsigned>> stack;
    std::vector<const GumboNode*> frame_nodes;
    bool base_seen = false;
    stack.emplace_back(output_->document, 0);
    while (!stack.empty()) {
      auto& top = stack.back();
      const GumboVector& kids = node::Children(top.first);
      if (top.second >= kids.length) {
        stack.pop_back();
        continue;
      }
      const auto* n = static_cast<const GumboNode*>(kids.data[top.second++]);
      if (!node::IsElement(n)) continue;
      if (const char* id = node::Attr(n, "id"); id && *id) {
        std::string_view key = id;
        if (escaped_ && key.find(html::kInputStreamEscape) != std::string_view::npos)
          key = unescaped_ids_.emplace_back(Read(id));
        ids_.try_emplace(key, n);
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
      if (n->type == GUMBO_NODE_ELEMENT) stack.emplace_back(n, 0);
    }
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
  Allocations allocations_;  // gumbo's tree; freed after everything that points into it
  GumboOutput* output_ = nullptr;
  url::UrlResolver urls_;
  std::deque<std::string> unescaped_ids_;  // keys of ids_ that Read changed
  std::unordered_map<std::string_view, Element> ids_;
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
                                               std::string url) {
  if (body.size() > kMaxBodyBytes) body = body.substr(0, kMaxBodyBytes);
  encoding::Decoded decoded = encoding::DecodeToUtf8(body, content_type);
  return std::shared_ptr<const Document>(new Document(std::make_unique<DocumentImpl>(
      std::move(decoded.text), std::move(url), std::move(decoded.encoding))));
}

std::shared_ptr<const Document> Document::FromUtf8(std::string html, std::string url,
                                                   std::string encoding) {
  if (html.size() > kMaxUtf8Bytes) {
    size_t cut = kMaxUtf8Bytes;
    while (cut > 0 && (static_cast<unsigned char>(html[cut]) & 0xC0) == 0x80) --cut;
    html.resize(cut);
  }
  return std::shared_ptr<const Document>(new Document(
      std::make_unique<DocumentImpl>(std::move(html), std::move(url), std::move(encoding))));
}

const std::string& Document::url() const { return impl_->url(); }
const std::string& Document::encoding() const { return impl_->encoding(); }

const Element* Document::getElementById(std::string_view id) const { return impl_->ById(id); }

std::string Document::innerText(const Element& element) const {
  const GumboNode* n = NodeOf(element);
  if (!node::IsHtml(n)) {
    throw Error("innerText: <" + TagNameForError(n) +
                "> is not an HTML element (it has no innerText)");
  }
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
