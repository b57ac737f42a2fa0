// SPDX-License-Identifier: MIT
// docseek: a command-line host for the docseek plug-in. Loads the library with
// dlopen, calls its three exports and prints what they return.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <docseek/string_list.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "args.h"
#include "download.h"
#include "format.h"
#include "plugin_loader.h"
#include "type_list.h"

#ifndef DOCSEEK_VERSION
#error "DOCSEEK_VERSION must be defined by the build"
#endif

namespace {

using namespace docseek::cli;

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

// Writes everything and flushes, so that a full disk or a closed pipe turns
// into an error exit instead of silently lost output.
int Emit(std::string_view text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "docseek: cannot write the output: %s\n", std::strerror(errno));
    return kExitFailure;
  }
  return 0;
}

std::optional<int> TerminalColumns() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return std::nullopt;
}

std::variant<Plugin, LoadError> Load(const Options& options) {
  if (options.plugin) return LoadPlugin(*options.plugin);
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) {
    return LoadError{std::string("cannot tell where this program is (/proc/self/exe: ") +
                     std::strerror(errno) + "); name the plug-in with --plugin PATH"};
  }
  return LoadDefaultPlugin(std::string_view(self, static_cast<std::size_t>(length)));
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) {
    out += line;
    out += '\n';
  }
  return out;
}

// While it lives, the plug-in's writes to stderr (its progress line and its
// diagnostics) go nowhere; the program's own messages come after it.
class SilencedStderr {
 public:
  SilencedStderr() {
    std::fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved_ >= 0 && null >= 0) dup2(null, STDERR_FILENO);
    if (null >= 0) close(null);
  }
  ~SilencedStderr() {
    if (saved_ < 0) return;
    dup2(saved_, STDERR_FILENO);
    close(saved_);
  }
  SilencedStderr(const SilencedStderr&) = delete;
  SilencedStderr& operator=(const SilencedStderr&) = delete;

 private:
  int saved_ = -1;
};

// The plug-in's browser takes its proxy from the environment, as libcurl does;
// http_proxy serves the engine's http addresses, https_proxy any https page
// a redirect leads to.
void UseProxy(const std::string& proxy) {
  setenv("http_proxy", proxy.c_str(), 1);
  setenv("https_proxy", proxy.c_str(), 1);
  setenv("HTTPS_PROXY", proxy.c_str(), 1);
}

int Search(const Plugin& plugin, const Options& options) {
  if (options.proxy) UseProxy(*options.proxy);
  // The plug-in shows its window whenever a display can be opened; a host
  // that wants none hides the display from it.
  if (options.no_window) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
  }

  // One call for all types, as a user expects of one search: one browser
  // session sharing its cookies, one window on a desktop. The type list
  // notes where each page's hits end (type_list.h explains how), and that
  // gives every record its type and rank.
  docseek::StringList results;
  TypeList types(options.types, results);
  {
    std::optional<SilencedStderr> silence;
    if (options.quiet) silence.emplace();
    plugin.getinfo(results.list(), types.list(), options.count, options.keyword.c_str(), "");
  }
  const std::vector<std::string>& lines = results.lines();
  if (options.format == Format::kRaw && !options.download_dir) return Emit(RenderRaw(lines));

  Records grouped = GroupRecords(lines);
  std::vector<Record>& records = grouped.complete;
  const bool labelled = LabelRecords(records, types.types(), types.page_ends());

  std::vector<std::string> download_fields;
  std::optional<DownloadSummary> downloads;
  if (options.download_dir) {
    DownloadOptions download;
    download.dir = *options.download_dir;
    download.max_size = options.max_size;
    download.progress = isatty(STDERR_FILENO) == 1;
    downloads = DownloadAll(records, download);
    for (const DownloadResult& result : downloads->results) {
      download_fields.push_back(JsonDownloadFields(result, download.dir));
    }
  }
  std::string out;
  switch (options.format) {
    case Format::kJson:
      out = RenderJson(records, download_fields);
      break;
    case Format::kCsv:
      out = RenderCsv(records);
      break;
    case Format::kTsv:
      out = RenderTsv(records);
      break;
    case Format::kRaw:
      out = RenderRaw(lines);
      break;
    default: {
      // Fitted to the terminal only when the table goes to one; a file or a
      // pipe gets every character.
      std::optional<int> width;
      if (isatty(STDOUT_FILENO) == 1)
        width = ChooseWidth(TerminalColumns(), std::getenv("COLUMNS"));
      out = RenderTable(records, width);
    }
  }
  const int status = Emit(out);
  if (!grouped.trailing.empty() && !options.quiet) {
    std::fprintf(stderr,
                 "docseek: warning: the plug-in returned %zu line(s) after the last whole "
                 "%zu-line record; they are left out (--format raw shows them)\n",
                 grouped.trailing.size(), kLinesPerRecord);
  }
  const bool shows_type = options.format == Format::kJson || options.format == Format::kCsv ||
                          options.format == Format::kTsv;
  if (!labelled && !records.empty() && shows_type && !options.quiet) {
    std::fputs(
        "docseek: warning: the plug-in did not show where each type's hits end; the records' "
        "type is left empty and their rank counts from the last end it showed\n",
        stderr);
  }
  if (downloads) {
    const std::string summary = RenderSummary(records, *downloads, *options.download_dir);
    std::fputs(summary.c_str(), stderr);
    if (downloads->interrupted) return 130;
    for (const DownloadResult& result : downloads->results) {
      if (result.status == DownloadStatus::kFailed && status == 0) return kExitFailure;
    }
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const auto parsed = ParseArgs(args);
  if (const auto* error = std::get_if<UsageError>(&parsed)) {
    std::fprintf(stderr, "docseek: %s\nTry 'docseek --help'.\n", error->message.c_str());
    return kExitUsage;
  }
  const Options& options = std::get<Options>(parsed);
  if (options.command == Command::kHelp) return Emit(UsageText());
  if (options.command == Command::kVersion) return Emit("docseek " DOCSEEK_VERSION "\n");

  const auto loaded = Load(options);
  if (const auto* error = std::get_if<LoadError>(&loaded)) {
    std::fprintf(stderr, "docseek: %s\n", error->message.c_str());
    return kExitFailure;
  }
  const Plugin& plugin = std::get<Plugin>(loaded);

  switch (options.command) {
    case Command::kTypes: {
      docseek::StringList list;
      plugin.get_back_type(list.list());
      return Emit(Lines(list.lines()));
    }
    case Command::kCounts: {
      docseek::StringList list;
      plugin.get_back_count(list.list());
      return Emit(Lines(list.lines()));
    }
    default:
      return Search(plugin, options);
  }
}
