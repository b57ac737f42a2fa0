// SPDX-License-Identifier: MIT
// The rules of --download that need no network: file names, the content
// check, sizes, local addresses, the proxy choice and the two new options.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "args.h"
#include "download.h"
#include "file_names.h"
#include "magic.h"
#include "net_rules.h"

namespace docseek::cli {
namespace {

// A name that can only ever mean one entry directly inside the folder.
void ExpectPlainName(const std::string& name) {
  EXPECT_FALSE(name.empty());
  EXPECT_NE(name, ".");
  EXPECT_NE(name, "..");
  EXPECT_NE(name.front(), '.');
  EXPECT_EQ(name.find('/'), std::string::npos);
  EXPECT_EQ(name.find('\0'), std::string::npos);
  for (char c : name) EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20) << name;
  EXPECT_LE(name.size(), kMaxNameBytes);
}

TEST(FileNames, HostileTitlesAndSuffixesGivePlainNames) {
  const std::string long_title(300, 'a');
  std::string long_wide;  // 3-byte characters, so a byte cap falls inside one
  for (int i = 0; i < 100; ++i) long_wide += "报";
  const struct {
    std::string title;
    std::string suffix;
    std::string link;
    std::string name;
  } cases[] = {
      {"Annual report", "pdf", "http://h/a.pdf", "Annual report.pdf"},
      {"../../x", "pdf", "http://h/a.pdf", "_.._x.pdf"},
      {"/etc/passwd", "pdf", "http://h/a.pdf", "_etc_passwd.pdf"},
      {"..", "pdf", "http://h/docs/report-1.pdf", "report-1.pdf"},
      {".", "", "http://h/docs/report-1.pdf", "report-1.pdf"},
      {"", "pdf", "http://h/docs/%E5%B9%B4.pdf?x=1", "年.pdf"},
      {"", "pdf", "http://h/", "h.pdf"},
      {"", "pdf", "http://user@h:8080", "h:8080.pdf"},
      {"", "pdf", "", "download.pdf"},
      {"  .hidden  ", "doc", "http://h/a", "hidden.doc"},
      {"tab\there\nnul", "pdf", "http://h/a", "tab_here_nul.pdf"},
      {std::string("a\0b", 3), "pdf", "http://h/a", "a_b.pdf"},
      {"bad\xFF\xC0utf8", "pdf", "http://h/a", "bad__utf8.pdf"},
      {"back\\slash", "pdf", "http://h/a", "back_slash.pdf"},
      {"report", "com/slow?x=/../../etc", "http://h/a", "report.com_slow?x=_.._.._etc"},
      {"report", "../..", "http://h/a", "report._.."},
      {"report", "", "http://h/a", "report"},
      {long_title, "pdf", "http://h/a", std::string(kMaxNameBytes - 4, 'a') + ".pdf"},
      {"t", std::string(100, 's'), "http://h/a", "t." + std::string(kMaxSuffixBytes, 's')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title + " | " + c.suffix);
    const std::string name = FileNameFor(c.title, c.suffix, c.link);
    EXPECT_EQ(name, c.name);
    ExpectPlainName(name);
  }
  const std::string wide = FileNameFor(long_wide, "pdf", "");
  ExpectPlainName(wide);
  EXPECT_EQ(wide, long_wide.substr(0, 195) + ".pdf");  // 65 whole characters, then .pdf
}

TEST(FileNames, CutsOnlyAtCharacterBoundaries) {
  EXPECT_EQ(CutUtf8("abc", 5), "abc");
  EXPECT_EQ(CutUtf8("ab报", 4), "ab");
  EXPECT_EQ(CutUtf8("ab报", 5), "ab报");
  EXPECT_EQ(CutUtf8("😀x", 3), "");
}

TEST(FileNames, RepeatedNamesGetACounterBeforeTheSuffix) {
  std::set<std::string> taken;
  EXPECT_EQ(MakeUnique("a.pdf", taken), "a.pdf");
  EXPECT_EQ(MakeUnique("a.pdf", taken), "a (2).pdf");
  EXPECT_EQ(MakeUnique("a.pdf", taken), "a (3).pdf");
  EXPECT_EQ(MakeUnique("a (2).pdf", taken), "a (2) (2).pdf");
  EXPECT_EQ(MakeUnique("b", taken), "b");
  EXPECT_EQ(MakeUnique("b", taken), "b (2)");
  // A final name never meets another download's partial file.
  EXPECT_EQ(MakeUnique("a.pdf.part", taken), "a.pdf (2).part");
  EXPECT_EQ(MakeUnique("c.part", taken), "c.part");
  EXPECT_EQ(MakeUnique("c", taken), "c (2)");
}

TEST(Magic, FirstBytesAreCheckedAgainstTheSuffix) {
  const std::string ole2("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1rest", 12);
  const std::string zip("PK\x03\x04rest", 8);
  const struct {
    std::string suffix;
    std::string head;
    Magic verdict;
  } cases[] = {
      {"pdf", "%PDF-1.7\n", Magic::kMatches},
      {"PDF", "\r\n%PDF-1.4", Magic::kMatches},  // leading junk, as readers allow
      {"pdf", "<html>not found</html>", Magic::kMismatch},
      {"pdf", "", Magic::kMismatch},
      {"pdf", std::string(kMagicBytes, ' ') + "%PDF-", Magic::kMismatch},
      {"doc", ole2, Magic::kMatches},
      {"doc", zip, Magic::kMatches},
      {"xlsx", ole2, Magic::kMatches},
      {"pptx", zip, Magic::kMatches},
      {"ppt", "%PDF-1.4", Magic::kMismatch},
      {"xls", "PK\x03", Magic::kMismatch},
      {"rtf", "{\\rtf1\\ansi", Magic::kMatches},
      {"rtf", "{\\rt", Magic::kMismatch},
      {"txt", "anything", Magic::kUnknown},
      {"", "", Magic::kUnknown},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.suffix + ": " + c.head.substr(0, 16));
    EXPECT_EQ(CheckMagic(c.suffix, c.head), c.verdict);
  }
  EXPECT_EQ(ExpectedKind("docx"), "OLE2 or ZIP");
}

TEST(Sizes, BytesWithAnOptionalUnit) {
  const struct {
    std::string text;
    std::optional<std::uint64_t> bytes;
  } cases[] = {
      {"1", 1},
      {"1000", 1000},
      {"4K", 4096},
      {"4k", 4096},
      {"100M", 100ull << 20},
      {"2G", 2ull << 30},
      {"17179869183G", 17179869183ull << 30},
      {"17179869184G", std::nullopt},  // 2^64 bytes
      {"0", std::nullopt},
      {"", std::nullopt},
      {"K", std::nullopt},
      {"-1", std::nullopt},
      {"1.5M", std::nullopt},
      {"10MB", std::nullopt},
      {" 10", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseSize(c.text), c.bytes);
  }
}

TEST(NetRules, LocalAddresses) {
  const struct {
    std::string text;
    bool local;
  } cases[] = {
      {"127.0.0.1", true},
      {"127.255.0.9", true},
      {"10.1.2.3", true},
      {"172.16.0.1", true},
      {"172.31.255.255", true},
      {"172.32.0.1", false},
      {"192.168.1.1", true},
      {"169.254.169.254", true},
      {"100.64.0.1", true},
      {"100.128.0.1", false},
      {"0.0.0.0", true},
      {"8.8.8.8", false},
      {"::1", true},
      {"[::1]", true},
      {"::", true},
      {"fe80::1%eth0", true},
      {"fc00::1", true},
      {"fd12:3456::1", true},
      {"::ffff:127.0.0.1", true},
      {"::ffff:8.8.8.8", false},
      {"2001:db8::1", false},
      {"example.com", false},
      {"localhost", false},
      {"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(IsLocalAddress(c.text), c.local);
  }
}

// Sets the proxy variables for one test and clears them afterwards.
class ProxyEnvironment : public ::testing::Test {
 protected:
  static constexpr const char* kNames[] = {"http_proxy", "https_proxy", "HTTPS_PROXY",
                                           "all_proxy",  "ALL_PROXY",   "no_proxy",
                                           "NO_PROXY",   "HTTP_PROXY"};
  void SetUp() override {
    for (const char* name : kNames) {
      if (const char* value = std::getenv(name)) saved_.emplace_back(name, value);
      unsetenv(name);
    }
  }
  void TearDown() override {
    for (const char* name : kNames) unsetenv(name);
    for (const auto& [name, value] : saved_) setenv(name.c_str(), value.c_str(), 1);
  }
  std::vector<std::pair<std::string, std::string>> saved_;
};

TEST_F(ProxyEnvironment, ChoosesTheProxyAsLibcurlDoes) {
  EXPECT_EQ(ProxyFor("http", "example.com"), std::nullopt);
  setenv("HTTP_PROXY", "http://upper:1", 1);
  EXPECT_EQ(ProxyFor("http", "example.com"), std::nullopt);
  setenv("http_proxy", "http://p:1", 1);
  setenv("HTTPS_PROXY", "http://s:2", 1);
  EXPECT_EQ(ProxyFor("http", "example.com"), "http://p:1");
  EXPECT_EQ(ProxyFor("HTTPS", "example.com"), "http://s:2");
  setenv("https_proxy", "http://s:3", 1);
  EXPECT_EQ(ProxyFor("https", "example.com"), "http://s:3");
  unsetenv("http_proxy");
  setenv("all_proxy", "socks5://a:4", 1);
  EXPECT_EQ(ProxyFor("http", "example.com"), "socks5://a:4");

  setenv("no_proxy", " .internal, example.org ,127.0.0.1,::1", 1);
  const struct {
    std::string host;
    bool direct;
  } cases[] = {
      {"example.org", true}, {"docs.EXAMPLE.org", true}, {"notexample.org", false},
      {"internal", true},    {"a.internal", true},       {"127.0.0.1", true},
      {"[::1]", true},       {"127.0.0.2", false},       {"example.com", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.host);
    EXPECT_EQ(ProxyFor("http", c.host).has_value(), !c.direct);
  }
  setenv("no_proxy", "*", 1);
  EXPECT_EQ(ProxyFor("https", "example.com"), std::nullopt);
}

TEST(DownloadArgs, DownloadAndMaxSizeBelongToSearch) {
  const auto ok = ParseArgs({"search", "k", "--download", "out", "--max-size=4K"});
  ASSERT_TRUE(std::holds_alternative<Options>(ok));
  EXPECT_EQ(std::get<Options>(ok).download_dir, "out");
  EXPECT_EQ(std::get<Options>(ok).max_size, 4096u);
  const auto defaults = ParseArgs({"search", "k"});
  ASSERT_TRUE(std::holds_alternative<Options>(defaults));
  EXPECT_EQ(std::get<Options>(defaults).download_dir, std::nullopt);
  EXPECT_EQ(std::get<Options>(defaults).max_size, kDefaultMaxSize);

  const std::vector<std::vector<std::string_view>> refused = {
      {"search", "k", "--download"},      {"search", "k", "--download="},
      {"search", "k", "--max-size", "0"}, {"search", "k", "--max-size", "12X"},
      {"types", "--download", "out"},     {"counts", "--max-size", "1M"},
  };
  for (const auto& args : refused) {
    SCOPED_TRACE(std::string(args.back()));
    EXPECT_TRUE(std::holds_alternative<UsageError>(ParseArgs(args)));
  }
}

}  // namespace
}  // namespace docseek::cli
