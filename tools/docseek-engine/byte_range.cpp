// SPDX-License-Identifier: MIT
#include "byte_range.h"

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>

namespace docseek::engine {
namespace {

std::optional<std::uint64_t> parse_u64(std::string_view text) {
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

Response ApplyByteRange(const Request& request, Response response) {
  if (response.status != 200) return response;
  response.headers.emplace_back("Accept-Ranges", "bytes");
  const auto field = request.Header("Range");
  if (!field || !field->starts_with("bytes=")) return response;
  const std::string_view wanted = field->substr(6);
  const auto dash = wanted.find('-');
  if (dash == std::string_view::npos || wanted.find(',') != std::string_view::npos) return response;
  const std::uint64_t length = response.body.size();
  const auto first = parse_u64(wanted.substr(0, dash));
  const auto last = parse_u64(wanted.substr(dash + 1));
  std::uint64_t start = 0;
  std::uint64_t end = 0;  // inclusive
  if (first) {
    if (last && *last < *first) return response;
    if (*first >= length) {
      Response refused = ErrorResponse(416);
      refused.headers.emplace_back("Content-Range", "bytes */" + std::to_string(length));
      return refused;
    }
    start = *first;
    end = last && *last < length ? *last : length - 1;
  } else if (last && wanted.substr(0, dash).empty()) {
    if (*last == 0 || length == 0) return response;
    start = *last >= length ? 0 : length - *last;
    end = length - 1;
  } else {
    return response;
  }
  response.status = 206;
  response.body = response.body.substr(start, end - start + 1);
  response.headers.emplace_back(
      "Content-Range",
      "bytes " + std::to_string(start) + "-" + std::to_string(end) + "/" + std::to_string(length));
  return response;
}

}  // namespace docseek::engine
