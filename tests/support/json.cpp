// SPDX-License-Identifier: MIT
#include "support/json.h"

#include <charconv>
#include <fstream>
#include <stdexcept>

namespace docseek::test {
namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  JsonValue document() {
    JsonValue v = value();
    skip_space();
    if (pos_ != text_.size()) fail("trailing characters");
    return v;
  }

 private:
  [[noreturn]] void fail(const std::string& what) const {
    throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(pos_));
  }

  void skip_space() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\n' || text_[pos_] == '\r')) {
      ++pos_;
    }
  }

  bool consume(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  void expect(char c) {
    skip_space();
    if (pos_ >= text_.size() || text_[pos_] != c) fail(std::string("expected '") + c + "'");
    ++pos_;
  }

  JsonValue value() {
    if (++depth_ > 200) fail("nesting too deep");
    skip_space();
    if (pos_ >= text_.size()) fail("unexpected end");
    JsonValue v;
    const char c = text_[pos_];
    if (c == '{') {
      v = object();
    } else if (c == '[') {
      v = array();
    } else if (c == '"') {
      v = JsonValue(string());
    } else if (consume("true")) {
      v = JsonValue(true);
    } else if (consume("false")) {
      v = JsonValue(false);
    } else if (consume("null")) {
      v = JsonValue();
    } else {
      v = JsonValue(number());
    }
    --depth_;
    return v;
  }

  JsonValue object() {
    ++pos_;
    JsonValue::Object members;
    skip_space();
    if (consume("}")) return JsonValue(std::move(members));
    while (true) {
      skip_space();
      if (pos_ >= text_.size() || text_[pos_] != '"') fail("expected a member name");
      std::string name = string();
      expect(':');
      members.emplace_back(std::move(name), value());
      skip_space();
      if (consume("}")) return JsonValue(std::move(members));
      expect(',');
    }
  }

  JsonValue array() {
    ++pos_;
    JsonValue::Array items;
    skip_space();
    if (consume("]")) return JsonValue(std::move(items));
    while (true) {
      items.push_back(value());
      skip_space();
      if (consume("]")) return JsonValue(std::move(items));
      expect(',');
    }
  }

  double number() {
    const std::size_t start = pos_;
    if (pos_ < text_.size() && text_[pos_] == '-') ++pos_;
    while (pos_ < text_.size() &&
           std::string_view("0123456789.eE+-").find(text_[pos_]) != std::string_view::npos) {
      ++pos_;
    }
    double d = 0;
    const auto [end, ec] = std::from_chars(text_.data() + start, text_.data() + pos_, d);
    if (pos_ == start || ec != std::errc{} || end != text_.data() + pos_) fail("bad value");
    return d;
  }

  unsigned hex4() {
    if (pos_ + 4 > text_.size()) fail("short \\u escape");
    unsigned u = 0;
    const auto [end, ec] = std::from_chars(text_.data() + pos_, text_.data() + pos_ + 4, u, 16);
    if (ec != std::errc{} || end != text_.data() + pos_ + 4) fail("bad \\u escape");
    pos_ += 4;
    return u;
  }

  static void append_utf8(std::string& out, unsigned cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }

  std::string string() {
    ++pos_;  // opening quote
    std::string out;
    while (true) {
      if (pos_ >= text_.size()) fail("unterminated string");
      const char c = text_[pos_++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) fail("raw control character in string");
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= text_.size()) fail("unterminated escape");
      const char e = text_[pos_++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          out += e;
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          unsigned cp = hex4();
          if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (!consume("\\u")) fail("lone high surrogate");
            const unsigned low = hex4();
            if (low < 0xDC00 || low > 0xDFFF) fail("bad low surrogate");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            fail("lone low surrogate");
          }
          append_utf8(out, cp);
          break;
        }
        default:
          fail("bad escape");
      }
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  int depth_ = 0;
};

template <typename T>
const T& get(const auto& variant, const char* type) {
  if (const T* p = std::get_if<T>(&variant)) return *p;
  throw std::logic_error(std::string("JSON value is not ") + type);
}

}  // namespace

bool JsonValue::as_bool() const { return get<bool>(value_, "a boolean"); }
double JsonValue::as_number() const { return get<double>(value_, "a number"); }
const std::string& JsonValue::as_string() const { return get<std::string>(value_, "a string"); }
const JsonValue::Array& JsonValue::as_array() const { return get<Array>(value_, "an array"); }
const JsonValue::Object& JsonValue::as_object() const { return get<Object>(value_, "an object"); }

const JsonValue& JsonValue::operator[](std::string_view key) const {
  for (const auto& [name, member] : as_object()) {
    if (name == key) return member;
  }
  throw std::out_of_range("JSON object has no member " + std::string(key));
}

JsonValue parse_json(std::string_view text) { return Parser(text).document(); }

std::vector<JsonValue> read_json_lines(const std::filesystem::path& file) {
  std::vector<JsonValue> values;
  std::ifstream in(file, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty()) values.push_back(parse_json(line));
  }
  return values;
}

}  // namespace docseek::test
