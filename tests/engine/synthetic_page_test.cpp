// SPDX-License-Identifier: MIT
// The synthetic result page, read the way the plug-in reads it: elements by id, their text and
// their link. The page must agree with SyntheticHit(), which other suites take as the truth.
#include <gtest/gtest.h>
#include <gumbo.h>

#include <algorithm>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "synthetic.h"

namespace docseek::engine {
namespace {

// A parsed page with the few reads the tests need. Walks are iterative: nothing here should
// depend on how deep a page nests.
class Page {
 public:
  explicit Page(const std::string& html)
      : html_(html),
        output_(gumbo_parse_with_options(&kGumboDefaultOptions, html_.data(), html_.size())) {
    std::vector<const GumboNode*> stack = {output_->root};
    while (!stack.empty()) {
      const GumboNode* node = stack.back();
      stack.pop_back();
      if (node->type != GUMBO_NODE_ELEMENT) continue;
      elements_.push_back(node);
      const GumboVector& children = node->v.element.children;
      for (unsigned i = children.length; i > 0; --i) {
        stack.push_back(static_cast<const GumboNode*>(children.data[i - 1]));
      }
    }
  }
  ~Page() { gumbo_destroy_output(&kGumboDefaultOptions, output_); }
  Page(const Page&) = delete;
  Page& operator=(const Page&) = delete;

  static std::optional<std::string> attribute(const GumboNode* element, const char* name) {
    const GumboAttribute* a = gumbo_get_attribute(&element->v.element.attributes, name);
    if (!a) return std::nullopt;
    return std::string(a->value);
  }

  // Every element with this id, in document order.
  std::vector<const GumboNode*> by_id(const std::string& id) const {
    std::vector<const GumboNode*> found;
    for (const GumboNode* e : elements_) {
      if (attribute(e, "id") == id) found.push_back(e);
    }
    return found;
  }

  const GumboNode* first(GumboTag tag) const {
    for (const GumboNode* e : elements_) {
      if (e->v.element.tag == tag) return e;
    }
    return nullptr;
  }

  static std::string text(const GumboNode* node) {
    std::string out;
    std::vector<const GumboNode*> stack = {node};
    while (!stack.empty()) {
      const GumboNode* n = stack.back();
      stack.pop_back();
      if (n->type == GUMBO_NODE_TEXT || n->type == GUMBO_NODE_WHITESPACE) {
        out += n->v.text.text;
      } else if (n->type == GUMBO_NODE_ELEMENT) {
        const GumboVector& children = n->v.element.children;
        for (unsigned i = children.length; i > 0; --i) {
          stack.push_back(static_cast<const GumboNode*>(children.data[i - 1]));
        }
      }
    }
    return out;
  }

 private:
  std::string html_;  // gumbo's tree points into it
  GumboOutput* output_;
  std::vector<const GumboNode*> elements_;
};

struct PageCase {
  std::string name;
  std::string keyword;
  std::string type;
  int hits;
};

class SyntheticPage : public ::testing::TestWithParam<PageCase> {};

TEST_P(SyntheticPage, HitsReadByIdMatchTheRule) {
  const PageCase& c = GetParam();
  const std::string query = c.keyword + " filetype:" + c.type;
  const Page page(RenderResultPage(query, c.hits));
  for (int n = 0; n < c.hits; ++n) {
    SCOPED_TRACE("hit " + std::to_string(n));
    const Hit hit = SyntheticHit(c.keyword, c.type, n);
    const auto title = page.by_id("uigs" + std::to_string(n));
    const auto info = page.by_id("cacheresult_info_" + std::to_string(n));
    const auto summary = page.by_id("cacheresult_summary_" + std::to_string(n));
    ASSERT_EQ(title.size(), 1u);
    ASSERT_EQ(info.size(), 1u);
    ASSERT_EQ(summary.size(), 1u);
    EXPECT_EQ(title[0]->v.element.tag, GUMBO_TAG_A);
    EXPECT_EQ(Page::text(title[0]), hit.title);
    EXPECT_EQ(Page::attribute(title[0], "href"), hit.link);
    EXPECT_EQ(Page::text(info[0]), hit.info);
    EXPECT_EQ(Page::text(summary[0]), hit.summary);
    EXPECT_NE(hit.title.find(c.keyword), std::string::npos);
  }
  const std::string past = std::to_string(c.hits);
  EXPECT_TRUE(page.by_id("uigs" + past).empty());
  EXPECT_TRUE(page.by_id("cacheresult_info_" + past).empty());
  EXPECT_TRUE(page.by_id("cacheresult_summary_" + past).empty());

  // The chrome echoes the whole query, escaped but intact.
  const GumboNode* input = page.by_id("upquery").at(0);
  EXPECT_EQ(Page::attribute(input, "value"), query);
  EXPECT_EQ(Page::text(page.first(GUMBO_TAG_TITLE)), query + " - 搜狗搜索");
}

INSTANTIATE_TEST_SUITE_P(Cases, SyntheticPage,
                         ::testing::Values(PageCase{"Ascii", "report", "pdf", 10},
                                           PageCase{"Chinese", "年度报告", "doc", 4},
                                           PageCase{"NoHits", "report", "pdf", 0},
                                           PageCase{"MaxHits", "x", "xls", kMaxHits},
                                           PageCase{"MarkupInKeyword", "<b>\"R&D\"</b> 'q'", "ppt",
                                                    3},
                                           PageCase{"EntityLookalike", "&amp; &lt;", "rtf", 2},
                                           PageCase{"OddType", "k", "a b/\"c\"&<d>", 2}),
                         [](const auto& info) { return info.param.name; });

TEST(SyntheticPage, KeywordMarkupIsEscapedEverywhere) {
  const std::string keyword = "<script>alert('x')</script>&\"";
  const std::string page = RenderResultPage(keyword + " filetype:pdf", 5);
  EXPECT_EQ(page.find("<script"), std::string::npos);
  EXPECT_EQ(page.find("'x'"), std::string::npos);
  EXPECT_NE(page.find("&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;&amp;&quot;"),
            std::string::npos);
}

TEST(SyntheticPage, SameQueryGivesTheSameBytes) {
  EXPECT_EQ(RenderResultPage("报告 filetype:pdf", 20), RenderResultPage("报告 filetype:pdf", 20));
  EXPECT_NE(RenderResultPage("报告 filetype:pdf", 20), RenderResultPage("报告 filetype:doc", 20));
}

// What the plug-in's tests rely on finding somewhere in a page of 100 hits.
TEST(SyntheticHit, FieldsVaryTheWayReadersNeed) {
  const std::regex date(R"((20\d\d)-([1-9]\d?)-([1-9]\d?))");
  std::set<std::string> sizes;
  std::set<char> title_marks;
  for (int n = 0; n < kMaxHits; ++n) {
    SCOPED_TRACE("hit " + std::to_string(n));
    const Hit hit = SyntheticHit("kw", "pdf", n);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(hit.date, m, date)) << hit.date;
    EXPECT_LE(std::stoi(m[2]), 12);
    EXPECT_LE(std::stoi(m[3]), 28);
    sizes.insert(hit.size);
    EXPECT_TRUE(hit.link.ends_with(".pdf"));
    EXPECT_EQ(hit.link, "http://" + hit.site);
    EXPECT_TRUE(hit.info.starts_with(hit.site));
    // Even hits have Chinese titles, odd hits English ones.
    const bool has_non_ascii =
        std::any_of(hit.title.begin(), hit.title.end(), [](char c) { return c & 0x80; });
    EXPECT_EQ(has_non_ascii, n % 2 == 0) << hit.title;
    for (char c : hit.title) {
      if (c == ':' || c == '/' || c == '?' || c == '.') title_marks.insert(c);
    }
  }
  for (const char* size : {"1.2K", "87K", "1024K", "33k"}) EXPECT_TRUE(sizes.count(size)) << size;
  EXPECT_EQ(title_marks, (std::set<char>{':', '/', '?', '.'}));
}

TEST(SyntheticHit, LinkEncodesTypesThatAreNoPlainExtension) {
  EXPECT_TRUE(SyntheticHit("k", "tar.gz", 0).link.ends_with("/report-0.tar.gz"));
  EXPECT_TRUE(SyntheticHit("k", "a b/c#d", 1).link.ends_with("/notes-1.a%20b%2Fc%23d"));
  EXPECT_TRUE(SyntheticHit("k", "文档", 2).link.ends_with("/manual-2.%E6%96%87%E6%A1%A3"));
}

struct SplitCase {
  std::string query;
  std::string keyword;
  std::string type;
};

class SplitQuery : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitQuery, TypeFollowsTheLastMarker) {
  const SearchTerms terms = ::docseek::engine::SplitQuery(GetParam().query);
  EXPECT_EQ(terms.keyword, GetParam().keyword);
  EXPECT_EQ(terms.type, GetParam().type);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitQuery,
    ::testing::Values(SplitCase{"report filetype:pdf", "report", "pdf"},
                      SplitCase{"a filetype:b filetype:c", "a filetype:b", "c"},
                      SplitCase{" filetype:pdf", "", "pdf"}, SplitCase{"x filetype:", "x", ""},
                      SplitCase{"filetype:pdf", "filetype:pdf", ""},
                      SplitCase{"no marker", "no marker", ""}, SplitCase{"", "", ""}));

struct CountCase {
  std::optional<std::string> num;
  int hits;
};

class HitCount : public ::testing::TestWithParam<CountCase> {};

TEST_P(HitCount, ClampsOrFallsBackToTheDefault) {
  const auto& num = GetParam().num;
  EXPECT_EQ(::docseek::engine::HitCount(num ? std::optional<std::string_view>(*num) : std::nullopt),
            GetParam().hits);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HitCount,
    ::testing::Values(CountCase{std::nullopt, kDefaultHits}, CountCase{"", kDefaultHits},
                      CountCase{"0", 0}, CountCase{"7", 7}, CountCase{"007", 7},
                      CountCase{"100", 100}, CountCase{"101", kMaxHits},
                      CountCase{"99999999999999999999999", kMaxHits}, CountCase{"-5", kDefaultHits},
                      CountCase{"-0", kDefaultHits}, CountCase{"+5", kDefaultHits},
                      CountCase{" 5", kDefaultHits}, CountCase{"20abc", kDefaultHits},
                      CountCase{"abc", kDefaultHits}));

}  // namespace
}  // namespace docseek::engine
