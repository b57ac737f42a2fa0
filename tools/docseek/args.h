// The command line of docseek, parsed without side effects so that every
// accepted and refused form can be checked in-process.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace docseek::cli {

enum class Command { kHelp, kVersion, kTypes, kCounts, kSearch };
enum class Format { kTable, kJson, kTsv, kRaw };

struct Options {
  Command command = Command::kHelp;
  // Unset: the plug-in installed beside the program.
  std::optional<std::string> plugin;
  // The fields below only matter to `search`.
  std::string keyword;
  std::vector<std::string> types{"pdf", "doc", "xls", "ppt", "rtf"};
  std::int32_t count = 10;
  Format format = Format::kTable;
  // Keep the progress on the terminal even when a display is there.
  bool no_window = false;
  // --download DIR: fetch every hit's link into DIR after the search.
  std::optional<std::string> download_dir;
  std::uint64_t max_size = 100ull * 1024 * 1024;  // --max-size, bytes
};

struct UsageError {
  std::string message;
};

// `args` are the arguments after the program name.
std::variant<Options, UsageError> ParseArgs(const std::vector<std::string_view>& args);

// The --help text.
std::string UsageText();

}  // namespace docseek::cli
