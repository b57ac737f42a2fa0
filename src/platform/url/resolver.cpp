// SPDX-License-Identifier: MIT
#include "platform/url/resolver.h"

#include "platform/url/query_encoding.h"

namespace docseek::url {

UrlResolver::UrlResolver(std::string_view page_encoding)
    : encoder_(QueryEncoderFor(page_encoding)) {}

std::string_view UrlResolver::SchemeOf(std::string_view url) {
  const size_t colon = url.find(':');
  return colon == std::string_view::npos ? std::string_view() : url.substr(0, colon);
}

bool UrlResolver::SetBase(std::string_view input) {
  auto parsed = ParseUrl(input, base_ ? &*base_ : nullptr, encoder_);
  if (!parsed) return false;
  base_ = std::move(*parsed);
  return true;
}

std::optional<std::string> UrlResolver::Resolve(std::string_view input) const {
  auto parsed = ParseUrl(input, base_ ? &*base_ : nullptr, encoder_);
  if (!parsed) return std::nullopt;
  return parsed->Serialize();
}

}  // namespace docseek::url
