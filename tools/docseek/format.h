// SPDX-License-Identifier: MIT
// Turning the plug-in's result lines into what the user sees. Everything here
// is a pure function of its arguments so the output formats can be checked
// without loading a plug-in or owning a terminal.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace docseek::cli {

// The plug-in appends six lines per hit, in this order.
inline constexpr std::size_t kLinesPerRecord = 6;

struct Record {
  std::string title;
  std::string suffix;
  std::string size;
  std::string date;
  std::string summary;
  std::string link;
  // Not lines of the record: what the host knows about where it came from.
  std::string type = {};  // the document type searched
  std::size_t rank = 0;   // 0-based number of the hit on its page
};

struct Records {
  std::vector<Record> complete;
  // Lines after the last whole record. The plug-in never leaves any, but if
  // one ever did the host must say so rather than invent the missing fields.
  std::vector<std::string> trailing;
};

Records GroupRecords(const std::vector<std::string>& lines);

// A JSON string literal, quotes included. Control characters become \u00XX,
// U+2028/U+2029 are escaped for JavaScript consumers, other UTF-8 passes
// through and each invalid byte sequence becomes U+FFFD.
std::string JsonString(std::string_view text);

// One JSON array of every line as the plug-in appended it, then a newline.
std::string RenderRaw(const std::vector<std::string>& lines);
// A JSON array with one object per record, one object per line: the six
// fields, then type and rank. `extra_fields`, when given, holds for each
// record text that goes at the end of its object (",\"name\":value..."), such
// as what --download did with it.
std::string RenderJson(const std::vector<Record>& records,
                       const std::vector<std::string>& extra_fields = {});
// A header line and one line per record (the six fields, then type and rank);
// tab, newline, CR and backslash inside a field are written as \t \n \r \\ so
// that every record stays on one line.
std::string RenderTsv(const std::vector<Record>& records);
// RFC 4180: a header line, then one line per record with the columns of
// RenderTsv, every line ended by CRLF; a field holding a comma, a double
// quote, CR or LF is quoted, its quotes doubled. Bytes pass unchanged.
std::string RenderCsv(const std::vector<Record>& records);
// A table ending with a count line, or "No results." when there is nothing
// to show. With a `width` (the terminal's) it is fitted to that many display
// columns, except links: a link that does not fit its column goes on a line
// of its own, whole. Without one nothing is cut.
std::string RenderTable(const std::vector<Record>& records, std::optional<int> width);

// Text made safe to show on one terminal line: invalid UTF-8 becomes U+FFFD,
// control characters (newlines included) become spaces, runs of white space
// collapse to one and the ends are trimmed. Keeps escape sequences that a web
// page may carry away from the user's terminal.
std::string OneLine(std::string_view text);

// Columns that `text` takes on a terminal: East Asian wide and fullwidth
// characters count two, combining marks and zero-width characters none, an
// invalid byte one. Independent of the locale on purpose: the plug-in always
// speaks UTF-8 whatever the user's locale says.
int DisplayWidth(std::string_view text);

// `text` cut to at most `width` columns, ending in "…" when anything was cut.
// Never splits a UTF-8 sequence; a wide character that does not fit whole is
// left out.
std::string Truncate(std::string_view text, int width);

// Terminal width to lay the table out for: the terminal's own width when
// stdout is one, else $COLUMNS when it holds a positive number, else 80.
int ChooseWidth(std::optional<int> terminal_columns, const char* columns_env);

}  // namespace docseek::cli
