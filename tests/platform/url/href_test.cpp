// SPDX-License-Identifier: MIT
// href: the attribute resolved against the document's base URL as the WHATWG
// URL standard resolves it.

#include <gtest/gtest.h>

#include <string>

#include "platform/dom/document.h"

namespace docseek::dom {
namespace {

constexpr const char* kPageUrl = "http://www.example.com/dir/page.html?x=1#top";

struct Case {
  const char* name;
  const char* href;  // the attribute value, as in the markup (HTML-escaped where needed)
  const char* expected;
};

std::string HrefOf(const std::string& head, const std::string& anchor,
                   const std::string& encoding = "UTF-8", const std::string& url = kPageUrl) {
  auto doc = Document::FromUtf8("<html><head>" + head + "</head><body>" + anchor + "</body></html>",
                                url, encoding);
  const Element* e = doc->getElementById("t");
  if (!e) throw std::runtime_error("no element t");
  return doc->href(*e);
}

std::string HrefOf(const char* value) {
  return HrefOf("", std::string("<a id=t href=\"") + value + "\">x</a>");
}

const Case kCases[] = {
    {"file_in_same_dir", "report.pdf", "http://www.example.com/dir/report.pdf"},
    {"absolute_path", "/files/a.pdf", "http://www.example.com/files/a.pdf"},
    {"parent_dir", "../up.pdf", "http://www.example.com/up.pdf"},
    {"above_root", "../../../../x", "http://www.example.com/x"},
    {"dot_segments", "./a/./b/../c", "http://www.example.com/dir/a/c"},
    {"scheme_relative", "//cdn.example.org/x", "http://cdn.example.org/x"},
    {"query_only", "?q=2", "http://www.example.com/dir/page.html?q=2"},
    {"fragment_only", "#frag", "http://www.example.com/dir/page.html?x=1#frag"},
    {"empty", "", "http://www.example.com/dir/page.html?x=1"},
    {"absolute", "https://other.example.net/p?q#f", "https://other.example.net/p?q#f"},
    {"trimmed_and_normalized", " \n http://Example.COM:80/a/./b/../c \t", "http://example.com/a/c"},
    {"scheme_and_host_lower_case", "HTTP://www.EXAMPLE.com/Path", "http://www.example.com/Path"},
    {"default_https_port", "https://a.example:443/", "https://a.example/"},
    {"other_port_kept", "http://a.example:8080", "http://a.example:8080/"},
    {"tab_and_newline_removed", "rep&#9;ort\n.pdf", "http://www.example.com/dir/report.pdf"},
    {"javascript", "java\nscript:void(0)", "javascript:void(0)"},
    {"mailto", "mailto:someone@example.com", "mailto:someone@example.com"},
    {"space_in_path", "a b.pdf", "http://www.example.com/dir/a%20b.pdf"},
    {"non_ascii_path", "报告.pdf", "http://www.example.com/dir/%E6%8A%A5%E5%91%8A.pdf"},
    {"non_ascii_query_utf8", "s?q=中", "http://www.example.com/dir/s?q=%E4%B8%AD"},
    {"query_specials", "s?q=a&quot;b&lt;c&gt;'d",
     "http://www.example.com/dir/s?q=a%22b%3Cc%3E%27d"},
    {"fragment_space", "x#a b", "http://www.example.com/dir/x#a%20b"},
    {"path_specials", "a{b}^`c|d", "http://www.example.com/dir/a%7Bb%7D%5E%60c|d"},
    {"percent_kept", "a%20b%zz", "http://www.example.com/dir/a%20b%zz"},
    {"idn_host", "http://bücher.example/", "http://xn--bcher-kva.example/"},
    {"backslashes", "\\\\server.example\\a\\b", "http://server.example/a/b"},
    {"same_scheme_relative", "http:other.html", "http://www.example.com/dir/other.html"},
    {"same_scheme_absolute_path", "http:/root.html", "http://www.example.com/root.html"},
    {"missing_slashes", "https:host.example/p", "https://host.example/p"},
    {"extra_slashes", "http:////host.example/p", "http://host.example/p"},
    // Values that do not parse are returned as written.
    {"space_in_host", "http://exa mple.com/", "http://exa mple.com/"},
    {"bad_ipv6", "http://[::1/", "http://[::1/"},
    {"bad_port", "http://a.example:99999/", "http://a.example:99999/"},
};

class HrefTable : public ::testing::TestWithParam<Case> {};

TEST_P(HrefTable, Resolves) {
  const Case& c = GetParam();
  EXPECT_EQ(HrefOf(c.href), c.expected) << c.href;
}

INSTANTIATE_TEST_SUITE_P(Cases, HrefTable, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Href, WithBase) {
  const std::string a = "<a id=t href=\"a.pdf\">x</a>";
  EXPECT_EQ(HrefOf("<base href=\"http://files.example.net/base/\">", a),
            "http://files.example.net/base/a.pdf");
  // A relative base resolves against the document URL.
  EXPECT_EQ(HrefOf("<base href=\"/other/\">", a), "http://www.example.com/other/a.pdf");
  // Only the first <base> with an href counts.
  EXPECT_EQ(HrefOf("<base target=_blank><base href=\"/one/\"><base href=\"/two/\">", a),
            "http://www.example.com/one/a.pdf");
  // A <base> in the body counts too; one in a template does not.
  EXPECT_EQ(HrefOf("", "<template><base href=\"/t/\"></template>" + a + "<base href=\"/late/\">"),
            "http://www.example.com/late/a.pdf");
  // An unparsable base leaves the document URL.
  EXPECT_EQ(HrefOf("<base href=\"http://exa mple/\">", a), "http://www.example.com/dir/a.pdf");
}

TEST(Href, QueryInPageEncoding) {
  const std::string a = "<a id=t href=\"search?q=中&amp;t=文\">x</a>";
  // "中" and "文" in GB18030.
  EXPECT_EQ(HrefOf("", a, "GB18030"), "http://www.example.com/dir/search?q=%D6%D0&t=%CE%C4");
  // Path and fragment are always UTF-8.
  EXPECT_EQ(HrefOf("", "<a id=t href=\"中?中#中\">x</a>", "GB18030"),
            "http://www.example.com/dir/%E4%B8%AD?%D6%D0#%E4%B8%AD");
  // windows-1252: é is a byte; a character it lacks becomes an escaped reference.
  EXPECT_EQ(HrefOf("", "<a id=t href=\"s?q=é中\">x</a>", "windows-1252"),
            "http://www.example.com/dir/s?q=%E9%26%2320013%3B");
  // UTF-16 pages write queries in UTF-8.
  EXPECT_EQ(HrefOf("", "<a id=t href=\"s?q=中\">x</a>", "UTF-16LE"),
            "http://www.example.com/dir/s?q=%E4%B8%AD");
}

TEST(Href, GbkPageLoadedFromBytes) {
  // <a href="search?q=中">中文</a> in GB18030 bytes, declared by <meta>.
  const std::string bytes =
      "<html><head><meta charset=gbk></head><body>"
      "<a id=t href=\"search?q=\xD6\xD0\">\xD6\xD0\xCE\xC4</a></body></html>";
  auto doc = Document::Load(bytes, "text/html", "http://www.example.com/dir/page.html");
  EXPECT_EQ(doc->encoding(), "GB18030");
  const Element* e = doc->getElementById("t");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(doc->href(*e), "http://www.example.com/dir/search?q=%D6%D0");
  EXPECT_EQ(doc->innerText(*e), "中文");
}

TEST(Href, AnchorWithoutHrefIsEmpty) { EXPECT_EQ(HrefOf("", "<a id=t name=n>x</a>"), ""); }

TEST(Href, AreaResolves) {
  EXPECT_EQ(HrefOf("", "<map name=m><area id=t href=\"x.html\" shape=rect coords=0,0,1,1></map>"),
            "http://www.example.com/dir/x.html");
}

TEST(Href, OtherElementsThrow) {
  auto doc = Document::FromUtf8(
      "<body><div id=div href=\"x\">d</div><link id=link href=\"s.css\">"
      "<svg><a id=svg_a href=\"x\">s</a></svg><area id=area_in_svg></body>",
      kPageUrl);
  for (const char* id : {"div", "link", "svg_a"}) {
    const Element* e = doc->getElementById(id);
    ASSERT_NE(e, nullptr) << id;
    EXPECT_THROW(doc->href(*e), docseek::Error) << id;
  }
}

TEST(Href, RelativeWithoutUsableDocumentUrl) {
  // Without a base, a relative value does not parse: it comes back as written.
  EXPECT_EQ(HrefOf("", "<a id=t href=\"x.pdf\">x</a>", "UTF-8", ""), "x.pdf");
  EXPECT_EQ(HrefOf("", "<a id=t href=\"http://a.example/x\">x</a>", "UTF-8", ""),
            "http://a.example/x");
  // A document URL with an opaque path takes only fragments.
  EXPECT_EQ(HrefOf("", "<a id=t href=\"#f\">x</a>", "UTF-8", "about:blank"), "about:blank#f");
}

}  // namespace
}  // namespace docseek::dom
