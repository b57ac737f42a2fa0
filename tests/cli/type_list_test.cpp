// SPDX-License-Identifier: MIT
// How one Getinfo call's records learn their type and rank: the type list
// the CLI hands in notes where pages end, and the labels follow from that.
#include "type_list.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <docseek/string_list.hpp>
#include <ostream>
#include <string>
#include <vector>

namespace docseek::cli {
namespace {

using Ends = std::vector<std::size_t>;
using Types = std::vector<std::string>;

struct Label {
  std::string type;
  std::size_t rank;
  bool operator==(const Label&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Label& label) {
  return out << "{" << label.type << "," << label.rank << "}";
}

std::vector<Label> Labels(std::size_t records, const Types& types, const Ends& ends,
                          bool* matched) {
  std::vector<Record> list(records);
  for (Record& r : list) r.type = "stale";  // every record is labelled anew
  *matched = LabelRecords(list, types, ends);
  std::vector<Label> out;
  for (const Record& r : list) out.push_back({r.type, r.rank});
  return out;
}

TEST(LabelRecords, FollowsOnePageEndPerType) {
  const struct {
    const char* name;
    std::size_t records;
    Types types;
    Ends ends;  // in lines, six per record
    std::vector<Label> labels;
  } cases[] = {
      {"one type", 2, {"pdf"}, {12}, {{"pdf", 0}, {"pdf", 1}}},
      {"three types",
       4,
       {"pdf", "doc", "xls"},
       {12, 18, 24},
       {{"pdf", 0}, {"pdf", 1}, {"doc", 0}, {"xls", 0}}},
      {"a type without hits, first, middle and last",
       2,
       {"none", "pdf", "empty", "doc", "nil"},
       {0, 6, 6, 12, 12},
       {{"pdf", 0}, {"doc", 0}}},
      {"nothing at all", 0, {"pdf", "doc"}, {0, 0}, {}},
      {"the same type twice", 2, {"pdf", "pdf"}, {6, 12}, {{"pdf", 0}, {"pdf", 0}}},
      // Lines of half a record after the last page end are not a record.
      {"trailing half record", 1, {"pdf"}, {6}, {{"pdf", 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bool matched = false;
    EXPECT_EQ(Labels(c.records, c.types, c.ends, &matched), c.labels);
    EXPECT_TRUE(matched);
  }
}

// When the ends cannot be matched to the types, no record gets a type it may
// not have come from; ranks count within the pages that were seen.
TEST(LabelRecords, LeavesTheTypeEmptyWhenThePagesDoNotMatch) {
  const struct {
    const char* name;
    std::size_t records;
    Types types;
    Ends ends;
    std::vector<Label> labels;
  } cases[] = {
      {"no page end at all", 3, {"pdf", "doc"}, {}, {{"", 0}, {"", 1}, {"", 2}}},
      {"one end short", 3, {"pdf", "doc"}, {12}, {{"", 0}, {"", 1}, {"", 0}}},
      {"one end too many", 2, {"pdf"}, {6, 12}, {{"", 0}, {"", 0}}},
      {"records after the last end", 3, {"pdf"}, {12}, {{"", 0}, {"", 1}, {"", 0}}},
      {"an end inside a record", 2, {"pdf", "doc"}, {3, 12}, {{"", 0}, {"", 0}}},
      {"ends out of order", 3, {"pdf", "doc"}, {12, 6}, {{"", 0}, {"", 0}, {"", 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bool matched = true;
    EXPECT_EQ(Labels(c.records, c.types, c.ends, &matched), c.labels);
    EXPECT_FALSE(matched);
  }
}

// The calls a plug-in makes, in the order the real one makes them.
TEST(TypeList, MarksTheResultsSizeAtEachCountAfterEveryLineWasRead) {
  StringList results;
  TypeList types({"pdf", "doc"}, results);
  const docseek_list* list = types.list();
  std::size_t length = 0;
  const auto line = [&](std::size_t index) {
    const char* text = list->line(list->context, index, &length);
    return text == nullptr ? std::string("(none)") : std::string(text, length);
  };

  // Setting up: counts before the lines are all read mark nothing.
  EXPECT_EQ(list->count(list->context), 2u);
  EXPECT_EQ(line(0), "pdf");
  EXPECT_EQ(list->count(list->context), 2u);
  EXPECT_EQ(line(1), "doc");
  EXPECT_TRUE(types.page_ends().empty());

  line(0);                          // moving on to the first type
  results.lines().assign(12, "x");  // its page: two hits
  list->count(list->context);
  line(1);
  results.lines().resize(18, "x");  // one hit
  list->count(list->context);
  EXPECT_EQ(types.page_ends(), (Ends{12, 18}));

  // Past the end there is no line, and the list takes none.
  EXPECT_EQ(line(2), "(none)");
  EXPECT_EQ(length, 0u);
  EXPECT_NE(list->append(list->context, "x", 1), 0);
  EXPECT_EQ(types.types(), (Types{"pdf", "doc"}));
}

}  // namespace
}  // namespace docseek::cli
