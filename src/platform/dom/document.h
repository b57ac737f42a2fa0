// SPDX-License-Identifier: MIT
#pragma once

// Our stand-in for the browser's document model: a parsed HTML page with the
// three reads the hit loop needs (getElementById, innerText, href).

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "platform/limits.h"

// gumbo's node type, kept out of this header.
struct GumboInternalNode;

namespace docseek::dom {

class DocumentImpl;
class ArenaPool;

// An element of a Document. Only valid while its Document lives.
class Element {
 public:
  explicit Element(const GumboInternalNode* node) : node_(node) {}
  const GumboInternalNode* node() const { return node_; }

 private:
  const GumboInternalNode* node_;
};

class Document {
 public:
  // Load reads at most this much of a body (the browser's cap); the rest is
  // cut off as if the transfer had ended there.
  static constexpr std::size_t kMaxBodyBytes = kMaxPageBytes;
  // FromUtf8 reads at most this much text (16 MiB of GB18030 decodes to less).
  static constexpr std::size_t kMaxUtf8Bytes = 48u << 20;

  // Decodes `body` to UTF-8 (BOM, then the charset of `content_type`, then a
  // <meta> in the first 1024 bytes; undeclared: UTF-8 if valid, else GB18030)
  // and parses it. `url` is the document's address after redirects, the base for
  // relative links unless the page has <base href>.
  // `pool`, when given, lends the parser memory kept from the caller's
  // previous document once that one is gone (see arena.h).
  static std::shared_ptr<const Document> Load(std::string_view body, std::string_view content_type,
                                              std::string url, ArenaPool* pool = nullptr);

  // Parses text that is already UTF-8. `encoding` is the page's original
  // encoding (it decides how the query of a relative link is escaped).
  static std::shared_ptr<const Document> FromUtf8(std::string html, std::string url,
                                                  std::string encoding = "UTF-8");

  ~Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  // All innerText reads of one document together may walk this many times
  // its nodes and text, plus the floor; past that a read fails.
  static constexpr std::size_t kReadBudgetFactor = 8;
  static constexpr std::size_t kReadBudgetFloor = 1u << 20;

  const std::string& url() const;
  // Bytes of the markup as parsed (UTF-8).
  std::size_t size() const;
  // Canonical name of the page's encoding: "UTF-8", "GB18030", "windows-1252", ...
  const std::string& encoding() const;

  // First element in tree order with this id (template contents excluded), or
  // nullptr. Looked up in an index built once per document.
  const Element* getElementById(std::string_view id) const;

  // The element's rendered text as the innerText getter gives it with only the
  // default style sheet. Throws Error for an element that is not in the HTML
  // namespace (it has no such member), and once the document's reads have
  // spent their budget (kReadBudgetFactor).
  std::string innerText(const Element& element) const;

  // For a and area: the href attribute resolved against the document's base URL
  // ("" without the attribute). Throws Error for any other element.
  std::string href(const Element& element) const;

  // Absolute http/https addresses of the <frame> and <iframe> elements, in tree
  // order (src resolved against the base URL; other schemes left out).
  std::vector<std::string> frameSources() const;

 private:
  explicit Document(std::unique_ptr<DocumentImpl> impl);
  std::unique_ptr<DocumentImpl> impl_;
};

}  // namespace docseek::dom
