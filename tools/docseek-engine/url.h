// SPDX-License-Identifier: MIT
// Request targets and query strings as the engine reads them.
#ifndef DOCSEEK_ENGINE_URL_H
#define DOCSEEK_ENGINE_URL_H

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace docseek::engine {

// Decoded name/value pairs of a query string, in the order they were sent. Names may repeat.
using Params = std::vector<std::pair<std::string, std::string>>;

// %XX becomes the byte XX; a '%' not followed by two hex digits stays as it is, as browsers
// leave it. With plus_is_space, '+' becomes a space (form encoding: query strings only).
std::string PercentDecode(std::string_view text, bool plus_is_space);

// Splits at '&', then each part at its first '='; a part without '=' is a name with an empty
// value and empty parts are skipped.
Params ParseQuery(std::string_view query);

// The value of the first parameter called `name`.
std::optional<std::string_view> FindParam(const Params& params, std::string_view name);

// ASCII letter case does not matter (scheme names, header field names).
bool Iequals(std::string_view a, std::string_view b);

// A request target split into its undecoded path and query.
struct Target {
  std::string path;
  std::string query;
};

// Accepts the origin form "/path?query" and the absolute form "http://host/path?query" that
// clients send to a proxy (http or https, any letter case, "/" when the path is empty). A
// fragment, which clients should not send, is dropped. Anything else gives nullopt.
std::optional<Target> SplitTarget(std::string_view target);

}  // namespace docseek::engine

#endif  // DOCSEEK_ENGINE_URL_H
