// SPDX-License-Identifier: MIT
#include "args.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <system_error>

#include "download.h"

namespace docseek::cli {
namespace {

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::optional<UsageError> ApplyTypes(std::string_view value, Options& options) {
  std::vector<std::string> parsed;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = value.find(',', start);
    // "pdf, doc" is how people write lists; the spaces are not part of a type.
    const std::string_view item = Trimmed(value.substr(
        start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    // An empty item is almost surely a typo, and the plug-in would send an
    // empty file type to the engine for it.
    if (item.empty()) return UsageError{"--types " + Quoted(value) + " has an empty type"};
    parsed.emplace_back(item);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (!options.types_given) options.types.clear();
  options.types_given = true;
  options.types.insert(options.types.end(), parsed.begin(), parsed.end());
  return std::nullopt;
}

std::optional<UsageError> ApplyCount(std::string_view value, Options& options) {
  std::int32_t parsed = 0;
  const char* end = value.data() + value.size();
  const auto [stop, error] = std::from_chars(value.data(), end, parsed);
  if (error == std::errc::result_out_of_range) {
    return UsageError{"--count " + Quoted(value) + " is out of range (-2147483648 to 2147483647)"};
  }
  if (value.empty() || error != std::errc() || stop != end) {
    return UsageError{"--count " + Quoted(value) + " is not a whole number"};
  }
  options.count = parsed;
  return std::nullopt;
}

std::optional<UsageError> ApplyFormat(std::string_view value, Options& options) {
  std::string name(value);
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  });
  static constexpr std::array<std::pair<std::string_view, Format>, 5> kFormats{{
      {"table", Format::kTable},
      {"json", Format::kJson},
      {"csv", Format::kCsv},
      {"tsv", Format::kTsv},
      {"raw", Format::kRaw},
  }};
  for (const auto& [known, format] : kFormats) {
    if (name == known) {
      options.format = format;
      return std::nullopt;
    }
  }
  return UsageError{"--format " + Quoted(value) + " is not one of table, json, csv, tsv, raw"};
}

std::optional<UsageError> ApplyJson(std::string_view, Options& options) {
  options.format = Format::kJson;
  return std::nullopt;
}

std::optional<UsageError> ApplyQuiet(std::string_view, Options& options) {
  options.quiet = true;
  return std::nullopt;
}

std::optional<UsageError> ApplyProxy(std::string_view value, Options& options) {
  if (value.empty()) return UsageError{"--proxy needs a URL"};
  const bool clean = std::none_of(value.begin(), value.end(),
                                  [](unsigned char c) { return c <= ' ' || c == 0x7F; });
  if (!clean) return UsageError{"--proxy " + Quoted(value) + " has spaces or control characters"};
  options.proxy = std::string(value);
  return std::nullopt;
}

std::optional<UsageError> ApplyNoWindow(std::string_view, Options& options) {
  options.no_window = true;
  return std::nullopt;
}

std::optional<UsageError> ApplyDownload(std::string_view value, Options& options) {
  if (value.empty()) return UsageError{"--download needs a folder"};
  options.download_dir = std::string(value);
  return std::nullopt;
}

std::optional<UsageError> ApplyMaxSize(std::string_view value, Options& options) {
  const auto size = ParseSize(value);
  if (!size) {
    return UsageError{"--max-size " + Quoted(value) +
                      " is not a size in bytes (a positive number, optionally with K, M or G)"};
  }
  options.max_size = *size;
  return std::nullopt;
}

std::optional<UsageError> ApplyPlugin(std::string_view value, Options& options) {
  if (value.empty()) return UsageError{"--plugin needs a path"};
  options.plugin = std::string(value);
  return std::nullopt;
}

// Help and version have no apply: wherever they stand they end the parse.
constexpr std::array kOptions{
    OptionSpec{"--types", 't', "LIST", true,
               "document types to search, comma-separated; repeat\n"
               "to add more (default: pdf,doc,xls,ppt,rtf)",
               &ApplyTypes},
    OptionSpec{"--count", 'n', "N", true,
               "hits to read per type, a 32-bit integer; 0 or less\n"
               "reads none (default: 10)",
               &ApplyCount},
    OptionSpec{"--format", 'f', "FORMAT", true,
               "table, json, csv, tsv or raw, in any letter case\n(default: table)", &ApplyFormat},
    OptionSpec{"--json", 0, "", true, "the same as --format json", &ApplyJson},
    OptionSpec{"--quiet", 'q', "", true, "no progress line and no diagnostics on stderr",
               &ApplyQuiet},
    OptionSpec{"--no-window", 0, "", true, "show the progress on the terminal, not in a window",
               &ApplyNoWindow},
    OptionSpec{"--proxy", 0, "URL", true,
               "send the plug-in's requests through this proxy\n"
               "(http://, https://, socks4://, socks5://, socks5h://);\n"
               "sets http_proxy and https_proxy for the search",
               &ApplyProxy},
    OptionSpec{"--download", 0, "DIR", true,
               "then fetch each hit's link (http and https only)\n"
               "into DIR as TITLE.SUFFIX; a NAME.part left by an\n"
               "earlier run is resumed, an existing NAME is left\n"
               "alone; json output gains each hit's path, status\n"
               "and reason",
               &ApplyDownload},
    OptionSpec{"--max-size", 0, "SIZE", true,
               "skip documents larger than SIZE bytes (K, M or G\n"
               "suffix allowed; default: 100M)",
               &ApplyMaxSize},
    OptionSpec{"--plugin", 0, "PATH", false,
               "the plug-in library to load (default:\n"
               "../lib/libdocseek.so from this program's folder)",
               &ApplyPlugin},
    OptionSpec{"--help", 'h', "", false, "print this help and exit", nullptr},
    OptionSpec{"--version", 0, "", false, "print the version and exit", nullptr},
};

const OptionSpec* FindLong(std::string_view name) {
  for (const OptionSpec& spec : kOptions) {
    if (spec.long_name == name) return &spec;
  }
  return nullptr;
}

const OptionSpec* FindShort(char name) {
  for (const OptionSpec& spec : kOptions) {
    if (spec.short_name != 0 && spec.short_name == name) return &spec;
  }
  return nullptr;
}

Options Only(Command command) {
  Options options;
  options.command = command;
  return options;
}

std::string ShortName(const OptionSpec& spec) { return std::string{'-', spec.short_name}; }

}  // namespace

std::span<const OptionSpec> OptionTable() { return kOptions; }

std::variant<Options, UsageError> ParseArgs(const std::vector<std::string_view>& args) {
  // Help and version win wherever they stand, so that `docseek search --help`
  // explains instead of complaining about the missing keyword.
  for (std::string_view arg : args) {
    if (arg == "--") break;
    if (arg == "-h" || arg == "--help") return Only(Command::kHelp);
    if (arg == "--version") return Only(Command::kVersion);
  }

  Options options;
  struct Word {
    std::string_view text;
    bool after_end;  // came after "--"
  };
  std::vector<Word> positional;
  std::string search_option;  // first search-only option seen, for the error
  bool options_ended = false;

  const auto run = [&](const OptionSpec& spec,
                       std::string_view value) -> std::optional<UsageError> {
    if (spec.search_only && search_option.empty()) search_option = spec.long_name;
    return spec.apply(value, options);
  };

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      positional.push_back({arg, options_ended});
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    if (arg.starts_with("--")) {
      const std::size_t equals = arg.find('=');
      const std::string_view name = arg.substr(0, equals);
      const OptionSpec* spec = FindLong(name);
      if (spec == nullptr) {
        return UsageError{"unknown option " + Quoted(arg) +
                          " (put '--' before a keyword that starts with '-')"};
      }
      if (spec->apply == nullptr) {
        if (equals == std::string_view::npos) {
          return Only(name == "--help" ? Command::kHelp : Command::kVersion);
        }
        return UsageError{"option " + Quoted(name) + " takes no value"};
      }
      std::string_view value;
      if (spec->value_name.empty()) {
        if (equals != std::string_view::npos) {
          return UsageError{"option " + Quoted(name) + " takes no value"};
        }
      } else if (equals != std::string_view::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        // Taken whatever it looks like, so that `--count -1` works.
        value = args[++i];
      } else {
        return UsageError{"option " + Quoted(name) + " needs a value"};
      }
      if (auto error = run(*spec, value)) return *error;
      continue;
    }
    // Short options, grouped as getopt allows: -q, -n 5, -n5, -qn5.
    for (std::size_t at = 1; at < arg.size(); ++at) {
      const OptionSpec* spec = FindShort(arg[at]);
      if (spec == nullptr) {
        if (at == 1) {
          return UsageError{"unknown option " + Quoted(arg) +
                            " (put '--' before a keyword that starts with '-')"};
        }
        return UsageError{"unknown option " + Quoted(std::string{'-', arg[at]}) + " in " +
                          Quoted(arg)};
      }
      if (spec->apply == nullptr) return Only(Command::kHelp);
      const std::string shown = ShortName(*spec);
      if (spec->value_name.empty()) {
        if (auto error = run(*spec, {})) return *error;
        continue;
      }
      std::string_view value;
      if (at + 1 < arg.size()) {
        value = arg.substr(at + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        return UsageError{"option " + Quoted(shown) + " (" + std::string(spec->long_name) +
                          ") needs a value"};
      }
      if (auto error = run(*spec, value)) return *error;
      break;
    }
  }

  if (positional.empty()) return UsageError{"no command given"};
  const std::string_view command = positional[0].text;
  if (command == "help") {
    options.command = Command::kHelp;
    return options;
  }
  if (command == "types" || command == "counts") {
    options.command = command == "types" ? Command::kTypes : Command::kCounts;
    if (positional.size() > 1) {
      return UsageError{Quoted(command) + " takes no arguments, got " + Quoted(positional[1].text)};
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
    const Word& extra = positional[2];
    if (extra.after_end && extra.text.starts_with("-")) {
      // Everything after "--" is a word, options included.
      return UsageError{Quoted(extra.text) +
                        " follows '--', so it is not taken as an option; put options before "
                        "'--' (docseek search [OPTIONS] -- KEYWORD)"};
    }
    return UsageError{"'search' takes one KEYWORD, got also " + Quoted(extra.text) +
                      " (quote a keyword that has spaces)"};
  }
  // An empty query would go to the engine as a bare "filetype:..." search.
  if (positional[1].text.empty()) return UsageError{"the KEYWORD is empty"};
  options.keyword = std::string(positional[1].text);
  return options;
}

std::string UsageText() {
  std::string text = R"(Usage: docseek [--plugin PATH] COMMAND [OPTIONS]

Searches the web for documents through the docseek plug-in.

Commands:
  types             print the document types the plug-in offers, one per line
  counts            print the hit counts the plug-in offers, one per line
  search KEYWORD    run one search and print its hits

Options:
)";
  for (const OptionSpec& spec : kOptions) {
    std::string head = "  ";
    head += spec.short_name != 0 ? ShortName(spec) + ", " : std::string("    ");
    head += spec.long_name;
    if (!spec.value_name.empty()) head += " " + std::string(spec.value_name);
    constexpr std::size_t kHelpColumn = 24;
    std::string_view help = spec.help;
    bool first = true;
    while (!help.empty()) {
      const std::size_t newline = help.find('\n');
      const std::string_view line = help.substr(0, newline);
      if (first) {
        if (head.size() + 1 < kHelpColumn) {
          text += head + std::string(kHelpColumn - head.size(), ' ');
        } else {
          text += head + "\n" + std::string(kHelpColumn, ' ');
        }
      } else {
        text += std::string(kHelpColumn, ' ');
      }
      text += line;
      text += '\n';
      first = false;
      help = newline == std::string_view::npos ? std::string_view() : help.substr(newline + 1);
    }
  }
  text += R"(
Options take their value as '--option VALUE' or '--option=VALUE', short ones
as '-n 5' or '-n5'. Put '--' before a keyword that starts with '-'; everything
after '--' is the keyword. --plugin, --help and --version go with any command.

Formats:
  table  on a terminal, fitted to its width, a link that does not fit on a
         line of its own; written elsewhere, nothing is cut; then a count line
  json   an array of objects with title, suffix, size, date, summary, link,
         type (the type searched) and rank (0-based hit number on its page)
  csv    RFC 4180: a header line, one record per line, CRLF line ends, fields
         with commas, quotes or line breaks quoted
  tsv    a header line and one line per hit; tab, newline, carriage return
         and backslash written as \t \n \r \\
  raw    a JSON array of every line the plug-in returned

All types are searched in one call of the plug-in (one browser session, one
window); every record still knows its type and rank, from where the plug-in
shows each type's page ends.

Diagnostics: while a search runs the plug-in shows a progress line on stderr
when stderr is a terminal, and for every type that gave no hits or failed
part-way it writes one line to stderr, whatever stderr is:
  none:     docseek: TYPE: no results (the result page lists no hits)
  blocked:  docseek: TYPE: the engine is limiting requests ... (try later)
  failed:   docseek: TYPE: cannot connect ..., ... (timeout), ... HTTP 503,
            the result page could not be read ..., and so on
A type whose hits were read prints nothing. --quiet turns both off.

The plug-in's browser honours the http_proxy, https_proxy and no_proxy
environment variables; --proxy sets the first two. --download honours
http_proxy, https_proxy, all_proxy and no_proxy as libcurl does, and refuses
links to this machine or its local networks unless a proxy is used.

Exit status: 0 when the command ran (a search with no hits, or a blocked one,
included: read stderr to tell them apart), 1 when the plug-in cannot be
loaded, the output cannot be written or a download failed, 2 on a usage
error, 130 when a download run was interrupted.
)";
  return text;
}

}  // namespace docseek::cli
