// SPDX-License-Identifier: MIT
#include "format.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace docseek::cli {
namespace {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

Record Hit(std::string title, std::string link, std::string summary = "A summary") {
  return Record{std::move(title),   "pdf",          "120 KB", "2024-03-01",
                std::move(summary), std::move(link)};
}

TEST(GroupRecords, SplitsSixLineRecordsAndKeepsTheRest) {
  const struct {
    std::size_t lines;
    std::size_t complete;
    std::size_t trailing;
  } cases[] = {{0, 0, 0}, {5, 0, 5}, {6, 1, 0}, {7, 1, 1}, {12, 2, 0}, {17, 2, 5}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines);
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < c.lines; ++i) lines.push_back("l" + std::to_string(i));
    const Records r = GroupRecords(lines);
    ASSERT_EQ(r.complete.size(), c.complete);
    ASSERT_EQ(r.trailing.size(), c.trailing);
    if (c.complete > 0) {
      const Record& last = r.complete.back();
      const std::size_t base = (c.complete - 1) * 6;
      EXPECT_EQ(last.title, lines[base]);
      EXPECT_EQ(last.suffix, lines[base + 1]);
      EXPECT_EQ(last.size, lines[base + 2]);
      EXPECT_EQ(last.date, lines[base + 3]);
      EXPECT_EQ(last.summary, lines[base + 4]);
      EXPECT_EQ(last.link, lines[base + 5]);
    }
    if (c.trailing > 0) {
      EXPECT_EQ(r.trailing.front(), lines[c.complete * 6]);
    }
  }
}

TEST(JsonString, EscapesWhatJsonRequiresAndRepairsBadUtf8) {
  const struct {
    std::string_view in;
    std::string_view out;
  } cases[] = {
      {"", R"("")"},
      {"plain", R"("plain")"},
      {"say \"hi\"", R"("say \"hi\"")"},
      {"C:\\dir", R"("C:\\dir")"},
      {"a\nb\tc\rd", R"("a\u000ab\u0009c\u000dd")"},
      {std::string_view("\x00\x01\x1f", 3), R"("\u0000\u0001\u001f")"},
      {"\x7f", "\"\x7f\""},  // DEL is allowed raw in JSON
      {"/", R"("/")"},
      {"年度报告", "\"年度报告\""},
      {"😀", "\"😀\""},
      {"line\u2028sep\u2029", R"("line\u2028sep\u2029")"},
      // Invalid UTF-8: a stray continuation byte, a lone lead byte, a cut
      // sequence (one replacement for the whole cut part), an overlong form,
      // an encoded surrogate and a code point above U+10FFFF.
      {"a\x80z", "\"a\uFFFDz\""},
      {"a\xffz", "\"a\uFFFDz\""},
      {"a\xe5\xb9z", "\"a\uFFFDz\""},
      {"\xe5\xb9", "\"\uFFFD\""},
      {"\xc0\xaf", "\"\uFFFD\uFFFD\""},
      {"\xed\xa0\x80", "\"\uFFFD\uFFFD\uFFFD\""},
      {"\xf4\x90\x80\x80", "\"\uFFFD\uFFFD\uFFFD\uFFFD\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(JsonString(c.in), c.out);
  }
}

TEST(RenderRaw, IsOneArrayOfEveryLine) {
  EXPECT_EQ(RenderRaw({}), "[]\n");
  EXPECT_EQ(RenderRaw({"a", "b\"", ""}), "[\"a\",\"b\\\"\",\"\"]\n");
}

TEST(RenderJson, WritesOneObjectPerRecord) {
  EXPECT_EQ(RenderJson({}), "[]\n");
  const std::vector<Record> records{
      {"T1", "pdf", "1 KB", "2024-01-01", "S \"1\"", "http://127.0.0.1/1.pdf", "pdf", 0},
      {"T2", "doc", "", "", "", "http://127.0.0.1/2.doc", "年 \"d\"", 17},
  };
  EXPECT_EQ(RenderJson(records),
            "[\n"
            R"(  {"title":"T1","suffix":"pdf","size":"1 KB","date":"2024-01-01",)"
            R"("summary":"S \"1\"","link":"http://127.0.0.1/1.pdf","type":"pdf","rank":0},)"
            "\n"
            R"(  {"title":"T2","suffix":"doc","size":"","date":"","summary":"",)"
            R"("link":"http://127.0.0.1/2.doc","type":"年 \"d\"","rank":17})"
            "\n]\n");
}

TEST(RenderTsv, KeepsEveryRecordOnOneLine) {
  EXPECT_EQ(RenderTsv({}), "title\tsuffix\tsize\tdate\tsummary\tlink\ttype\trank\n");
  const std::vector<Record> records{
      {"a\tb", "pdf", "1\n2", "x\r\ny", "back\\slash \\t", "年", "p\tdf", 3},
      {"", "", "", "", "", ""},
  };
  EXPECT_EQ(RenderTsv(records),
            "title\tsuffix\tsize\tdate\tsummary\tlink\ttype\trank\n"
            "a\\tb\tpdf\t1\\n2\tx\\r\\ny\tback\\\\slash \\\\t\t年\tp\\tdf\t3\n"
            "\t\t\t\t\t\t\t0\n");
}

// RFC 4180: CRLF after every record, quotes only around fields that need them,
// quotes inside doubled, line breaks kept inside the quotes.
TEST(RenderCsv, QuotesWhatRfc4180Requires) {
  const std::string header = "title,suffix,size,date,summary,link,type,rank\r\n";
  EXPECT_EQ(RenderCsv({}), header);
  const struct {
    std::string field;
    std::string written;
  } cases[] = {
      {"plain text", "plain text"},
      {"", ""},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"\"", "\"\"\"\""},
      {"two\nlines", "\"two\nlines\""},
      {"cr\rhere", "\"cr\rhere\""},
      {"crlf\r\nend", "\"crlf\r\nend\""},
      {" spaced ", " spaced "},
      {"tab\there", "tab\there"},
      {"年度,报告", "\"年度,报告\""},
      {"bad \xff byte", "bad \xff byte"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    const std::vector<Record> records{
        {c.field, c.field, c.field, c.field, c.field, c.field, c.field, 4}};
    std::string row;
    for (int i = 0; i < 7; ++i) row += c.written + ",";
    EXPECT_EQ(RenderCsv(records), header + row + "4\r\n");
  }
  const std::vector<Record> two{{"a", "b", "c", "d", "e", "f", "pdf", 0},
                                {"g", "h", "i", "j", "k", "l", "doc", 1}};
  EXPECT_EQ(RenderCsv(two), header + "a,b,c,d,e,f,pdf,0\r\ng,h,i,j,k,l,doc,1\r\n");
}

TEST(OneLine, MakesTextSafeForOneTerminalLine) {
  const struct {
    std::string_view in;
    std::string_view out;
  } cases[] = {
      {"plain text", "plain text"},
      {"a\nb", "a b"},
      {"  a \r\n\t b  ", "a b"},
      {"\x1b[31mred", "[31mred"},
      {"bell\x07!", "bell !"},
      {"c1\xc2\x85z", "c1 z"},  // U+0085, a C1 control
      {"a\xffz", "a\uFFFDz"},
      {"a\u202eb\u2066c", "abc"},
      {"年度\u3000报告", "年度\u3000报告"},  // ideographic space is text
      {"", ""},
      {"\n\t ", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(OneLine(c.in), c.out);
  }
}

TEST(DisplayWidth, CountsColumnsNotBytes) {
  const struct {
    std::string_view text;
    int width;
  } cases[] = {
      {"", 0},          // nothing
      {"abc", 3},       // ASCII
      {"é", 1},         // two bytes, one column
      {"e\u0301", 1},   // combining acute accent
      {"报告", 4},      // CJK ideographs
      {"ひらがな", 8},  // hiragana
      {"한국", 4},      // hangul syllables
      {"ＡＢ", 4},      // fullwidth forms
      {"ｱｲ", 2},        // halfwidth katakana
      {"，。", 4},      // fullwidth and CJK punctuation
      {"😀", 2},         // emoji
      {"𠀀", 2},        // CJK extension B, four bytes
      {"a\u200bb", 2},  // zero-width space
      {"\xff\xfe", 2},  // each invalid byte shows as one replacement
      {"\u2026", 1},    // the ellipsis itself
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(DisplayWidth(c.text), c.width);
  }
}

TEST(Truncate, CutsByDisplayWidthAndMarksTheCut) {
  const struct {
    std::string_view text;
    int width;
    std::string_view out;
  } cases[] = {
      {"hello", 10, "hello"},
      {"hello", 5, "hello"},
      {"hello world", 5, "hell…"},
      {"hello", 1, "…"},
      {"hello", 0, ""},
      {"hello", -3, ""},
      {"报告报告", 8, "报告报告"},
      {"报告报告", 7, "报告报…"},
      {"报告报告", 6, "报告…"},  // the third ideograph would need columns 5-6
      {"报告报告", 5, "报告…"},
      {"报告报告", 2, "…"},
      {"ab报告", 4, "ab…"},
      {"éééééé", 3, "éé…"},
      {"e\u0301e\u0301e\u0301", 2, "e\u0301…"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " @" + std::to_string(c.width));
    const std::string out = Truncate(c.text, c.width);
    EXPECT_EQ(out, c.out);
    EXPECT_LE(DisplayWidth(out), std::max(c.width, 0));
  }
}

TEST(ChooseWidth, PrefersTheTerminalThenColumnsThenEighty) {
  const struct {
    std::optional<int> terminal;
    const char* columns;
    int width;
  } cases[] = {
      {120, "100", 120},
      {std::nullopt, "100", 100},
      {0, "100", 100},
      {std::nullopt, nullptr, 80},
      {std::nullopt, "", 80},
      {std::nullopt, "0", 80},
      {std::nullopt, "-5", 80},
      {std::nullopt, "90x", 80},
      {std::nullopt, "wide", 80},
      {std::nullopt, "99999999999", 80},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.columns != nullptr ? c.columns : "(unset)");
    EXPECT_EQ(ChooseWidth(c.terminal, c.columns), c.width);
  }
}

TEST(RenderTable, SaysSoWhenThereIsNothing) { EXPECT_EQ(RenderTable({}, 80), "No results.\n"); }

TEST(RenderTable, LaysOutColumnsWithTheSummaryBelow) {
  const std::vector<Record> records{
      Hit("Annual report", "http://127.0.0.1/a.pdf", "First summary"),
      Hit("年度报告", "http://127.0.0.1/b.pdf", ""),
  };
  EXPECT_EQ(RenderTable(records, 80),
            "TITLE          TYPE  SIZE    DATE        LINK\n"
            "Annual report  pdf   120 KB  2024-03-01  http://127.0.0.1/a.pdf\n"
            "    First summary\n"
            "年度报告       pdf   120 KB  2024-03-01  http://127.0.0.1/b.pdf\n"
            "2 results\n");
}

TEST(RenderTable, ShowsNewlinesAndControlsAsSpaces) {
  const std::vector<Record> records{
      {"two\nlines", "pdf", "1 KB", "2024", "sum\r\nmary\x1b", "http://127.0.0.1/x"}};
  EXPECT_EQ(RenderTable(records, 80),
            "TITLE      TYPE  SIZE  DATE  LINK\n"
            "two lines  pdf   1 KB  2024  http://127.0.0.1/x\n"
            "    sum mary\n"
            "1 result\n");
}

TEST(RenderTable, StacksEachHitWhenColumnsDoNotFit) {
  const std::vector<Record> records{
      Hit("Annual report 2024", "http://127.0.0.1/annual-report.pdf", "Figures of the year"),
      {"", "doc", "", "", "", "http://127.0.0.1/b"},
  };
  EXPECT_EQ(RenderTable(records, 30),
            "Annual report 2024\n"
            "  pdf  120 KB  2024-03-01\n"
            "  http://127.0.0.1/annual-report.pdf\n"
            "  Figures of the year\n"
            "\n"
            "(untitled)\n"
            "  doc\n"
            "  http://127.0.0.1/b\n"
            "2 results\n");
}

// Whatever the width, no line is wider than the terminal (down to the least
// width the table supports) but for a line holding a link alone, every link
// is there whole, every hit keeps a line and the count closes it.
TEST(RenderTable, FitsEveryWidthAndKeepsLinksWhole) {
  const std::vector<Record> records{
      Hit(std::string(200, 'x'), "http://127.0.0.1/" + std::string(200, 'y')),
      Hit("年度报告年度报告年度报告年度报告年度报告年度报告年度报告年度报告",
          "http://127.0.0.1/报告.pdf",
          "摘要摘要摘要摘要摘要摘要摘要摘要摘要摘要摘要摘要摘要摘要摘要"),
      {"t", "averylongsuffix", "123456789012345 bytes", "Monday, 1 January 2024", "s", "l"},
  };
  for (int width : {20, 21, 33, 40, 59, 63, 64, 80, 81, 100, 132, 200, 400}) {
    SCOPED_TRACE(width);
    const std::string table = RenderTable(records, width);
    const std::vector<std::string> lines = SplitLines(table);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "3 results");
    for (const Record& r : records) {
      EXPECT_NE(table.find(r.link), std::string::npos) << r.link;
    }
    for (const std::string& line : lines) {
      const bool link_alone =
          line.find_first_not_of(' ') != std::string::npos &&
          line.substr(line.find_first_not_of(' ')).starts_with("http://127.0.0.1/");
      if (!link_alone) {
        EXPECT_LE(DisplayWidth(line), width) << line;
      }
      EXPECT_EQ(line.find_last_not_of(' ') + 1, line.size()) << "trailing space: " << line;
    }
    int hits_seen = 0;
    for (const std::string& line : lines) {
      if (line.starts_with("xxx") || line.starts_with("年度") || line.starts_with("t ") ||
          line == "t") {
        ++hits_seen;
      }
    }
    EXPECT_EQ(hits_seen, 3);
  }
}

TEST(RenderTable, GivesALinkThatDoesNotFitALineOfItsOwn) {
  const std::vector<Record> records{
      Hit("Short", "http://127.0.0.1/a.pdf", "Sum"),
      Hit("Long", "http://127.0.0.1/a/very/long/path/to/the/annual/report-2024.pdf", "Sum"),
  };
  EXPECT_EQ(RenderTable(records, 64),
            "TITLE  TYPE  SIZE    DATE        LINK\n"
            "Short  pdf   120 KB  2024-03-01  http://127.0.0.1/a.pdf\n"
            "    Sum\n"
            "Long   pdf   120 KB  2024-03-01\n"
            "    http://127.0.0.1/a/very/long/path/to/the/annual/report-2024.pdf\n"
            "    Sum\n"
            "2 results\n");
}

// Written to a file or a pipe, the table cuts nothing, however long.
TEST(RenderTable, WithoutAWidthCutsNothing) {
  const std::string title(300, 'T');
  const std::string link = "http://127.0.0.1/" + std::string(300, 'l') + ".pdf";
  const std::string summary(500, 's');
  const std::vector<Record> records{
      Hit(title, link, summary),
      {"t", "averylongsuffix", "123456789012345 bytes", "Monday, 1 January 2024", "s", "l"},
  };
  const std::string table = RenderTable(records, std::nullopt);
  for (const std::string& whole :
       {title, link, summary, std::string("averylongsuffix"), std::string("123456789012345 bytes"),
        std::string("Monday, 1 January 2024")}) {
    EXPECT_NE(table.find(whole), std::string::npos) << whole;
  }
  EXPECT_EQ(table.find("…"), std::string::npos);
  EXPECT_TRUE(table.ends_with("\n2 results\n"));
}

TEST(RenderTable, TakesTooSmallAWidthAsTheLeastItSupports) {
  const std::vector<Record> records{Hit("A title that is long", "http://127.0.0.1/x")};
  EXPECT_EQ(RenderTable(records, 1), RenderTable(records, 20));
  EXPECT_EQ(RenderTable(records, -5), RenderTable(records, 20));
}

}  // namespace
}  // namespace docseek::cli
