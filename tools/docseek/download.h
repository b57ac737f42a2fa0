// SPDX-License-Identifier: MIT
// `docseek search ... --download DIR`: fetching the documents that a search
// found. Runs in the host, after the search, with libcurl; the plug-in is not
// involved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "format.h"

namespace docseek::cli {

inline constexpr std::uint64_t kDefaultMaxSize = 100ull * 1024 * 1024;

// "12345", "512K", "100M", "2G" (K = 1024 bytes; lower case too). nullopt
// for anything else, a zero size or one that does not fit 64 bits.
std::optional<std::uint64_t> ParseSize(std::string_view text);

struct DownloadOptions {
  std::filesystem::path dir;
  std::uint64_t max_size = kDefaultMaxSize;
  // Redraw a one-line progress display on stderr (only when it is a terminal).
  bool progress = false;
  std::size_t max_per_host = 4;
  std::size_t max_total = 8;
};

enum class DownloadStatus {
  kFetched,      // complete under its final name
  kMismatch,     // complete, but its first bytes are not of its suffix's kind
  kSkipped,      // not fetched on purpose: scheme, local address, size cap, name taken
  kFailed,       // tried and failed
  kInterrupted,  // stopped by SIGINT or SIGTERM; at most a NAME.part is left
};

struct DownloadResult {
  DownloadStatus status = DownloadStatus::kSkipped;
  std::string name;  // file name inside the folder; empty when the record got none
  std::string reason;
  std::uint64_t bytes = 0;    // size of the file written (complete or .part)
  std::uint64_t resumed = 0;  // bytes taken over from an earlier run's .part
};

struct DownloadSummary {
  std::vector<DownloadResult> results;  // one per record, in the records' order
  bool interrupted = false;
};

// Fetches every record's link into options.dir (created when missing), at
// most max_per_host transfers per host and max_total in all. Each transfer
// writes NAME.part, which is renamed to NAME only once complete, so a stop at
// any moment leaves no partial file under a final name; a NAME.part left by an
// earlier run is resumed with a Range request. A NAME that already exists is
// skipped, never overwritten. SIGINT and SIGTERM end the run early while it
// lasts (their earlier handlers are put back afterwards).
DownloadSummary DownloadAll(const std::vector<Record>& records, const DownloadOptions& options);

// "fetched", "mismatch", "skipped", "failed", "interrupted".
std::string_view StatusName(DownloadStatus status);

// The lines printed to stderr at the end: one count line, then one line per
// record (made safe for a terminal).
std::string RenderSummary(const std::vector<Record>& records, const DownloadSummary& summary,
                          const std::filesystem::path& dir);

// `,"path":...,"status":...,"reason":...` for one record's JSON object; path
// is null when nothing was written under the final name.
std::string JsonDownloadFields(const DownloadResult& result, const std::filesystem::path& dir);

}  // namespace docseek::cli
