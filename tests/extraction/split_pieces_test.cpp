// SPDX-License-Identifier: MIT
#include "extraction/split_pieces.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace docseek::extraction {
namespace {

using Pieces = std::vector<std::string>;

struct SplitCase {
  const char* name;
  std::string text;
  std::u32string separators;
  std::u32string blanks;
  Pieces expected;
};

// How the hit loop splits links (separator full stop, blanks space and number
// sign) and info lines (separator space, blanks space and hyphen).
const std::u32string kLinkSeparators = U".", kLinkBlanks = U" #";
const std::u32string kInfoSeparators = U" ", kInfoBlanks = U" -";

class SplitPiecesTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitPiecesTest, Splits) {
  const SplitCase& c = GetParam();
  EXPECT_EQ(SplitPieces(c.text, c.separators, c.blanks), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitPiecesTest,
    ::testing::Values(
        SplitCase{"InfoLine",
                  "site/a/b.pdf - 123k - 2010-5-3",
                  kInfoSeparators,
                  kInfoBlanks,
                  {"site/a/b.pdf", "123k", "2010-5-3"}},
        SplitCase{"InfoLineDecimalSize",
                  "site/x.doc - 1.2K - 2010-9-18",
                  kInfoSeparators,
                  kInfoBlanks,
                  {"site/x.doc", "1.2K", "2010-9-18"}},
        SplitCase{"LinkUpperCaseExtension",
                  "http://h/dir/file.PDF",
                  kLinkSeparators,
                  kLinkBlanks,
                  {"http://h/dir/file", "PDF"}},
        SplitCase{"LinkWithFragment",
                  "http://h/x.pdf#page=2",
                  kLinkSeparators,
                  kLinkBlanks,
                  {"http://h/x", "pdf#page=2"}},
        SplitCase{"LinkWithoutFullStop",
                  "  ##http://localhost/file",
                  kLinkSeparators,
                  kLinkBlanks,
                  {"http://localhost/file"}},
        SplitCase{"EmptyText", "", kInfoSeparators, kInfoBlanks, {}},
        SplitCase{"OnlyBlanksAndSeparators", " - -  ", kInfoSeparators, kInfoBlanks, {}},
        SplitCase{"RunsOfSeparatorsGiveNoEmptyPieces",
                  "a...b..",
                  kLinkSeparators,
                  kLinkBlanks,
                  {"a", "b"}},
        SplitCase{"BlanksKeptInsideAndAtTheEnd",
                  "a-b- c--",
                  kInfoSeparators,
                  kInfoBlanks,
                  {"a-b-", "c--"}},
        SplitCase{"DoubleQuotedStretchKeepsSpaces",
                  "x \"a b - c\" d",
                  kInfoSeparators,
                  kInfoBlanks,
                  {"x", "\"a b - c\"", "d"}},
        SplitCase{"ApostropheStretchKeepsLineBreaksAndTheOtherQuote",
                  "'a\n\"b' c",
                  kInfoSeparators,
                  kInfoBlanks,
                  {"'a\n\"b'", "c"}},
        SplitCase{"PieceGoesOnAfterClosingQuote",
                  "ab\"c d\"ef g",
                  kInfoSeparators,
                  kInfoBlanks,
                  {"ab\"c d\"ef", "g"}},
        SplitCase{
            "UnclosedQuoteRunsToTheEnd", "a \"b c", kInfoSeparators, kInfoBlanks, {"a", "\"b c"}},
        SplitCase{"LineBreaksAlwaysEndAPiece", "a\r\nb\rc\nd", U",", U"", {"a", "b", "c", "d"}},
        SplitCase{
            "LineBreaksSkippedBeforeAPiece", "\n\r\n  x", kInfoSeparators, kInfoBlanks, {"x"}},
        SplitCase{
            "NulEndsTheText", std::string("a b\0c d", 7), kInfoSeparators, kInfoBlanks, {"a", "b"}},
        SplitCase{
            "OnlyLatin1CodesSeparate", "a\u3000b\u00a0c", U"\u3000\u00a0", U"", {"a\u3000b", "c"}},
        SplitCase{"NonAsciiTextKept",
                  "年度 报告.pdf - 12K - 2011-1-2",
                  kInfoSeparators,
                  kInfoBlanks,
                  {"年度", "报告.pdf", "12K", "2011-1-2"}}),
    [](const ::testing::TestParamInfo<SplitCase>& info) { return info.param.name; });

struct RemoveCase {
  const char* name;
  std::string text;
  std::u32string characters;
  std::string expected;
};

class RemoveCharactersTest : public ::testing::TestWithParam<RemoveCase> {};

TEST_P(RemoveCharactersTest, Removes) {
  const RemoveCase& c = GetParam();
  EXPECT_EQ(RemoveCharacters(c.text, c.characters), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RemoveCharactersTest,
    ::testing::Values(
        RemoveCase{"TitleCharacters", "a:b/c.d?e", std::u32string(kTitleCharacters), "abcde"},
        RemoveCase{"OnlyTitleCharacters", "\\/:*?\"<>|.", std::u32string(kTitleCharacters), ""},
        RemoveCase{"ChineseTitleKept", "年度<报告>: 2010.", std::u32string(kTitleCharacters),
                   "年度报告 2010"},
        RemoveCase{"SizeLowerK", "123k", U"K", "123"},
        RemoveCase{"SizeUpperK", "1.2K", U"K", "1.2"},
        RemoveCase{"EveryOccurrence", "kKbkK", U"K", "b"},
        RemoveCase{"KelvinSignIsNotK", "5\u212a", U"K", "5\u212a"}),
    [](const ::testing::TestParamInfo<RemoveCase>& info) { return info.param.name; });

}  // namespace
}  // namespace docseek::extraction
