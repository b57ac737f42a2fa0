// SPDX-License-Identifier: MIT
#include "platform/dom/document.h"

#include <gumbo.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_map>
#include <utility>

#include "platform/dom/arena.h"
#include "platform/dom/inner_text.h"
#include "platform/dom/node.h"
#include "platform/encoding/sniff.h"
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
    std::string guarded;
    if (html::GuardMarkup(html_, &guarded)) html_ = std::move(guarded);
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
    if (auto resolved = urls_.Resolve(value)) {
      it->second = std::move(*resolved);
    } else {
      it->second = value;  // unparsable: as written
    }
    return it->second;
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
      if (const char* id = node::Attr(n, "id"); id && *id) ids_.try_emplace(id, n);
      if (node::IsHtml(n)) {
        const GumboTag tag = n->v.element.tag;
        if (tag == GUMBO_TAG_BASE && !base_seen) {
          if (const char* href = node::Attr(n, "href")) {
            base_seen = true;
            // The frozen base URL: resolved against the document's URL; a
            // value that does not parse leaves the document's URL as base.
            if (auto resolved = urls_.Resolve(href)) urls_.SetBase(*resolved);
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
      auto resolved = urls_.Resolve(src);
      if (!resolved) continue;
      const std::string_view scheme = url::UrlResolver::SchemeOf(*resolved);
      if (scheme == "http" || scheme == "https") frames_.push_back(std::move(*resolved));
    }
  }

  std::string html_;
  std::string url_;
  std::string encoding_;
  std::shared_ptr<Arena> arena_;  // gumbo's tree; freed after everything that points into it
  GumboOutput* output_ = nullptr;
  url::UrlResolver urls_;
  std::unordered_map<std::string_view, Element> ids_;
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

const Element* Document::getElementById(std::string_view id) const { return impl_->ById(id); }

std::string Document::innerText(const Element& element) const {
  const GumboNode* n = NodeOf(element);
  if (!node::IsHtml(n)) {
    throw Error("innerText: <" + TagNameForError(n) +
                "> is not an HTML element (it has no innerText)");
  }
  return InnerText(n);
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
