// SPDX-License-Identifier: MIT
// The command line of docseek, parsed without side effects so that every
// accepted and refused form can be checked in-process.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace docseek::cli {

enum class Command { kHelp, kVersion, kTypes, kCounts, kSearch };
enum class Format { kTable, kJson, kCsv, kTsv, kRaw };

inline const std::vector<std::string> kDefaultTypes{"pdf", "doc", "xls", "ppt", "rtf"};

struct Options {
  Command command = Command::kHelp;
  // Unset: the plug-in installed beside the program.
  std::optional<std::string> plugin;
  // The fields below only matter to `search`.
  std::string keyword;
  std::vector<std::string> types = kDefaultTypes;
  bool types_given = false;  // the first --types replaces the defaults, later ones add
  std::int32_t count = 10;
  Format format = Format::kTable;
  bool quiet = false;                // no progress line, no diagnostics
  std::optional<std::string> proxy;  // for the plug-in's transfers
  // Keep the progress on the terminal even when a display is there.
  bool no_window = false;
  // --download DIR: fetch every hit's link into DIR after the search.
  std::optional<std::string> download_dir;
  std::uint64_t max_size = 100ull * 1024 * 1024;  // --max-size, bytes
};

struct UsageError {
  std::string message;
};

// One option of the command line. Adding an option is adding a row to
// OptionTable() (and a field to Options when it keeps a value).
struct OptionSpec {
  std::string_view long_name;   // with its dashes: "--types"
  char short_name;              // 't' for -t, or 0
  std::string_view value_name;  // "LIST"; empty for a flag
  bool search_only;             // refused with `types` and `counts`
  std::string_view help;        // one line or more, for --help
  // Stores `value` (empty for a flag) into the options; an error refuses it.
  std::optional<UsageError> (*apply)(std::string_view value, Options& options);
};

// Every option, in the order --help lists them.
std::span<const OptionSpec> OptionTable();

// `args` are the arguments after the program name.
std::variant<Options, UsageError> ParseArgs(const std::vector<std::string_view>& args);

// The --help text.
std::string UsageText();

}  // namespace docseek::cli
