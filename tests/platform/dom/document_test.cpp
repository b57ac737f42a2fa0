// SPDX-License-Identifier: MIT
// Document: loading, the id index, the reads of the hit loop on the engine's
// markup, frames, and pages built to break parsers.

#include "platform/dom/document.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "platform/dom/arena.h"
#include "support/hit_markup.h"

namespace docseek::dom {
namespace {

constexpr const char* kUrl = "http://www.sogou.com/web?query=report&filetype=pdf";

// One hit of the engine's result page, as the hit loop reads it.
std::string Hit(int n) {
  const std::string i = std::to_string(n);
  return testing::HitMarkup(n, {.link = "http://www.example.com/files/report-" + i + ".pdf",
                                .title_html = "年度<em>report</em>报告 " + i,
                                .info_html = "www.example.com/files/report-" + i +
                                             ".pdf&nbsp;-&nbsp;123K&nbsp;-&nbsp;2010-5-3",
                                .summary_html = "summary text with <em>highlight</em> ..."});
}

std::string ResultPage(int hits) {
  std::string page =
      "<!DOCTYPE html><html><head><meta charset=utf-8><title>report - 搜狗搜索</title>"
      "<script>var uigs_para = {\"id\": \"uigs0\"};</script><style>.vrwrap{}</style></head>"
      "<body><div id=\"header\"><a href=\"/\">搜狗</a></div><div id=\"main\">";
  for (int n = 0; n < hits; ++n) page += Hit(n) + "\n";
  page += "</div><div id=\"footer\">&copy; Sogou</div></body></html>";
  return page;
}

TEST(Document, ReadsOfTheHitLoop) {
  auto doc = Document::Load(ResultPage(3), "text/html; charset=UTF-8", kUrl);
  EXPECT_EQ(doc->url(), kUrl);
  EXPECT_EQ(doc->encoding(), "UTF-8");
  for (int n = 0; n < 3; ++n) {
    const std::string i = std::to_string(n);
    const Element* title = doc->getElementById("uigs" + i);
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(doc->innerText(*title), "年度report报告 " + i);
    EXPECT_EQ(doc->href(*title), "http://www.example.com/files/report-" + i + ".pdf");
    const Element* info = doc->getElementById("cacheresult_info_" + i);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(doc->innerText(*info),
              "www.example.com/files/report-" + i + ".pdf - 123K - 2010-5-3");
    const Element* summary = doc->getElementById("cacheresult_summary_" + i);
    ASSERT_NE(summary, nullptr);
    EXPECT_EQ(doc->innerText(*summary), "summary text with highlight ...");
  }
  EXPECT_EQ(doc->getElementById("uigs3"), nullptr);
}

TEST(Document, GetElementById) {
  auto doc = Document::FromUtf8(
      "<body><div id=dup>first</div><p id=dup>second</p>"
      "<span id=\"Case\">c</span><span id=\"\">empty</span>"
      "<template><b id=tpl>t</b></template>"
      "<div><div><em id=deep>d</em></div></div></body>",
      kUrl);
  const Element* dup = doc->getElementById("dup");
  ASSERT_NE(dup, nullptr);
  EXPECT_EQ(doc->innerText(*dup), "first");    // the first in tree order
  EXPECT_EQ(doc->getElementById("dup"), dup);  // the same element every time
  EXPECT_NE(doc->getElementById("Case"), nullptr);
  EXPECT_EQ(doc->getElementById("case"), nullptr);  // ids are case-sensitive
  EXPECT_EQ(doc->getElementById(""), nullptr);
  EXPECT_EQ(doc->getElementById("tpl"), nullptr);  // template contents excluded
  EXPECT_EQ(doc->getElementById("missing"), nullptr);
  ASSERT_NE(doc->getElementById("deep"), nullptr);
  EXPECT_EQ(doc->innerText(*doc->getElementById("deep")), "d");
}

TEST(Document, HeaderCharsetDecidesGbkPage) {
  // "年度报告" in GB18030, declared only by the HTTP header.
  const std::string bytes =
      "<html><body><a id=t href=\"/a\">\xC4\xEA\xB6\xC8\xB1\xA8\xB8\xE6</a></body></html>";
  auto doc = Document::Load(bytes, "text/html; charset=GBK", "http://www.example.com/");
  EXPECT_EQ(doc->encoding(), "GBK");  // the label's encoding; gb18030 decodes it
  EXPECT_EQ(doc->innerText(*doc->getElementById("t")), "年度报告");
}

TEST(Document, FrameSources) {
  auto doc = Document::FromUtf8(
      "<html><head><base href=\"http://base.example/d/\"></head><body>"
      "<iframe src=\"inner.html\"></iframe>"
      "<iframe src=\"https://ads.example/x?a=1\"></iframe>"
      "<iframe src=\"javascript:void(0)\"></iframe>"
      "<iframe></iframe><iframe src=\"\"></iframe>"
      "<iframe srcdoc=\"<p>x</p>\" src=\"ignored.html\"></iframe>"
      "<template><iframe src=\"tpl.html\"></iframe></template>"
      "<noscript><iframe src=\"noscript.html\"></iframe></noscript>"
      "<iframe src=\"http://exa mple/\"></iframe>"
      "</body></html>",
      kUrl);
  EXPECT_EQ(doc->frameSources(), (std::vector<std::string>{"http://base.example/d/inner.html",
                                                           "https://ads.example/x?a=1"}));
  auto frameset = Document::FromUtf8(
      "<html><frameset cols=\"50%,50%\"><frame src=\"/left.html\"><frame src=\"right.html\">"
      "</frameset></html>",
      "http://www.example.com/dir/index.html");
  EXPECT_EQ(frameset->frameSources(),
            (std::vector<std::string>{"http://www.example.com/left.html",
                                      "http://www.example.com/dir/right.html"}));
}

TEST(Document, NoscriptContentIsNotInTheDocument) {
  // Scripting is on: <noscript> holds raw text, not elements.
  auto doc = Document::FromUtf8(
      "<html><head><noscript><link id=l href=x></noscript></head>"
      "<body><noscript><a id=n href=x>no js</a></noscript><p id=p>after</p></body></html>",
      kUrl);
  EXPECT_EQ(doc->getElementById("n"), nullptr);
  EXPECT_EQ(doc->getElementById("l"), nullptr);
  ASSERT_NE(doc->getElementById("p"), nullptr);
  EXPECT_EQ(doc->innerText(*doc->getElementById("p")), "after");
}

TEST(Document, LoadCapsTheBody) {
  std::string body = "<body><p id=p>start</p>";
  body.append(Document::kMaxBodyBytes, 'x');
  body += "<p id=late>late</p>";
  auto doc = Document::Load(body, "text/html", kUrl);
  EXPECT_NE(doc->getElementById("p"), nullptr);
  EXPECT_EQ(doc->getElementById("late"), nullptr);  // beyond the cap
}

TEST(Document, ATagWithAHundredThousandAttributesKeepsItsFirstOnes) {
  std::string junk;
  for (int i = 0; i < 100000; ++i) junk += " a" + std::to_string(i) + "=1";
  auto doc = Document::FromUtf8(
      "<body><a id=uigs0 href=/x.pdf" + junk + " id=late>t</a><p" + junk + " id=p>late id</p>",
      kUrl);
  const Element* link = doc->getElementById("uigs0");
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(doc->innerText(*link), "t");
  EXPECT_EQ(doc->href(*link), "http://www.sogou.com/x.pdf");
  EXPECT_EQ(doc->getElementById("late"), nullptr);
  EXPECT_EQ(doc->getElementById("p"), nullptr);  // past the first 64 attributes
}

TEST(Document, ReadsOfOnePageShareABudget) {
  // Each summary holds the next: every read walks the rest of the page.
  std::string page = "<body>";
  for (int n = 0; n < 300; ++n) page += "<div id=s" + std::to_string(n) + ">";
  page += std::string(100000, 'x');
  auto doc = Document::FromUtf8(page, kUrl);
  std::size_t read = 0;
  int n = 0;
  try {
    for (; n < 300; ++n)
      read += doc->innerText(*doc->getElementById("s" + std::to_string(n))).size();
  } catch (const Error&) {
  }
  EXPECT_GT(n, 0);    // the first reads go through
  EXPECT_LT(n, 300);  // and the budget ends them
  EXPECT_LE(read, Document::kReadBudgetFactor * doc->size() + Document::kReadBudgetFloor);

  // The hit loop's reads of a result page, many times over, stay well inside it.
  auto result = Document::Load(ResultPage(100), "text/html; charset=UTF-8", kUrl);
  for (int pass = 0; pass < 3; ++pass) {
    for (int hit = 0; hit < 100; ++hit) {
      const std::string i = std::to_string(hit);
      for (const std::string& id :
           {"uigs" + i, "cacheresult_info_" + i, "cacheresult_summary_" + i}) {
        EXPECT_NO_THROW(result->innerText(*result->getElementById(id))) << id;
      }
    }
  }
}

TEST(Document, OutlivesNothingButItself) {
  // The reads work on a document whose source string is gone.
  std::shared_ptr<const Document> doc;
  {
    std::string html = ResultPage(1);
    doc = Document::FromUtf8(html, kUrl);
    html.assign(html.size(), '#');
  }
  EXPECT_EQ(doc->innerText(*doc->getElementById("uigs0")), "年度report报告 0");
}

// Runs `body` on a thread with a small stack (256 KiB): any recursion per
// nesting level would overflow it.
void OnSmallStack(const std::function<void()>& body) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 256 * 1024);
  pthread_t thread;
  auto* fn = new std::function<void()>(body);
  ASSERT_EQ(pthread_create(
                &thread, &attr,
                [](void* p) -> void* {
                  auto* f = static_cast<std::function<void()>*>(p);
                  (*f)();
                  delete f;
                  return nullptr;
                },
                fn),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

struct DeepCase {
  const char* name;
  const char* open;
  const char* close;   // "" for unclosed
  bool text_rendered;  // false where the text ends up inside <svg>
};

class DeepNesting : public ::testing::TestWithParam<DeepCase> {};

TEST_P(DeepNesting, NoStackOverflowAndFast) {
  const DeepCase& c = GetParam();
  constexpr int kDepth = 100000;
  std::string html = "<html><body><div id=top><a id=link href=\"/x\">";
  for (int i = 0; i < kDepth; ++i) html += c.open;
  html += "deep text";
  for (int i = 0; i < kDepth && *c.close; ++i) html += c.close;
  html += "</a> after</div></body></html>";
  const auto start = std::chrono::steady_clock::now();
  OnSmallStack([&] {
    auto doc = Document::FromUtf8(html, kUrl);
    const Element* top = doc->getElementById("top");
    ASSERT_NE(top, nullptr);
    const std::string text = doc->innerText(*top);
    EXPECT_EQ(text.find("deep text") != std::string::npos, c.text_rendered) << text.substr(0, 200);
    EXPECT_NE(text.find("after"), std::string::npos);
    EXPECT_EQ(doc->href(*doc->getElementById("link")), "http://www.sogou.com/x");
  });
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 3.0);  // gumbo alone: ~14 s for 100000 unclosed <div>s
}

const DeepCase kDeepCases[] = {
    {"unclosed_div", "<div>", "", true},
    {"closed_div", "<div>", "</div>", true},
    {"unclosed_b", "<b>", "", true},
    {"closed_span", "<span class=s>", "</span>", true},
    {"unclosed_table_cells", "<table><tr><td>", "", true},
    {"unclosed_svg_g", "<svg><g>", "", false},
    {"custom_elements", "<x-item>", "</x-item>", true},
};

INSTANTIATE_TEST_SUITE_P(Cases, DeepNesting, ::testing::ValuesIn(kDeepCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The parse memory kept across a browser's pages: a document never shares it
// with one still alive, and pages larger than one chunk parse whole.
TEST(ParseMemory, IsReusedOnlyOnceThePreviousDocumentIsGone) {
  ArenaPool pool;
  std::string big;
  for (int i = 0; i < 40000; ++i) {
    big += "<p id=p" + std::to_string(i) + ">" + std::to_string(i) + "</p>";
  }
  struct Page {
    std::string html;
    std::string id, text;
  } pages[] = {{"<p id=a>one</p>", "a", "one"},
               {"<p id=a>two</p>", "a", "two"},
               {big, "p39999", "39999"},
               {"<a id=l href=x>three</a>", "l", "three"}};
  // Two alive at once, then each released before the next, as the browser does.
  auto first = Document::Load(pages[0].html, "text/html", "http://x/", &pool);
  auto second = Document::Load(pages[1].html, "text/html", "http://x/", &pool);
  EXPECT_EQ(first->innerText(*first->getElementById("a")), "one");
  EXPECT_EQ(second->innerText(*second->getElementById("a")), "two");
  first.reset();
  second.reset();
  for (int round = 0; round < 2; ++round) {
    for (const Page& page : pages) {
      SCOPED_TRACE(page.id);
      auto doc = Document::Load(page.html, "text/html", "http://x/", &pool);
      const Element* element = doc->getElementById(page.id);
      ASSERT_NE(element, nullptr);
      EXPECT_EQ(doc->innerText(*element), page.text);
    }
  }
  auto link = Document::Load(pages[3].html, "text/html", "http://x/", &pool);
  // The resolved link is the same each time it is read.
  EXPECT_EQ(link->href(*link->getElementById("l")), "http://x/x");
  EXPECT_EQ(link->href(*link->getElementById("l")), "http://x/x");
}

TEST(ParseMemory, BlocksAreAlignedAndAResetKeepsABoundedAmount) {
  Arena arena;
  for (std::size_t size : {1u, 3u, 17u, 100u}) {
    void* block = arena.Allocate(size);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % alignof(std::max_align_t), 0u);
  }
  void* huge = arena.Allocate(3 * Arena::kChunkBytes);  // larger than a chunk
  std::memset(huge, 0xAB, 3 * Arena::kChunkBytes);
  for (int i = 0; i < 12; ++i) std::memset(arena.Allocate(Arena::kChunkBytes), i, 16);
  arena.Reset();
  EXPECT_LE(arena.KeptBytes(), Arena::kKeptBytes);
  EXPECT_GT(arena.KeptBytes(), 0u);
  // After the reset the kept memory serves again, and more is taken as needed.
  for (int i = 0; i < 20; ++i) std::memset(arena.Allocate(Arena::kChunkBytes / 2), i, 16);
}

}  // namespace
}  // namespace docseek::dom
