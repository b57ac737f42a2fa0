// SPDX-License-Identifier: MIT
#include "url.h"

#include <cctype>

namespace docseek::engine {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool Iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string PercentDecode(std::string_view text, bool plus_is_space) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else if (c == '+' && plus_is_space) {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

Params ParseQuery(std::string_view query) {
  Params params;
  while (!query.empty()) {
    const auto amp = query.find('&');
    const std::string_view part = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view{} : query.substr(amp + 1);
    if (part.empty()) continue;
    const auto eq = part.find('=');
    if (eq == std::string_view::npos) {
      params.emplace_back(PercentDecode(part, true), std::string{});
    } else {
      params.emplace_back(PercentDecode(part.substr(0, eq), true),
                          PercentDecode(part.substr(eq + 1), true));
    }
  }
  return params;
}

std::optional<std::string_view> FindParam(const Params& params, std::string_view name) {
  for (const auto& [key, value] : params) {
    if (key == name) return std::string_view(value);
  }
  return std::nullopt;
}

std::optional<Target> SplitTarget(std::string_view target) {
  if (const auto hash = target.find('#'); hash != std::string_view::npos) {
    target = target.substr(0, hash);
  }
  if (target.empty()) return std::nullopt;
  if (target.front() != '/') {
    const auto sep = target.find("://");
    if (sep == std::string_view::npos) return std::nullopt;
    const std::string_view scheme = target.substr(0, sep);
    if (!Iequals(scheme, "http") && !Iequals(scheme, "https")) return std::nullopt;
    const std::string_view rest = target.substr(sep + 3);
    const auto path_at = rest.find_first_of("/?");
    if (rest.empty() || path_at == 0) return std::nullopt;  // no host
    target = path_at == std::string_view::npos ? std::string_view{} : rest.substr(path_at);
  }
  const auto q = target.find('?');
  const std::string_view path = target.substr(0, q);
  const std::string_view query = q == std::string_view::npos ? "" : target.substr(q + 1);
  return Target{std::string(path.empty() ? "/" : path), std::string(query)};
}

}  // namespace docseek::engine
