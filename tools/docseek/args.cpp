#include "args.h"

#include <charconv>
#include <system_error>

#include "download.h"

namespace docseek::cli {
namespace {

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

std::optional<UsageError> ParseTypes(std::string_view value, std::vector<std::string>& types) {
  std::vector<std::string> parsed;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = value.find(',', start);
    const std::string_view item = value.substr(
        start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    // An empty item is almost surely a typo, and the plug-in would send an
    // empty file type to the engine for it.
    if (item.empty()) return UsageError{"--types " + Quoted(value) + " has an empty type"};
    parsed.emplace_back(item);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  types = std::move(parsed);
  return std::nullopt;
}

std::optional<UsageError> ParseCount(std::string_view value, std::int32_t& count) {
  std::int32_t parsed = 0;
  const char* end = value.data() + value.size();
  const auto [stop, error] = std::from_chars(value.data(), end, parsed);
  if (error == std::errc::result_out_of_range) {
    return UsageError{"--count " + Quoted(value) + " is out of range (-2147483648 to 2147483647)"};
  }
  if (value.empty() || error != std::errc() || stop != end) {
    return UsageError{"--count " + Quoted(value) + " is not a whole number"};
  }
  count = parsed;
  return std::nullopt;
}

std::optional<UsageError> ParseFormat(std::string_view value, Format& format) {
  if (value == "table") {
    format = Format::kTable;
  } else if (value == "json") {
    format = Format::kJson;
  } else if (value == "tsv") {
    format = Format::kTsv;
  } else if (value == "raw") {
    format = Format::kRaw;
  } else {
    return UsageError{"--format " + Quoted(value) + " is not one of table, json, tsv, raw"};
  }
  return std::nullopt;
}

Options Only(Command command) {
  Options options;
  options.command = command;
  return options;
}

}  // namespace

std::variant<Options, UsageError> ParseArgs(const std::vector<std::string_view>& args) {
  // Help and version win wherever they stand, so that `docseek search --help`
  // explains instead of complaining about the missing keyword.
  for (std::string_view arg : args) {
    if (arg == "--") break;
    if (arg == "-h" || arg == "--help") return Only(Command::kHelp);
    if (arg == "--version") return Only(Command::kVersion);
  }

  Options options;
  std::vector<std::string_view> positional;
  std::string_view search_option;  // first search-only option seen, for the error
  bool options_ended = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string_view name = arg.substr(0, equals);
    const bool takes_value = name == "--plugin" || name == "--types" || name == "--count" ||
                             name == "--format" || name == "--download" || name == "--max-size";
    if (arg == "--no-window") {
      if (search_option.empty()) search_option = name;
      options.no_window = true;
      continue;
    }
    if (!takes_value) {
      if (name == "--help" || name == "--version" || name == "--no-window") {
        return UsageError{"option " + Quoted(name) + " takes no value"};
      }
      return UsageError{"unknown option " + Quoted(arg) +
                        " (put '--' before a keyword that starts with '-')"};
    }
    std::string_view value;
    if (equals != std::string_view::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      // Taken whatever it looks like, so that `--count -1` works.
      value = args[++i];
    } else {
      return UsageError{"option " + Quoted(name) + " needs a value"};
    }

    std::optional<UsageError> error;
    if (name == "--plugin") {
      if (value.empty()) return UsageError{"--plugin needs a path"};
      options.plugin = std::string(value);
      continue;
    }
    if (search_option.empty()) search_option = name;
    if (name == "--types") {
      error = ParseTypes(value, options.types);
    } else if (name == "--count") {
      error = ParseCount(value, options.count);
    } else if (name == "--download") {
      if (value.empty()) return UsageError{"--download needs a folder"};
      options.download_dir = std::string(value);
    } else if (name == "--max-size") {
      const auto size = ParseSize(value);
      if (!size) {
        return UsageError{"--max-size " + Quoted(value) +
                          " is not a size in bytes (a positive number, optionally with K, M or G)"};
      }
      options.max_size = *size;
    } else {
      error = ParseFormat(value, options.format);
    }
    if (error) return *error;
  }

  if (positional.empty()) return UsageError{"no command given"};
  const std::string_view command = positional[0];
  if (command == "help") {
    options.command = Command::kHelp;
    return options;
  }
  if (command == "types" || command == "counts") {
    options.command = command == "types" ? Command::kTypes : Command::kCounts;
    if (positional.size() > 1) {
      return UsageError{Quoted(command) + " takes no arguments, got " + Quoted(positional[1])};
    }
    if (!search_option.empty()) {
      return UsageError{Quoted(search_option) + " only applies to 'search'"};
    }
    return options;
  }
  if (command != "search") return UsageError{"unknown command " + Quoted(command)};

  options.command = Command::kSearch;
  if (positional.size() < 2) return UsageError{"'search' needs a KEYWORD"};
  if (positional.size() > 2) {
    return UsageError{"'search' takes one KEYWORD, got also " + Quoted(positional[2]) +
                      " (quote a keyword that has spaces)"};
  }
  // An empty query would go to the engine as a bare "filetype:..." search.
  if (positional[1].empty()) return UsageError{"the KEYWORD is empty"};
  options.keyword = std::string(positional[1]);
  return options;
}

std::string UsageText() {
  return R"(Usage: docseek [--plugin PATH] COMMAND [OPTIONS]

Searches the web for documents through the docseek plug-in.

Commands:
  types             print the document types the plug-in offers, one per line
  counts            print the hit counts the plug-in offers, one per line
  search KEYWORD    run one search and print its hits

Search options:
  --types LIST      document types to search, comma-separated
                    (default: pdf,doc,xls,ppt,rtf)
  --count N         hits to read per type, a 32-bit integer; 0 or less reads
                    none (default: 10)
  --no-window       show the progress on the terminal, not in a window
  --format FORMAT   table, json, tsv or raw (default: table)
                      table  fitted to the terminal width, then a count line
                      json   an array of objects with title, suffix, size,
                             date, summary and link
                      tsv    a header line and one line per hit; tab, newline,
                             carriage return and backslash written as \t \n \r \\
                      raw    a JSON array of every line the plug-in returned
  --download DIR    then fetch each hit's link (http and https only) into DIR
                    as TITLE.SUFFIX; a NAME.part left by an earlier run is
                    resumed, an existing NAME is left alone; json output gains
                    each hit's path, status and reason
  --max-size SIZE   skip documents larger than SIZE bytes (K, M or G suffix
                    allowed; default: 100M)

Global options (before or after the command):
  --plugin PATH     the plug-in library to load
                    (default: ../lib/libdocseek.so from this program's folder)
  -h, --help        print this help and exit
  --version         print the version and exit

Options take their value as '--option VALUE' or '--option=VALUE'. Put '--'
before a keyword that starts with '-'.

The plug-in's browser honours the http_proxy environment variable; --download
honours http_proxy, https_proxy, all_proxy and no_proxy as libcurl does, and
refuses links to this machine or its local networks unless a proxy is used.

Exit status: 0 when the command ran (a search with no hits included),
1 when the plug-in cannot be loaded, the output cannot be written or a
download failed, 2 on a usage error, 130 when a download run was interrupted.
)";
}

}  // namespace docseek::cli
