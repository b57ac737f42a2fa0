// SPDX-License-Identifier: MIT
#include "args.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace docseek::cli {
namespace {

struct Accepted {
  std::vector<std::string_view> args;
  Command command;
  std::string keyword = {};
  std::vector<std::string> types = kDefaultTypes;
  int count = 10;
  Format format = Format::kTable;
  std::optional<std::string> plugin = std::nullopt;
  bool quiet = false;
  std::optional<std::string> proxy = std::nullopt;
};

TEST(ParseArgs, AcceptsEveryForm) {
  const Accepted cases[] = {
      {{"types"}, Command::kTypes},
      {{"counts"}, Command::kCounts},
      {{"help"}, Command::kHelp},
      {{"search", "report"}, Command::kSearch, "report"},
      // Help and version win over anything else on the line.
      {{"--help"}, Command::kHelp},
      {{"-h"}, Command::kHelp},
      {{"search", "--help"}, Command::kHelp},
      {{"bogus", "--version"}, Command::kVersion},
      {{"--version", "--help"}, Command::kVersion},
      // Both spellings of a value; repeated types add up, other options the last counts.
      {{"search", "k", "--types", "pdf,doc"}, Command::kSearch, "k", {"pdf", "doc"}},
      {{"search", "k", "--types=xls"}, Command::kSearch, "k", {"xls"}},
      {{"search", "k", "--types=a,b", "--types=c"}, Command::kSearch, "k", {"a", "b", "c"}},
      {{"search", "k", "-t", "pdf", "-tdoc", "--types", "pdf"},
       Command::kSearch,
       "k",
       {"pdf", "doc", "pdf"}},
      {{"search", "k", "--count", "5", "-n", "7"}, Command::kSearch, "k", kDefaultTypes, 7},
      // Items lose the spaces around them, not those inside.
      {{"search", "k", "--types", " pdf , a b\t,doc "},
       Command::kSearch,
       "k",
       {"pdf", "a b", "doc"}},
      // Any text is a type: the plug-in decides what to do with it.
      {{"search", "k", "--types", "a b,sogou,=x"}, Command::kSearch, "k", {"a b", "sogou", "=x"}},
      {{"search", "k", "--count", "50"}, Command::kSearch, "k", kDefaultTypes, 50},
      {{"search", "k", "--count=0"}, Command::kSearch, "k", kDefaultTypes, 0},
      {{"search", "k", "--count", "-1"}, Command::kSearch, "k", kDefaultTypes, -1},
      {{"search", "k", "--count", "2147483647"}, Command::kSearch, "k", kDefaultTypes, INT_MAX},
      {{"search", "k", "--count=-2147483648"}, Command::kSearch, "k", kDefaultTypes, INT_MIN},
      {{"search", "k", "--format", "json"},
       Command::kSearch,
       "k",
       kDefaultTypes,
       10,
       Format::kJson},
      {{"search", "k", "--format=tsv"}, Command::kSearch, "k", kDefaultTypes, 10, Format::kTsv},
      {{"search", "k", "--format=raw"}, Command::kSearch, "k", kDefaultTypes, 10, Format::kRaw},
      {{"search", "k", "--format=table"}, Command::kSearch, "k", kDefaultTypes, 10, Format::kTable},
      {{"search", "k", "--format=csv"}, Command::kSearch, "k", kDefaultTypes, 10, Format::kCsv},
      // Format names in any letter case; --json is --format json.
      {{"search", "k", "--format", "JSON"},
       Command::kSearch,
       "k",
       kDefaultTypes,
       10,
       Format::kJson},
      {{"search", "k", "-f", "Csv"}, Command::kSearch, "k", kDefaultTypes, 10, Format::kCsv},
      {{"search", "k", "-fTSV"}, Command::kSearch, "k", kDefaultTypes, 10, Format::kTsv},
      {{"search", "k", "--json"}, Command::kSearch, "k", kDefaultTypes, 10, Format::kJson},
      {{"search", "k", "--json", "-f", "raw"},
       Command::kSearch,
       "k",
       kDefaultTypes,
       10,
       Format::kRaw},
      // Short options alone, with their value attached, and grouped as getopt allows.
      {{"search", "k", "-q"}, Command::kSearch, "k", kDefaultTypes, 10, Format::kTable, {}, true},
      {{"search", "k", "--quiet"},
       Command::kSearch,
       "k",
       kDefaultTypes,
       10,
       Format::kTable,
       {},
       true},
      {{"-qn5", "search", "k"}, Command::kSearch, "k", kDefaultTypes, 5, Format::kTable, {}, true},
      {{"search", "-qt", "xls", "k"}, Command::kSearch, "k", {"xls"}, 10, Format::kTable, {}, true},
      {{"search", "k", "-n-3"}, Command::kSearch, "k", kDefaultTypes, -3},
      {{"search", "-h"}, Command::kHelp},
      {{"search", "k", "-qh"}, Command::kHelp},
      // A proxy URL is kept as given; libcurl decides what its scheme means.
      {{"search", "k", "--proxy", "socks5h://127.0.0.1:1080"},
       Command::kSearch,
       "k",
       kDefaultTypes,
       10,
       Format::kTable,
       {},
       false,
       "socks5h://127.0.0.1:1080"},
      {{"search", "k", "--proxy=http://127.0.0.1:8080"},
       Command::kSearch,
       "k",
       kDefaultTypes,
       10,
       Format::kTable,
       {},
       false,
       "http://127.0.0.1:8080"},
      // Options may stand before the command as well as after it.
      {{"--count", "20", "--format", "raw", "search", "k"},
       Command::kSearch,
       "k",
       kDefaultTypes,
       20,
       Format::kRaw},
      {{"--plugin", "/x/libdocseek.so", "types"},
       Command::kTypes,
       "",
       kDefaultTypes,
       10,
       Format::kTable,
       "/x/libdocseek.so"},
      {{"counts", "--plugin=p.so"},
       Command::kCounts,
       "",
       kDefaultTypes,
       10,
       Format::kTable,
       "p.so"},
      // A keyword that looks like an option, after "--"; a lone "-" is a word.
      {{"search", "--", "-draft"}, Command::kSearch, "-draft"},
      {{"search", "--count", "1", "--", "--help"}, Command::kSearch, "--help", kDefaultTypes, 1},
      {{"search", "-"}, Command::kSearch, "-"},
      {{"search", "年度 报告"}, Command::kSearch, "年度 报告"},
  };
  for (const Accepted& c : cases) {
    std::string line;
    for (std::string_view a : c.args) line += std::string(a) + " ";
    SCOPED_TRACE(line);
    const auto parsed = ParseArgs(c.args);
    ASSERT_TRUE(std::holds_alternative<Options>(parsed)) << std::get<UsageError>(parsed).message;
    const Options& o = std::get<Options>(parsed);
    EXPECT_EQ(o.command, c.command);
    if (c.command != Command::kSearch) continue;
    EXPECT_EQ(o.keyword, c.keyword);
    EXPECT_EQ(o.types, c.types);
    EXPECT_EQ(o.count, c.count);
    EXPECT_EQ(o.format, c.format);
    EXPECT_EQ(o.plugin, c.plugin);
    EXPECT_EQ(o.quiet, c.quiet);
    EXPECT_EQ(o.proxy, c.proxy);
  }
}

TEST(ParseArgs, KeepsThePluginPathForEveryCommand) {
  for (std::string_view command : {"types", "counts"}) {
    const auto parsed = ParseArgs({command, "--plugin", "lib/x.so"});
    ASSERT_TRUE(std::holds_alternative<Options>(parsed));
    EXPECT_EQ(std::get<Options>(parsed).plugin, "lib/x.so");
  }
}

struct Refused {
  std::vector<std::string_view> args;
  std::string_view message_part;
};

TEST(ParseArgs, RefusesBadUsageWithAReason) {
  const Refused cases[] = {
      {{}, "no command"},
      {{"--plugin", "p.so"}, "no command"},
      {{"find", "k"}, "unknown command 'find'"},
      {{"search"}, "needs a KEYWORD"},
      {{"search", ""}, "KEYWORD is empty"},
      {{"search", "annual", "report"}, "got also 'report'"},
      {{"types", "extra"}, "takes no arguments"},
      {{"counts", "--count", "5"}, "'--count' only applies to 'search'"},
      {{"types", "--format=json"}, "'--format' only applies to 'search'"},
      {{"search", "k", "--bogus"}, "unknown option '--bogus'"},
      {{"search", "-draft"}, "unknown option '-draft'"},
      {{"search", "k", "-x"}, "unknown option '-x'"},
      {{"search", "k", "--help=yes"}, "'--help' takes no value"},
      {{"search", "k", "--count"}, "'--count' needs a value"},
      {{"search", "k", "--types"}, "'--types' needs a value"},
      {{"types", "--plugin"}, "'--plugin' needs a value"},
      {{"types", "--plugin="}, "--plugin needs a path"},
      {{"search", "k", "--types="}, "empty type"},
      {{"search", "k", "--types", ",pdf"}, "empty type"},
      {{"search", "k", "--types", "pdf,,doc"}, "empty type"},
      {{"search", "k", "--types", "pdf,"}, "empty type"},
      {{"search", "k", "--count", "ten"}, "not a whole number"},
      {{"search", "k", "--count="}, "not a whole number"},
      {{"search", "k", "--count", "1.5"}, "not a whole number"},
      {{"search", "k", "--count", " 5"}, "not a whole number"},
      {{"search", "k", "--count", "0x10"}, "not a whole number"},
      {{"search", "k", "--count", "2147483648"}, "out of range"},
      {{"search", "k", "--count", "-2147483649"}, "out of range"},
      {{"search", "k", "--count", "99999999999999999999"}, "out of range"},
      {{"search", "k", "--format", "xml"}, "not one of table, json, csv, tsv, raw"},
      {{"search", "k", "-f", "jsonl"}, "not one of table, json, csv, tsv, raw"},
      {{"search", "k", "--types", " , pdf"}, "empty type"},
      {{"search", "k", "-t", "pdf", "--types", "doc,"}, "empty type"},
      {{"search", "k", "-n"}, "'-n' (--count) needs a value"},
      {{"search", "k", "-n", "x"}, "not a whole number"},
      {{"search", "k", "-qx"}, "unknown option '-x' in '-qx'"},
      {{"search", "k", "--json=yes"}, "'--json' takes no value"},
      {{"search", "k", "--quiet=1"}, "'--quiet' takes no value"},
      {{"types", "-q"}, "'--quiet' only applies to 'search'"},
      {{"counts", "--json"}, "'--json' only applies to 'search'"},
      {{"search", "k", "--proxy="}, "--proxy needs a URL"},
      {{"search", "k", "--proxy", "http://a b"}, "spaces or control characters"},
      // After "--" every argument is a word; the hint says where options go.
      {{"search", "--", "k", "--count", "5"}, "'--count' follows '--'"},
      {{"search", "--", "-k", "-q"}, "'-q' follows '--', so it is not taken as an option"},
  };
  for (const Refused& c : cases) {
    std::string line;
    for (std::string_view a : c.args) line += "[" + std::string(a) + "] ";
    SCOPED_TRACE(line);
    const auto parsed = ParseArgs(c.args);
    ASSERT_TRUE(std::holds_alternative<UsageError>(parsed));
    EXPECT_NE(std::get<UsageError>(parsed).message.find(c.message_part), std::string::npos)
        << std::get<UsageError>(parsed).message;
  }
}

TEST(ParseArgs, NoWindowIsAFlagOfSearchOnly) {
  const struct {
    std::vector<std::string_view> args;
    bool no_window;
  } accepted[] = {
      {{"search", "k"}, false},
      {{"search", "k", "--no-window"}, true},
      {{"--no-window", "search", "k"}, true},
      {{"search", "--no-window", "--", "--no-window"}, true},
  };
  for (const auto& c : accepted) {
    const auto parsed = ParseArgs(c.args);
    ASSERT_TRUE(std::holds_alternative<Options>(parsed)) << std::get<UsageError>(parsed).message;
    EXPECT_EQ(std::get<Options>(parsed).no_window, c.no_window) << c.args.size();
  }
  const auto keyword = ParseArgs({"search", "--no-window", "--", "--no-window"});
  EXPECT_EQ(std::get<Options>(keyword).keyword, "--no-window");

  const Refused refused[] = {
      {{"types", "--no-window"}, "'--no-window' only applies to 'search'"},
      {{"search", "k", "--no-window=yes"}, "'--no-window' takes no value"},
  };
  for (const Refused& c : refused) {
    const auto parsed = ParseArgs(c.args);
    ASSERT_TRUE(std::holds_alternative<UsageError>(parsed));
    EXPECT_NE(std::get<UsageError>(parsed).message.find(c.message_part), std::string::npos)
        << std::get<UsageError>(parsed).message;
  }
}

TEST(ParseArgs, DownloadTakesAFolderAndMaxSizeASize) {
  const struct {
    std::vector<std::string_view> args;
    std::optional<std::string> dir;
    std::uint64_t max_size;
  } accepted[] = {
      {{"search", "k"}, std::nullopt, 100ull << 20},
      {{"search", "k", "--download", "out"}, "out", 100ull << 20},
      {{"--download=a b", "search", "k"}, "a b", 100ull << 20},
      {{"search", "k", "--download", "-x", "--max-size", "512K"}, "-x", 512ull << 10},
      {{"search", "k", "--max-size=2g"}, std::nullopt, 2ull << 30},
      {{"search", "k", "--max-size", "1", "--max-size", "3M"}, std::nullopt, 3ull << 20},
  };
  for (const auto& c : accepted) {
    const auto parsed = ParseArgs(c.args);
    ASSERT_TRUE(std::holds_alternative<Options>(parsed)) << std::get<UsageError>(parsed).message;
    EXPECT_EQ(std::get<Options>(parsed).download_dir, c.dir) << c.args.back();
    EXPECT_EQ(std::get<Options>(parsed).max_size, c.max_size) << c.args.back();
  }

  const Refused refused[] = {
      {{"search", "k", "--download"}, "'--download' needs a value"},
      {{"search", "k", "--download="}, "--download needs a folder"},
      {{"search", "k", "--max-size", "0"}, "is not a size in bytes"},
      {{"search", "k", "--max-size", "10T"}, "is not a size in bytes"},
      {{"search", "k", "--max-size=-1"}, "is not a size in bytes"},
      {{"types", "--download", "d"}, "'--download' only applies to 'search'"},
      {{"counts", "--max-size", "1M"}, "'--max-size' only applies to 'search'"},
  };
  for (const Refused& c : refused) {
    const auto parsed = ParseArgs(c.args);
    ASSERT_TRUE(std::holds_alternative<UsageError>(parsed));
    EXPECT_NE(std::get<UsageError>(parsed).message.find(c.message_part), std::string::npos)
        << std::get<UsageError>(parsed).message;
  }
}

TEST(UsageText, NamesCommandsOptionsAndDefaults) {
  const std::string text = UsageText();
  for (std::string_view part : {"types",
                                "counts",
                                "search KEYWORD",
                                "--types",
                                "default: pdf,doc,xls,ppt,rtf",
                                "--count",
                                "default: 10",
                                "--format",
                                "default: table",
                                "--plugin",
                                "--help",
                                "--version",
                                "http_proxy",
                                "--no-window",
                                "csv",
                                "stderr",
                                "limiting requests",
                                "no results",
                                "blocked",
                                "Exit status: 0",
                                "--download",
                                "--max-size",
                                "default: 100M"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part;
  }
}

TEST(UsageText, FitsEightyColumns) {
  const std::string text = UsageText();
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = text.substr(start, end - start);
    // ASCII and one-column marks only: count code points.
    const auto columns =
        std::count_if(line.begin(), line.end(), [](char c) { return (c & 0xC0) != 0x80; });
    EXPECT_LE(columns, 79) << line;
  }
}

// The table is the one place options are declared; help and completions follow it.
TEST(OptionTable, IsListedInHelpAndInEveryCompletion) {
  const std::string help = UsageText();
  std::set<char> shorts;
  std::set<std::string_view> longs;
  for (const OptionSpec& spec : OptionTable()) {
    SCOPED_TRACE(spec.long_name);
    EXPECT_TRUE(spec.long_name.starts_with("--"));
    EXPECT_TRUE(longs.insert(spec.long_name).second) << "declared twice";
    if (spec.short_name != 0) {
      EXPECT_TRUE(shorts.insert(spec.short_name).second) << "short name used twice";
      EXPECT_NE(help.find(std::string{'-', spec.short_name} + ", " + std::string(spec.long_name)),
                std::string::npos);
    }
    EXPECT_NE(help.find(std::string(spec.long_name) +
                        (spec.value_name.empty() ? "" : " " + std::string(spec.value_name))),
              std::string::npos);
    const std::string bare(spec.long_name.substr(2));
    for (const char* file : {"docseek.bash", "_docseek", "docseek.fish"}) {
      std::ifstream in(std::string(DOCSEEK_SOURCE_DIR "/tools/docseek/completions/") + file);
      const std::string text((std::istreambuf_iterator<char>(in)), {});
      ASSERT_FALSE(text.empty()) << file;
      // fish spells long options without dashes ("-l types"), the others with.
      const std::string expected =
          std::string_view(file) == "docseek.fish" ? "-l " + bare : std::string(spec.long_name);
      EXPECT_NE(text.find(expected), std::string::npos) << file;
    }
  }
  EXPECT_EQ(shorts, (std::set<char>{'t', 'n', 'f', 'q', 'h'}));
}

}  // namespace
}  // namespace docseek::cli
