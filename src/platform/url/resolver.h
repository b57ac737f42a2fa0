// SPDX-License-Identifier: MIT
#pragma once

// Resolving href/src values as browsers do: the URL parser of url_parser.h
// against the document's base URL, queries written in the page's encoding
// (query_encoding.h), the result serialized.

#include <optional>
#include <string>
#include <string_view>

#include "platform/url/url_parser.h"

namespace docseek::url {

class UrlResolver {
 public:
  // `page_encoding` is the document's encoding name (Decoded::encoding).
  explicit UrlResolver(std::string_view page_encoding);

  // Resolves `input` against the current base and makes the result the base.
  // Returns false (and keeps the old base) when it does not parse.
  bool SetBase(std::string_view input);

  // The absolute URL `input` names relative to the base, serialized; nullopt
  // when it does not parse (or is relative and there is no base).
  std::optional<std::string> Resolve(std::string_view input) const;

  // Scheme of an absolute serialized URL ("http"), lower case.
  static std::string_view SchemeOf(std::string_view url);

 private:
  QueryEncoder encoder_;
  std::optional<Url> base_;
};

}  // namespace docseek::url
