// SPDX-License-Identifier: MIT
#pragma once

// Just enough JSON for tests/data/url/urltestdata.json (see the README
// there): objects, arrays, strings, literals; and the file itself.

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/text.h"

namespace docseek::testing {

// Just enough JSON for the data file: objects, arrays, strings, literals.
struct Json {
  std::variant<std::nullptr_t, bool, double, std::string, std::vector<Json>,
               std::map<std::string, Json>>
      value;
};

class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : s_(text) {}

  Json Read() {
    Space();
    Json j;
    if (Peek() == '{') {
      ++pos_;
      std::map<std::string, Json> object;
      Space();
      if (Peek() == '}') {
        ++pos_;
      } else {
        for (;;) {
          Space();
          std::string key = String();
          Space();
          Expect(':');
          object.emplace(std::move(key), Read());
          Space();
          if (Peek() == ',') {
            ++pos_;
            continue;
          }
          Expect('}');
          break;
        }
      }
      j.value = std::move(object);
    } else if (Peek() == '[') {
      ++pos_;
      std::vector<Json> array;
      Space();
      if (Peek() == ']') {
        ++pos_;
      } else {
        for (;;) {
          array.push_back(Read());
          Space();
          if (Peek() == ',') {
            ++pos_;
            continue;
          }
          Expect(']');
          break;
        }
      }
      j.value = std::move(array);
    } else if (Peek() == '"') {
      j.value = String();
    } else if (s_.substr(pos_, 4) == "true") {
      pos_ += 4;
      j.value = true;
    } else if (s_.substr(pos_, 5) == "false") {
      pos_ += 5;
      j.value = false;
    } else if (s_.substr(pos_, 4) == "null") {
      pos_ += 4;
      j.value = nullptr;
    } else {
      std::size_t used = 0;
      j.value = std::stod(std::string(s_.substr(pos_, 32)), &used);
      pos_ += used;
    }
    return j;
  }

 private:
  char Peek() const { return pos_ < s_.size() ? s_[pos_] : '\0'; }
  void Space() {
    while (pos_ < s_.size() &&
           (s_[pos_] == ' ' || s_[pos_] == '\n' || s_[pos_] == '\r' || s_[pos_] == '\t')) {
      ++pos_;
    }
  }
  void Expect(char c) {
    if (Peek() != c) throw std::runtime_error("JSON: expected " + std::string(1, c));
    ++pos_;
  }
  unsigned Hex4() {
    const unsigned v = std::stoul(std::string(s_.substr(pos_, 4)), nullptr, 16);
    pos_ += 4;
    return v;
  }
  std::string String() {
    Expect('"');
    std::string out;
    while (Peek() != '"') {
      const char c = s_.at(pos_++);
      if (c != '\\') {
        out += c;
        continue;
      }
      const char e = s_.at(pos_++);
      switch (e) {
        case 'n':
          out += '\n';
          break;
        case 't':
          out += '\t';
          break;
        case 'r':
          out += '\r';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'u': {
          char32_t cp = Hex4();
          if (cp >= 0xD800 && cp <= 0xDBFF && s_.substr(pos_, 2) == "\\u") {
            pos_ += 2;
            const char32_t low = Hex4();
            if (low >= 0xDC00 && low <= 0xDFFF) {
              cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            } else {
              docseek::text::AppendUtf8(0xFFFD, out);
              cp = low;
            }
          }
          // A lone surrogate is not a scalar value; browsers see U+FFFD.
          if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
          docseek::text::AppendUtf8(cp, out);
          break;
        }
        default:
          out += e;
      }
    }
    ++pos_;
    return out;
  }

  std::string_view s_;
  std::size_t pos_ = 0;
};

inline const std::string* Field(const std::map<std::string, Json>& o, const std::string& key) {
  const auto it = o.find(key);
  if (it == o.end()) return nullptr;
  return std::get_if<std::string>(&it->second.value);
}

// The cases of the data file (its comment lines left out); empty when the
// file is missing.
inline std::vector<std::map<std::string, Json>> UrlTestCases() {
  std::ifstream file(DOCSEEK_SOURCE_DIR "/tests/data/url/urltestdata.json", std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  std::vector<std::map<std::string, Json>> out;
  if (!file) return out;
  const Json root = JsonReader(text.str()).Read();
  for (const Json& item : std::get<std::vector<Json>>(root.value)) {
    if (const auto* c = std::get_if<std::map<std::string, Json>>(&item.value)) out.push_back(*c);
  }
  return out;
}

}  // namespace docseek::testing
