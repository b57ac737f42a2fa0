// SPDX-License-Identifier: MIT
// Fixture pages: what --pages DIR serves, and that nothing outside DIR is ever served.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/engine_process.h"
#include "synthetic.h"

namespace docseek {
namespace {

using engine::RenderResultPage;
using test::EngineProcess;
using test::http_get;
using test::HttpOptions;

const std::string kSecret = "<p>outside the pages directory</p>";

class EnginePages : public ::testing::Test {
 protected:
  void SetUp() override {
    // A file beside the pages directory that no request may reach.
    std::filesystem::create_directories(engine.sandbox() / "private");
    test::TempDir::write_file(engine.sandbox() / "secret.html", kSecret);
    test::TempDir::write_file(engine.sandbox() / "private" / "secret.html", kSecret);
  }

  EngineProcess engine;
};

TEST_F(EnginePages, WebServesTheFixtureForTheQueriedType) {
  const std::string fixture = "<html><head><meta charset=\"gbk\"></head><body>\xb1\xa8</body>";
  engine.write_page("pdf.html", fixture);

  const auto pdf = http_get(engine.url("/web?query=anything%20filetype:pdf&num=3"));
  EXPECT_EQ(pdf.status, 200);
  EXPECT_EQ(pdf.body, fixture);
  EXPECT_EQ(pdf.header("Content-Type"), "text/html");  // the page's own <meta> decides

  const auto doc = http_get(engine.url("/web?query=anything%20filetype:doc&num=3"));
  EXPECT_EQ(doc.body, RenderResultPage("anything filetype:doc", 3));
}

TEST_F(EnginePages, ReadsFixturesAnewForEachRequest) {
  const std::string url = engine.url("/web?query=k%20filetype:xls");
  EXPECT_EQ(http_get(url).body, RenderResultPage("k filetype:xls", 10));
  engine.write_page("xls.html", "first");
  EXPECT_EQ(http_get(url).body, "first");
  engine.write_page("xls.html", "second");
  EXPECT_EQ(http_get(url).body, "second");
  std::filesystem::remove(engine.pages_dir() / "xls.html");
  EXPECT_EQ(http_get(url).body, RenderResultPage("k filetype:xls", 10));
}

TEST_F(EnginePages, TypesThatAreNoPlainFileNameGetTheSyntheticPage) {
  engine.write_page(".hidden.html", "hidden");
  engine.write_page("sub/x.html", "in a subdirectory");
  for (const std::string type : {".hidden", "../secret", "../private/secret", "sub/x", ""}) {
    SCOPED_TRACE(type);
    const auto r = http_get(engine.url("/web?query=k%20filetype:" + type + "&num=1"));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, RenderResultPage("k filetype:" + type, 1));
  }
}

TEST_F(EnginePages, ServesOtherPathsByExtension) {
  struct Case {
    std::string file;
    std::string content_type;
  };
  for (const Case& c : std::vector<Case>{{"a/b.html", "text/html"},
                                         {"c.HTM", "text/html"},
                                         {"notes.txt", "text/plain"},
                                         {"docs/report-0.pdf", "application/pdf"},
                                         {"blob.bin", "application/octet-stream"},
                                         {"no-extension", "application/octet-stream"},
                                         {"年度 报告.html", "text/html"}}) {
    SCOPED_TRACE(c.file);
    const std::string content = "content of " + c.file;
    engine.write_page(c.file, content);
    std::string encoded;
    for (unsigned char ch : c.file) {
      static const char* kHex = "0123456789ABCDEF";
      if (ch == ' ' || ch >= 0x80) {
        encoded += '%';
        encoded += kHex[ch >> 4];
        encoded += kHex[ch & 15];
      } else {
        encoded += static_cast<char>(ch);
      }
    }
    const auto r = http_get(engine.url("/" + encoded));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, content);
    EXPECT_EQ(r.header("Content-Type"), c.content_type);
  }
}

TEST_F(EnginePages, MissingFilesAndDirectoriesAre404) {
  engine.write_page("dir/page.html", "x");
  for (const std::string path : {"/missing.html", "/dir", "/dir/", "/", "/dir/page.html/x"}) {
    SCOPED_TRACE(path);
    const auto r = http_get(engine.url(path));
    EXPECT_EQ(r.status, 404);
    EXPECT_EQ(r.header("Content-Type"), "text/html; charset=utf-8");
    EXPECT_NE(r.body.find("<h1>404 Not Found</h1>"), std::string::npos);
  }
}

TEST_F(EnginePages, RefusesEveryWayOutOfTheDirectory) {
  namespace fs = std::filesystem;
  engine.write_page("inside.html", "inside");
  fs::create_symlink("../secret.html", engine.pages_dir() / "link.html");
  fs::create_symlink(engine.sandbox() / "private", engine.pages_dir() / "private");
  fs::create_symlink("../secret.html", engine.pages_dir() / "doc.html");
  fs::create_symlink("inside.html", engine.pages_dir() / "alias.html");

  HttpOptions as_is;
  as_is.path_as_is = true;
  for (const std::string path : {
           "/../secret.html",
           "/a/../../secret.html",
           "/%2e%2e/secret.html",
           "/%2E%2E%2Fsecret.html",
           "/inside.html/../../secret.html",
           "/..",
           "/link.html",
           "/private/secret.html",
           "/web?query=k%20filetype:doc",
       }) {
    SCOPED_TRACE(path);
    const auto r = http_get(engine.url(path), as_is);
    EXPECT_EQ(r.status, 403);
    EXPECT_EQ(r.body.find(kSecret), std::string::npos);
  }
  // A link that stays inside is fine.
  EXPECT_EQ(http_get(engine.url("/alias.html")).body, "inside");
}

TEST(EngineWithoutPages, AnswersSyntheticPagesAnd404) {
  test::EngineOptions options;
  options.pages = false;
  options.log = false;
  const EngineProcess engine(options);
  EXPECT_EQ(http_get(engine.url("/web?query=k%20filetype:pdf&num=2")).body,
            RenderResultPage("k filetype:pdf", 2));
  EXPECT_EQ(http_get(engine.url("/pdf.html")).status, 404);
}

}  // namespace
}  // namespace docseek
