// SPDX-License-Identifier: MIT
// A small JSON reader for tests that check what a program wrote (the engine's request log).
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace docseek::test {

class JsonValue {
 public:
  using Array = std::vector<JsonValue>;
  // Members in the order written; a repeated name stays repeated.
  using Object = std::vector<std::pair<std::string, JsonValue>>;

  JsonValue() = default;
  template <typename T>
  requires(!std::is_same_v<T, JsonValue>) explicit JsonValue(T value) : value_(std::move(value)) {}

  bool is_null() const { return std::holds_alternative<std::nullptr_t>(value_); }
  // The accessors throw std::logic_error when the value has another type.
  bool as_bool() const;
  double as_number() const;
  const std::string& as_string() const;
  const Array& as_array() const;
  const Object& as_object() const;
  // The first member called `key`; throws std::out_of_range when there is none.
  const JsonValue& operator[](std::string_view key) const;

 private:
  std::variant<std::nullptr_t, bool, double, std::string, Array, Object> value_ = nullptr;
};

// Parses one JSON text (RFC 8259; \u escapes, surrogate pairs included, become UTF-8). Throws
// std::runtime_error, naming the offset, on anything else.
JsonValue parse_json(std::string_view text);

// One value per non-empty line of a file; an empty list when the file does not exist.
std::vector<JsonValue> read_json_lines(const std::filesystem::path& file);

}  // namespace docseek::test
