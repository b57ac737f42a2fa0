// SPDX-License-Identifier: MIT
// Every case of the web platform tests' URL parsing data
// (tests/data/url/urltestdata.json, see the README there) through ParseUrl:
// the input against the base gives the case's href, or fails where the case
// says parsing must fail.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "platform/url/url_parser.h"
#include "platform/url/url_test_data.h"

namespace url = docseek::url;

namespace {

using docseek::testing::Field;
using docseek::testing::Json;
using docseek::testing::JsonReader;

TEST(UrlTestData, EveryCasePasses) {
  std::ifstream file(DOCSEEK_SOURCE_DIR "/tests/data/url/urltestdata.json", std::ios::binary);
  ASSERT_TRUE(file) << "tests/data/url/urltestdata.json missing";
  std::stringstream text;
  text << file.rdbuf();
  const Json root = JsonReader(text.str()).Read();
  const auto& cases = std::get<std::vector<Json>>(root.value);
  int run = 0, failures = 0;
  for (const Json& item : cases) {
    const auto* c = std::get_if<std::map<std::string, Json>>(&item.value);
    if (!c) continue;  // a comment line
    const std::string* input = Field(*c, "input");
    ASSERT_NE(input, nullptr);
    const std::string* base_text = Field(*c, "base");
    std::optional<url::Url> base;
    if (base_text) {
      base = url::ParseUrl(*base_text);
      ASSERT_TRUE(base) << "base does not parse: " << *base_text;
    }
    const auto result = url::ParseUrl(*input, base ? &*base : nullptr);
    ++run;
    const bool must_fail = c->count("failure") != 0;
    if (must_fail) {
      if (result) ++failures;
      EXPECT_FALSE(result) << "input <" << *input << "> base <" << (base_text ? *base_text : "")
                           << "> gave " << result->Serialize();
      continue;
    }
    const std::string* href = Field(*c, "href");
    ASSERT_NE(href, nullptr);
    if (!result || result->Serialize() != *href) ++failures;
    EXPECT_TRUE(result) << "input <" << *input << "> base <" << (base_text ? *base_text : "")
                        << "> failed, want " << *href;
    if (result) {
      EXPECT_EQ(result->Serialize(), *href)
          << "input <" << *input << "> base <" << (base_text ? *base_text : "") << ">";
    }
  }
  EXPECT_GT(run, 800);
  std::cout << run << " cases, " << failures << " failed\n";
}

}  // namespace
