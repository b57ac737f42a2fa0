#include "args.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace docseek::cli {
namespace {

const std::vector<std::string> kDefaultTypes{"pdf", "doc", "xls", "ppt", "rtf"};

struct Accepted {
  std::vector<std::string_view> args;
  Command command;
  std::string keyword = {};
  std::vector<std::string> types = kDefaultTypes;
  int count = 10;
  Format format = Format::kTable;
  std::optional<std::string> plugin = std::nullopt;
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
      // Both spellings of a value; the last of a repeated option counts.
      {{"search", "k", "--types", "pdf,doc"}, Command::kSearch, "k", {"pdf", "doc"}},
      {{"search", "k", "--types=xls"}, Command::kSearch, "k", {"xls"}},
      {{"search", "k", "--types=a,b", "--types=c"}, Command::kSearch, "k", {"c"}},
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
      {{"search", "k", "--format", "xml"}, "not one of table, json, tsv, raw"},
      {{"search", "k", "--format", "JSON"}, "not one of table, json, tsv, raw"},
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

TEST(UsageText, NamesCommandsOptionsAndDefaults) {
  const std::string text = UsageText();
  for (std::string_view part :
       {"types", "counts", "search KEYWORD", "--types", "default: pdf,doc,xls,ppt,rtf", "--count",
        "default: 10", "--format", "default: table", "--plugin", "--help", "--version",
        "http_proxy", "--no-window"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part;
  }
}

}  // namespace
}  // namespace docseek::cli
