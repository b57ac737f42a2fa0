// SPDX-License-Identifier: MIT
#include "search/diagnosis.h"

#include <string_view>

namespace docseek::search {

namespace {

// The path of an absolute address: what follows the host, up to the query.
std::string_view PathOf(std::string_view url) {
  const std::size_t scheme = url.find("://");
  if (scheme == std::string_view::npos) return {};
  const std::size_t slash = url.find('/', scheme + 3);
  if (slash == std::string_view::npos) return "/";
  std::string_view path = url.substr(slash);
  return path.substr(0, path.find_first_of("?#"));
}

std::string TransferProblem(platform::HttpErrorKind kind) {
  using Kind = platform::HttpErrorKind;
  switch (kind) {
    case Kind::kRefused:
      return "cannot connect to the engine or the proxy (connection refused)";
    case Kind::kDns:
      return "cannot find the engine's or the proxy's address (DNS)";
    case Kind::kTimeout:
      return "the engine did not answer in time (timeout)";
    case Kind::kTls:
      return "the secure connection failed (TLS)";
    case Kind::kTooLarge:
      return "the result page is too large";
    case Kind::kNotAPage:
      return "the engine did not answer with a web page";
    case Kind::kRefusedRedirect:
      return "the engine's redirect was refused";
    case Kind::kNone:
    case Kind::kOther:
      break;
  }
  return "the result page could not be loaded";
}

}  // namespace

std::optional<std::string> Diagnose(const std::string& type, const platform::PageOutcome& page,
                                    int hits, std::int32_t count, const std::string& read_error) {
  const std::string prefix = "docseek: " + type + ": ";
  // A verification page or a refusal by rate says "try later", not "none".
  if (PathOf(page.url).starts_with("/antispider")) {
    return prefix + "the engine is limiting requests: it answered with a verification page (" +
           page.url + ")";
  }
  if (page.status == 429 || page.status == 403) {
    return prefix + "the engine is limiting requests (HTTP " + std::to_string(page.status) + ")";
  }
  if (page.error_kind != platform::HttpErrorKind::kNone || !page.error.empty()) {
    std::string line = prefix + TransferProblem(page.error_kind);
    if (!page.error.empty()) line += ": " + page.error;
    return line;
  }
  if (page.status >= 400) {
    return prefix + "the engine answered HTTP " + std::to_string(page.status);
  }
  if (!read_error.empty()) {
    return prefix + "the result page could not be read after " + std::to_string(hits) +
           (hits == 1 ? " hit: " : " hits: ") + read_error;
  }
  if (hits == 0 && count > 0) return prefix + "no results (the result page lists no hits)";
  return std::nullopt;
}

}  // namespace docseek::search
