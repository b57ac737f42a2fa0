// SPDX-License-Identifier: MIT
// Range requests on fixture files: the one-range forms a resuming client sends.
#include "byte_range.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace docseek::engine {
namespace {

std::optional<std::string> Field(const Response& response, std::string_view name) {
  for (const auto& [key, value] : response.headers) {
    if (key == name) return value;
  }
  return std::nullopt;
}

TEST(ByteRange, AnswersOneRangeOfAFile) {
  const struct {
    std::string range;  // empty: no Range field
    int status;
    std::string body;
    std::string content_range;  // empty: none
  } cases[] = {
      {"", 200, "0123456789", ""},
      {"bytes=4-", 206, "456789", "bytes 4-9/10"},
      {"bytes=2-5", 206, "2345", "bytes 2-5/10"},
      {"bytes=8-100", 206, "89", "bytes 8-9/10"},
      {"bytes=-3", 206, "789", "bytes 7-9/10"},
      {"bytes=-30", 206, "0123456789", "bytes 0-9/10"},
      {"bytes=10-", 416, "", "bytes */10"},
      {"bytes=5-2", 200, "0123456789", ""},      // not a valid range: ignored
      {"bytes=0-1,4-5", 200, "0123456789", ""},  // several ranges: the whole file
      {"items=1-2", 200, "0123456789", ""},
      {"bytes=x-", 200, "0123456789", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.range);
    Request request;
    request.method = "GET";
    if (!c.range.empty()) request.headers.emplace_back("range", c.range);
    Response file;
    file.body = "0123456789";
    const Response r = ApplyByteRange(request, file);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(Field(r, "Content-Range").value_or(""), c.content_range);
    if (c.status != 416) {
      EXPECT_EQ(r.body, c.body);
      EXPECT_EQ(Field(r, "Accept-Ranges"), "bytes");
    }
  }
}

TEST(ByteRange, LeavesOtherAnswersAlone) {
  Request request;
  request.headers.emplace_back("Range", "bytes=1-");
  const Response missing = ApplyByteRange(request, ErrorResponse(404));
  EXPECT_EQ(missing.status, 404);
  EXPECT_FALSE(Field(missing, "Content-Range"));
}

}  // namespace
}  // namespace docseek::engine
