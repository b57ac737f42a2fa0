// SPDX-License-Identifier: MIT
#include "format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <iterator>
#include <limits>
#include <system_error>
#include <utility>

namespace docseek::cli {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr std::string_view kEllipsis = "\u2026";

struct Decoded {
  char32_t code_point;
  std::size_t length;  // bytes consumed, at least 1
  bool valid;
};

// Decodes the UTF-8 sequence at `at`. A bad sequence consumes its longest
// prefix that could still have been valid, so that it is replaced by one
// U+FFFD as Unicode recommends, and the next byte starts afresh.
Decoded DecodeAt(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) return {lead, 1, true};

  int continuation = 0;
  char32_t code_point = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    continuation = 1;
    code_point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    continuation = 2;
    code_point = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    continuation = 3;
    code_point = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return {kReplacement, 1, false};
  }

  std::size_t length = 1;
  for (int i = 0; i < continuation; ++i) {
    if (at + length >= text.size()) return {kReplacement, length, false};
    const auto byte = static_cast<unsigned char>(text[at + length]);
    if (byte < low || byte > high) return {kReplacement, length, false};
    code_point = (code_point << 6) | (byte & 0x3F);
    ++length;
    low = 0x80;
    high = 0xBF;
  }
  return {code_point, length, true};
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

struct Range {
  char32_t first;
  char32_t last;
};

// Characters that take no column of their own: combining marks that draw over
// the previous character, zero-width spaces and joiners, variation selectors.
constexpr std::array kZeroWidth{
    Range{0x0300, 0x036F},   Range{0x0483, 0x0489}, Range{0x0591, 0x05BD}, Range{0x0610, 0x061A},
    Range{0x064B, 0x065F},   Range{0x1160, 0x11FF}, Range{0x1AB0, 0x1AFF}, Range{0x1DC0, 0x1DFF},
    Range{0x200B, 0x200F},   Range{0x2060, 0x2064}, Range{0x20D0, 0x20FF}, Range{0x302A, 0x302D},
    Range{0x3099, 0x309A},   Range{0xFE00, 0xFE0F}, Range{0xFE20, 0xFE2F}, Range{0xFEFF, 0xFEFF},
    Range{0xE0100, 0xE01EF},
};

// East Asian Wide and Fullwidth blocks, plus the emoji blocks that terminals
// draw two columns wide. Coarser than the Unicode tables but right for the
// scripts result pages carry: Chinese, Japanese, Korean and fullwidth forms.
constexpr std::array kWide{
    Range{0x1100, 0x115F},   Range{0x231A, 0x231B},   Range{0x2329, 0x232A},
    Range{0x23E9, 0x23EC},   Range{0x23F0, 0x23F0},   Range{0x23F3, 0x23F3},
    Range{0x25FD, 0x25FE},   Range{0x2614, 0x2615},   Range{0x2648, 0x2653},
    Range{0x267F, 0x267F},   Range{0x2693, 0x2693},   Range{0x26A1, 0x26A1},
    Range{0x26AA, 0x26AB},   Range{0x26BD, 0x26BE},   Range{0x26C4, 0x26C5},
    Range{0x26CE, 0x26CE},   Range{0x26D4, 0x26D4},   Range{0x26EA, 0x26EA},
    Range{0x26F2, 0x26F3},   Range{0x26F5, 0x26F5},   Range{0x26FA, 0x26FA},
    Range{0x26FD, 0x26FD},   Range{0x2705, 0x2705},   Range{0x270A, 0x270B},
    Range{0x2728, 0x2728},   Range{0x274C, 0x274C},   Range{0x274E, 0x274E},
    Range{0x2753, 0x2755},   Range{0x2757, 0x2757},   Range{0x2795, 0x2797},
    Range{0x27B0, 0x27B0},   Range{0x27BF, 0x27BF},   Range{0x2B1B, 0x2B1C},
    Range{0x2B50, 0x2B50},   Range{0x2B55, 0x2B55},   Range{0x2E80, 0x303E},
    Range{0x3041, 0x33FF},   Range{0x3400, 0x4DBF},   Range{0x4E00, 0x9FFF},
    Range{0xA000, 0xA4CF},   Range{0xA960, 0xA97F},   Range{0xAC00, 0xD7A3},
    Range{0xF900, 0xFAFF},   Range{0xFE10, 0xFE19},   Range{0xFE30, 0xFE6F},
    Range{0xFF00, 0xFF60},   Range{0xFFE0, 0xFFE6},   Range{0x16FE0, 0x16FE4},
    Range{0x17000, 0x18AFF}, Range{0x1B000, 0x1B2FF}, Range{0x1F004, 0x1F004},
    Range{0x1F0CF, 0x1F0CF}, Range{0x1F18E, 0x1F18E}, Range{0x1F191, 0x1F19A},
    Range{0x1F200, 0x1F251}, Range{0x1F300, 0x1F64F}, Range{0x1F680, 0x1F6FF},
    Range{0x1F900, 0x1F9FF}, Range{0x1FA70, 0x1FAFF}, Range{0x20000, 0x2FFFD},
    Range{0x30000, 0x3FFFD},
};

template <std::size_t N>
bool InRanges(const std::array<Range, N>& ranges, char32_t cp) {
  const auto it = std::upper_bound(ranges.begin(), ranges.end(), cp,
                                   [](char32_t value, const Range& r) { return value < r.first; });
  return it != ranges.begin() && cp <= std::prev(it)->last;
}

bool IsControl(char32_t cp) { return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F); }

// Explicit bidirectional embeddings and isolates: shown raw they can make a
// line read differently from what it holds.
bool IsBidiControl(char32_t cp) {
  return (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

int CodePointWidth(char32_t cp) {
  if (IsControl(cp)) return 0;
  if (InRanges(kZeroWidth, cp)) return 0;
  if (InRanges(kWide, cp)) return 2;
  return 1;
}

void AppendCount(std::string& out, std::size_t n) {
  out += std::to_string(n);
  out += n == 1 ? " result\n" : " results\n";
}

// `text` followed by spaces up to `width` columns.
void AppendPadded(std::string& out, std::string_view text, int width) {
  out += text;
  out.append(static_cast<std::size_t>(std::max(0, width - DisplayWidth(text))), ' ');
}

void TrimTrailingSpaces(std::string& line) {
  while (!line.empty() && line.back() == ' ') line.pop_back();
}

}  // namespace

Records GroupRecords(const std::vector<std::string>& lines) {
  Records out;
  const std::size_t whole = lines.size() / kLinesPerRecord;
  out.complete.reserve(whole);
  for (std::size_t r = 0; r < whole; ++r) {
    const auto* l = &lines[r * kLinesPerRecord];
    out.complete.push_back(Record{l[0], l[1], l[2], l[3], l[4], l[5]});
  }
  out.trailing.assign(lines.begin() + static_cast<std::ptrdiff_t>(whole * kLinesPerRecord),
                      lines.end());
  return out;
}

std::string JsonString(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  for (std::size_t i = 0; i < text.size();) {
    const Decoded d = DecodeAt(text, i);
    const char32_t cp = d.code_point;
    if (!d.valid) {
      AppendUtf8(out, kReplacement);
    } else if (cp == '"') {
      out += "\\\"";
    } else if (cp == '\\') {
      out += "\\\\";
    } else if (cp < 0x20 || cp == 0x2028 || cp == 0x2029) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(cp));
      out += buffer;
    } else {
      out.append(text.substr(i, d.length));
    }
    i += d.length;
  }
  out += '"';
  return out;
}

std::string RenderRaw(const std::vector<std::string>& lines) {
  std::string out = "[";
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) out += ',';
    out += JsonString(lines[i]);
  }
  out += "]\n";
  return out;
}

std::string RenderJson(const std::vector<Record>& records,
                       const std::vector<std::string>& extra_fields) {
  if (records.empty()) return "[]\n";
  std::string out = "[\n";
  for (std::size_t i = 0; i < records.size(); ++i) {
    const Record& r = records[i];
    out += "  {\"title\":" + JsonString(r.title) + ",\"suffix\":" + JsonString(r.suffix) +
           ",\"size\":" + JsonString(r.size) + ",\"date\":" + JsonString(r.date) +
           ",\"summary\":" + JsonString(r.summary) + ",\"link\":" + JsonString(r.link) +
           ",\"type\":" + JsonString(r.type) + ",\"rank\":" + std::to_string(r.rank);
    if (i < extra_fields.size()) out += extra_fields[i];
    out += "}";
    out += i + 1 < records.size() ? ",\n" : "\n";
  }
  out += "]\n";
  return out;
}

std::string RenderTsv(const std::vector<Record>& records) {
  const auto field = [](std::string& out, std::string_view text) {
    for (char c : text) {
      switch (c) {
        case '\t':
          out += "\\t";
          break;
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\\':
          out += "\\\\";
          break;
        default:
          out += c;
      }
    }
  };
  std::string out = "title\tsuffix\tsize\tdate\tsummary\tlink\ttype\trank\n";
  for (const Record& r : records) {
    for (const std::string* f :
         {&r.title, &r.suffix, &r.size, &r.date, &r.summary, &r.link, &r.type}) {
      field(out, *f);
      out += '\t';
    }
    out += std::to_string(r.rank);
    out += '\n';
  }
  return out;
}

std::string RenderCsv(const std::vector<Record>& records) {
  const auto field = [](std::string& out, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
      out += text;
      return;
    }
    out += '"';
    for (char c : text) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  };
  std::string out = "title,suffix,size,date,summary,link,type,rank\r\n";
  for (const Record& r : records) {
    for (const std::string* f :
         {&r.title, &r.suffix, &r.size, &r.date, &r.summary, &r.link, &r.type}) {
      field(out, *f);
      out += ',';
    }
    out += std::to_string(r.rank);
    out += "\r\n";
  }
  return out;
}

std::string OneLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool pending_space = false;
  for (std::size_t i = 0; i < text.size();) {
    const Decoded d = DecodeAt(text, i);
    i += d.length;
    const char32_t cp = d.valid ? d.code_point : kReplacement;
    if (cp == ' ' || IsControl(cp) || cp == 0x2028 || cp == 0x2029) {
      pending_space = !out.empty();
      continue;
    }
    if (IsBidiControl(cp)) continue;
    if (pending_space) out += ' ';
    pending_space = false;
    AppendUtf8(out, cp);
  }
  return out;
}

int DisplayWidth(std::string_view text) {
  int width = 0;
  for (std::size_t i = 0; i < text.size();) {
    const Decoded d = DecodeAt(text, i);
    width += d.valid ? CodePointWidth(d.code_point) : 1;
    i += d.length;
  }
  return width;
}

std::string Truncate(std::string_view text, int width) {
  if (width <= 0) return {};
  if (DisplayWidth(text) <= width) return std::string(text);
  const int budget = width - 1;  // one column for the ellipsis
  int used = 0;
  std::size_t end = 0;
  while (end < text.size()) {
    const Decoded d = DecodeAt(text, end);
    const int w = d.valid ? CodePointWidth(d.code_point) : 1;
    if (used + w > budget) break;
    used += w;
    end += d.length;
  }
  std::string out(text.substr(0, end));
  out += kEllipsis;
  return out;
}

int ChooseWidth(std::optional<int> terminal_columns, const char* columns_env) {
  if (terminal_columns && *terminal_columns > 0) return *terminal_columns;
  if (columns_env != nullptr) {
    const std::string_view s(columns_env);
    int value = 0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (error == std::errc() && end == s.data() + s.size() && value > 0) return value;
  }
  return 80;
}

std::string RenderTable(const std::vector<Record>& records, std::optional<int> fit) {
  if (records.empty()) return "No results.\n";
  const bool fitted = fit.has_value();
  // Below this nothing can be shown sensibly; the lines will wrap instead.
  const int width = fitted ? std::max(*fit, 20) : 0;
  constexpr int kUnbounded = std::numeric_limits<int>::max() / 4;

  struct Row {
    std::string title, suffix, size, date, summary, link;
  };
  std::vector<Row> rows;
  rows.reserve(records.size());
  for (const Record& r : records) {
    rows.push_back(Row{OneLine(r.title), OneLine(r.suffix), OneLine(r.size), OneLine(r.date),
                       OneLine(r.summary), OneLine(r.link)});
  }

  // Natural width of a column, its header included, but no more than `cap`
  // when the table is fitted.
  const auto natural = [&rows, fitted](std::string Row::*field, std::string_view header, int cap) {
    int w = DisplayWidth(header);
    for (const Row& row : rows) w = std::max(w, DisplayWidth(row.*field));
    return fitted ? std::min(w, cap) : w;
  };
  // Cut only when fitting to a terminal; a file or a pipe gets everything.
  const auto cut = [fitted](std::string_view text, int w) {
    return fitted ? Truncate(text, w) : std::string(text);
  };
  constexpr int kGap = 2;
  constexpr int kIndent = 4;
  constexpr int kMinFlexible = 16;  // least useful width for a title or a link
  const int type_w = natural(&Row::suffix, "TYPE", 6);
  const int size_w = natural(&Row::size, "SIZE", 10);
  const int date_w = natural(&Row::date, "DATE", 12);
  const int flexible = fitted ? width - type_w - size_w - date_w - 4 * kGap : 2 * kUnbounded;

  std::string out;
  if (flexible >= 2 * kMinFlexible) {
    // One line per hit in columns, its summary indented below it. A link is
    // never cut: one that does not fit its column gets a line of its own.
    const int title_nat = natural(&Row::title, "TITLE", flexible);
    const int link_nat = natural(&Row::link, "LINK", flexible);
    int title_w = title_nat;
    int link_w = link_nat;
    if (fitted && title_nat + link_nat > flexible) {
      // Share the room; a column that needs less than half leaves the rest.
      title_w = std::min(title_nat, std::max(flexible / 2, flexible - link_nat));
      link_w = flexible - title_w;
    }
    const bool any_inline = std::any_of(
        rows.begin(), rows.end(), [&](const Row& row) { return DisplayWidth(row.link) <= link_w; });
    if (!any_inline) {
      // Every link goes below its hit: the column would stay empty, so the
      // title takes its room.
      title_w = std::min(natural(&Row::title, "TITLE", flexible + kGap), flexible + kGap);
      link_w = 0;
    }
    const auto line = [&](std::string_view title, std::string_view type, std::string_view size,
                          std::string_view date, std::string_view link) {
      std::string l;
      const std::string gap(kGap, ' ');
      AppendPadded(l, cut(title, title_w), title_w);
      l += gap;
      AppendPadded(l, cut(type, type_w), type_w);
      l += gap;
      AppendPadded(l, cut(size, size_w), size_w);
      l += gap;
      AppendPadded(l, cut(date, date_w), date_w);
      if (link_w > 0) {
        l += gap;
        l += link;
      }
      TrimTrailingSpaces(l);
      out += l;
      out += '\n';
    };
    line("TITLE", "TYPE", "SIZE", "DATE", link_w > 0 ? "LINK" : "");
    const std::string indent(kIndent, ' ');
    for (const Row& row : rows) {
      const bool inline_link = link_w > 0 && DisplayWidth(row.link) <= link_w;
      line(row.title, row.suffix, row.size, row.date, inline_link ? row.link : "");
      if (!inline_link && !row.link.empty()) out += indent + row.link + '\n';
      if (!row.summary.empty()) out += indent + cut(row.summary, width - kIndent) + '\n';
    }
  } else {
    // Too narrow for columns: a block per hit, blocks apart by a blank line.
    constexpr int kBlockIndent = 2;
    const std::string indent(kBlockIndent, ' ');
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const Row& row = rows[i];
      if (i > 0) out += '\n';
      out += cut(row.title.empty() ? std::string("(untitled)") : row.title, width);
      out += '\n';
      std::string meta;
      for (const std::string* part : {&row.suffix, &row.size, &row.date}) {
        if (part->empty()) continue;
        if (!meta.empty()) meta += "  ";
        meta += *part;
      }
      if (!meta.empty()) out += indent + cut(meta, width - kBlockIndent) + '\n';
      if (!row.link.empty()) out += indent + row.link + '\n';
      if (!row.summary.empty()) out += indent + cut(row.summary, width - kBlockIndent) + '\n';
    }
  }
  AppendCount(out, records.size());
  return out;
}

}  // namespace docseek::cli
