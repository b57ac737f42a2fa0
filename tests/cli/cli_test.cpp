// SPDX-License-Identifier: MIT
// The docseek program run as a user runs it, against the stand-in plug-in of
// fake_plugin.cpp: what it prints, where, and how it exits.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "run_program.h"
#include "test_paths.h"

namespace docseek::cli {
namespace {

using testing::kFakePlugin;
using testing::kIncompletePlugin;
using testing::kNotALibrary;
using testing::kProgram;
using testing::Outcome;
using testing::RunOptions;
using testing::RunProgram;

// The program with the stand-in plug-in.
Outcome Docseek(std::vector<std::string> args, const std::string& columns = "") {
  args.insert(args.begin(), {"--plugin", kFakePlugin});
  RunOptions options;
  if (!columns.empty()) options.env.push_back("COLUMNS=" + columns);
  return RunProgram(kProgram, args, options);
}

// The raw lines, as JSON strings, of the echo record of one call.
std::string EchoLines(std::string_view keyword, long long count,
                      const std::vector<std::string>& types) {
  std::string joined;
  for (const std::string& type : types) joined += (joined.empty() ? "" : ",") + type;
  return "\"keyword=" + std::string(keyword) + "\",\"count=" + std::to_string(count) +
         "\",\"types=" + std::to_string(types.size()) + "\",\"reserved=\",\"" + joined +
         "\",\"echo\"";
}

// The same, opening a raw array.
std::string Echo(std::string_view keyword, long long count, std::string_view type) {
  return "[" + EchoLines(keyword, count, {std::string(type)});
}

TEST(Cli, PrintsTheOfferedTypesAndCounts) {
  const struct {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{"--plugin", kFakePlugin, "types"}, "pdf\ndoc\nxls\nppt\nrtf\nsogou\n"},
      {{"types", "--plugin", kFakePlugin}, "pdf\ndoc\nxls\nppt\nrtf\nsogou\n"},
      {{"counts", "--plugin=" + kFakePlugin}, "10\n20\n30\n50\n100\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    const Outcome o = RunProgram(kProgram, c.args);
    EXPECT_EQ(o.exit_code, 0) << o.err;
    EXPECT_EQ(o.out, c.out);
    EXPECT_EQ(o.err, "");
  }
}

// One call of Getinfo for the whole search, with every type in the order
// given, the keyword and the count.
TEST(Cli, PassesTheSearchArgumentsThroughInOneCall) {
  const struct {
    std::vector<std::string> args;
    std::string keyword;
    long long count;
    std::vector<std::string> types;
  } cases[] = {
      {{"search", "report"}, "report", 10, {"pdf", "doc", "xls", "ppt", "rtf"}},
      {{"search", "report", "--types", "pdf,doc", "--count", "3"}, "report", 3, {"pdf", "doc"}},
      {{"search", "--types=sogou", "--count=-7", "report"}, "report", -7, {"sogou"}},
      {{"--count", "2147483647", "search", "x", "-t", "pdf"}, "x", 2147483647, {"pdf"}},
      {{"search", "x", "-n", "-2147483648", "-t", "pdf"}, "x", -2147483648, {"pdf"}},
      {{"search", "-t", "pdf", "--", "-draft"}, "-draft", 10, {"pdf"}},
      {{"search", "年度报告 2024", "--types", "a b, x", "-t", "pdf"},
       "年度报告 2024",
       10,
       {"a b", "x", "pdf"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.keyword + " " + std::to_string(c.count));
    // In front, as a keyword after "--" takes all that follows.
    std::vector<std::string> args{"--format", "raw"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Outcome o = Docseek(args);
    EXPECT_EQ(o.exit_code, 0) << o.err;
    EXPECT_TRUE(o.out.starts_with("[" + EchoLines(c.keyword, c.count, c.types))) << o.out;
    // Exactly one echo record: one call.
    EXPECT_EQ(o.out.find("\"echo\"", o.out.find("\"echo\"") + 1), std::string::npos) << o.out;
  }
}

TEST(Cli, ReadsNothingMoreWhenTheCountIsNotPositive) {
  const Outcome o = Docseek({"search", "k", "--count", "0", "--format", "raw", "-t", "pdf,doc"});
  EXPECT_EQ(o.exit_code, 0);
  EXPECT_EQ(o.out, "[" + EchoLines("k", 0, {"pdf", "doc"}) + "]\n");
}

// Every record of the one call gets the type whose page it was on and its
// number on that page; a type without hits takes no rank from the next.
TEST(Cli, LabelsEachRecordWithItsTypeAndRank) {
  const Outcome o = Docseek({"search", "q", "-t", "pdf,none,doc", "-n", "2", "-f", "csv"});
  EXPECT_EQ(o.exit_code, 0);
  EXPECT_EQ(o.err, "");
  std::vector<std::string> tails;
  for (std::size_t start = o.out.find("\r\n") + 2, end;
       (end = o.out.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string line = o.out.substr(start, end - start);
    const std::size_t type = line.rfind(',', line.rfind(',') - 1);
    tails.push_back(line.substr(0, line.find(',')) + " " + line.substr(type + 1));
  }
  EXPECT_EQ(tails, (std::vector<std::string>{"keyword=q pdf,0", "q pdf 1 pdf,1", "q pdf 2 pdf,2",
                                             "q doc 1 doc,0", "q doc 2 doc,1"}))
      << o.out;
}

// A plug-in that never shows where a page ends: no record is given a type it
// may not have come from, and stderr says why the types are missing.
TEST(Cli, LeavesTheTypeEmptyWhenThePagesCannotBeTold) {
  const Outcome json = Docseek({"search", "mode:unmarked", "-t", "pdf,doc", "-n", "1", "--json"});
  EXPECT_EQ(json.exit_code, 0);
  EXPECT_NE(json.out.find(R"("link":"http://127.0.0.1/pdf/1.pdf","type":"","rank":1})"),
            std::string::npos)
      << json.out;
  EXPECT_NE(json.out.find(R"("link":"http://127.0.0.1/doc/1.doc","type":"","rank":2})"),
            std::string::npos)
      << json.out;
  EXPECT_NE(json.err.find("warning: the plug-in did not show where each type's hits end"),
            std::string::npos)
      << json.err;
  // The table shows no type, -q wants no warnings.
  for (const std::vector<std::string>& extra :
       {std::vector<std::string>{}, std::vector<std::string>{"-q", "--json"}}) {
    std::vector<std::string> args{"search", "mode:unmarked", "-t", "pdf,doc"};
    args.insert(args.end(), extra.begin(), extra.end());
    const Outcome o = Docseek(args);
    EXPECT_EQ(o.exit_code, 0);
    EXPECT_EQ(o.err, "");
  }
}

// The same search in every format: one type, two hits after the echo record.
TEST(Cli, WritesEachFormat) {
  const struct {
    std::string format;
    std::string out;
  } cases[] = {
      {"raw", Echo("q", 2, "pdf") +
                  ",\"q pdf 1\",\"pdf\",\"10 KB\",\"2024-01-01\",\"Summary of pdf hit 1\","
                  "\"http://127.0.0.1/pdf/1.pdf\",\"q pdf 2\",\"pdf\",\"20 KB\",\"2024-01-02\","
                  "\"Summary of pdf hit 2\",\"http://127.0.0.1/pdf/2.pdf\"]\n"},
      {"json",
       "[\n"
       R"(  {"title":"keyword=q","suffix":"count=2","size":"types=1","date":"reserved=",)"
       R"("summary":"pdf","link":"echo","type":"pdf","rank":0},)"
       "\n"
       R"(  {"title":"q pdf 1","suffix":"pdf","size":"10 KB","date":"2024-01-01",)"
       R"("summary":"Summary of pdf hit 1","link":"http://127.0.0.1/pdf/1.pdf",)"
       R"("type":"pdf","rank":1},)"
       "\n"
       R"(  {"title":"q pdf 2","suffix":"pdf","size":"20 KB","date":"2024-01-02",)"
       R"("summary":"Summary of pdf hit 2","link":"http://127.0.0.1/pdf/2.pdf",)"
       R"("type":"pdf","rank":2})"
       "\n]\n"},
      {"tsv",
       "title\tsuffix\tsize\tdate\tsummary\tlink\ttype\trank\n"
       "keyword=q\tcount=2\ttypes=1\treserved=\tpdf\techo\tpdf\t0\n"
       "q pdf 1\tpdf\t10 KB\t2024-01-01\tSummary of pdf hit 1\thttp://127.0.0.1/pdf/1.pdf\tpdf\t1\n"
       "q pdf 2\tpdf\t20 KB\t2024-01-02\tSummary of pdf hit "
       "2\thttp://127.0.0.1/pdf/2.pdf\tpdf\t2\n"},
      {"CSV",
       "title,suffix,size,date,summary,link,type,rank\r\n"
       "keyword=q,count=2,types=1,reserved=,pdf,echo,pdf,0\r\n"
       "q pdf 1,pdf,10 KB,2024-01-01,Summary of pdf hit 1,http://127.0.0.1/pdf/1.pdf,pdf,1\r\n"
       "q pdf 2,pdf,20 KB,2024-01-02,Summary of pdf hit 2,http://127.0.0.1/pdf/2.pdf,pdf,2\r\n"},
      // Not a terminal: nothing is cut.
      {"table",
       "TITLE      TYPE     SIZE     DATE        LINK\n"
       "keyword=q  count=2  types=1  reserved=   echo\n"
       "    pdf\n"
       "q pdf 1    pdf      10 KB    2024-01-01  http://127.0.0.1/pdf/1.pdf\n"
       "    Summary of pdf hit 1\n"
       "q pdf 2    pdf      20 KB    2024-01-02  http://127.0.0.1/pdf/2.pdf\n"
       "    Summary of pdf hit 2\n"
       "3 results\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    const Outcome o =
        Docseek({"search", "q", "--types", "pdf", "--count", "2", "--format", c.format});
    EXPECT_EQ(o.exit_code, 0) << o.err;
    EXPECT_EQ(o.out, c.out);
    EXPECT_EQ(o.err, "");
  }
}

TEST(Cli, EscapesAwkwardFieldsEndToEnd) {
  const Outcome json = Docseek({"search", "mode:tricky", "--types", "pdf", "--format", "json"});
  EXPECT_EQ(json.exit_code, 0);
  EXPECT_NE(json.out.find(R"({"title":"Say \"hi\"\\now","suffix":"p\u0009d\u0009f",)"
                          R"("size":"1\u000a2","date":"\u0001)"
                          "\x7f"
                          R"(","summary":"bad )"
                          "\uFFFD"
                          R"( byte","link":"http://127.0.0.1/年度.pdf","type":"pdf","rank":1})"),
            std::string::npos)
      << json.out;

  const Outcome tsv = Docseek({"search", "mode:tricky", "--types", "pdf", "--format", "tsv"});
  EXPECT_NE(tsv.out.find("Say \"hi\"\\\\now\tp\\td\\tf\t1\\n2\t\x01\x7f\tbad \xff byte\t"),
            std::string::npos)
      << tsv.out;
}

// A pipe is no terminal: whatever COLUMNS says, nothing is cut.
TEST(Cli, TableToAPipeCutsNothing) {
  const std::string keyword(300, 'w');
  for (const std::string columns : {"40", "200", ""}) {
    SCOPED_TRACE(columns);
    const Outcome o = Docseek({"search", keyword, "--types", "pdf"}, columns);
    EXPECT_EQ(o.exit_code, 0);
    EXPECT_NE(o.out.find("keyword=" + keyword), std::string::npos) << o.out;
    EXPECT_EQ(o.out.find("…"), std::string::npos) << o.out;
  }
}

TEST(Cli, SaysSoWhenThereAreNoResults) {
  const struct {
    std::string format;
    std::string out;
  } cases[] = {
      {"table", "No results.\n"},
      {"json", "[]\n"},
      {"tsv", "title\tsuffix\tsize\tdate\tsummary\tlink\ttype\trank\n"},
      {"csv", "title,suffix,size,date,summary,link,type,rank\r\n"},
      {"raw", "[]\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    const Outcome o = Docseek({"search", "mode:empty", "--format", c.format});
    EXPECT_EQ(o.exit_code, 0);
    EXPECT_EQ(o.out, c.out);
    EXPECT_EQ(o.err, "");
  }
}

TEST(Cli, WarnsAboutAnIncompleteLastRecord) {
  const std::vector<std::string> search{"search", "mode:partial", "--types", "pdf", "--count", "1"};
  for (const std::string format : {"table", "json", "tsv"}) {
    SCOPED_TRACE(format);
    std::vector<std::string> args = search;
    args.insert(args.end(), {"--format", format});
    const Outcome o = Docseek(args);
    EXPECT_EQ(o.exit_code, 0);
    EXPECT_EQ(o.out.find("orphan"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("mode:partial pdf 1"), std::string::npos) << o.out;
    EXPECT_NE(o.err.find("warning"), std::string::npos);
    EXPECT_NE(o.err.find("2 line(s)"), std::string::npos) << o.err;
  }
  std::vector<std::string> args = search;
  args.insert(args.end(), {"--format", "raw"});
  const Outcome raw = Docseek(args);
  EXPECT_EQ(raw.exit_code, 0);
  EXPECT_TRUE(raw.out.ends_with(",\"orphan title\",\"orphan suffix\"]\n")) << raw.out;
  EXPECT_EQ(raw.err, "");
}

TEST(Cli, RefusesBadUsageWithExitTwo) {
  const std::vector<std::vector<std::string>> cases{
      {},
      {"find", "k"},
      {"search"},
      {"search", "a", "b"},
      {"search", "k", "--count", "ten"},
      {"search", "k", "--count", "2147483648"},
      {"search", "k", "--format", "xml"},
      {"search", "k", "--types", "pdf,,doc"},
      {"search", "-k"},
      {"types", "--count", "5"},
      {"counts", "--verbose"},
      {"search", "k", "--count"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const Outcome o = Docseek(args);
    EXPECT_EQ(o.exit_code, 2);
    EXPECT_EQ(o.out, "");
    EXPECT_TRUE(o.err.starts_with("docseek: ")) << o.err;
    EXPECT_TRUE(o.err.ends_with("\nTry 'docseek --help'.\n")) << o.err;
  }
}

TEST(Cli, FailsWithExitOneWhenThePluginCannotBeUsed) {
  const struct {
    std::string plugin;
    std::string reason;
  } cases[] = {
      {DOCSEEK_BINARY_DIR "/no/such/libdocseek.so", "cannot load"},
      {kNotALibrary, "cannot load"},
      {kIncompletePlugin, "does not export Getinfo"},
  };
  for (const auto& c : cases) {
    for (const std::vector<std::string>& command :
         std::vector<std::vector<std::string>>{{"types"}, {"counts"}, {"search", "k"}}) {
      SCOPED_TRACE(c.plugin + " " + command.front());
      std::vector<std::string> args{"--plugin", c.plugin};
      args.insert(args.end(), command.begin(), command.end());
      const Outcome o = RunProgram(kProgram, args);
      EXPECT_EQ(o.exit_code, 1);
      EXPECT_EQ(o.out, "");
      EXPECT_NE(o.err.find(c.plugin), std::string::npos) << o.err;
      EXPECT_NE(o.err.find(c.reason), std::string::npos) << o.err;
    }
  }
}

TEST(Cli, HelpAndVersionNeedNoPlugin) {
  const std::string missing = DOCSEEK_BINARY_DIR "/no/such/libdocseek.so";
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--help"}, {"-h"}, {"help"}, {"search", "--help"}, {"--plugin", missing, "--help"}}) {
    SCOPED_TRACE(args.back());
    const Outcome o = RunProgram(kProgram, args);
    EXPECT_EQ(o.exit_code, 0);
    EXPECT_TRUE(o.out.starts_with("Usage: docseek")) << o.out;
    EXPECT_NE(o.out.find("http_proxy"), std::string::npos);
    EXPECT_EQ(o.err, "");
  }
  const Outcome version = RunProgram(kProgram, {"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out, "docseek " DOCSEEK_VERSION "\n");
}

// A copy of the program in a fresh tree finds the plug-in in ../lib by itself.
class InstalledLayout : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "docseek-cli-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    std::filesystem::create_directories(root_ / "bin");
    std::filesystem::copy_file(kProgram, root_ / "bin" / "docseek");
  }
  void TearDown() override {
    if (!root_.empty()) std::filesystem::remove_all(root_);
  }
  std::filesystem::path root_;
};

TEST_F(InstalledLayout, LoadsThePluginBesideTheProgram) {
  const std::string program = (root_ / "bin" / "docseek").string();
  const Outcome none = RunProgram(program, {"types"});
  EXPECT_EQ(none.exit_code, 1);
  EXPECT_NE(none.err.find((root_ / "lib" / "libdocseek.so").string()), std::string::npos)
      << none.err;

  std::filesystem::create_directories(root_ / "lib");
  std::filesystem::copy_file(kFakePlugin, root_ / "lib" / "libdocseek.so");
  const Outcome found = RunProgram(program, {"counts"});
  EXPECT_EQ(found.exit_code, 0) << found.err;
  EXPECT_EQ(found.out, "10\n20\n30\n50\n100\n");
}

}  // namespace
}  // namespace docseek::cli
