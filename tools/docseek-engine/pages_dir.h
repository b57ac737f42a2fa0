// SPDX-License-Identifier: MIT
// Fixture files that tests and demos serve in place of synthetic pages.
#ifndef DOCSEEK_ENGINE_PAGES_DIR_H
#define DOCSEEK_ENGINE_PAGES_DIR_H

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace docseek::engine {

// Files larger than this are refused rather than read into memory.
inline constexpr std::size_t kMaxPageBytes = 64 * 1024 * 1024;

// A directory whose files may be served, and nothing outside it: a ".." segment is refused
// outright and every path is resolved (symbolic links included) and checked to stay inside.
// Files are read anew for each request, so pages may change while the engine runs.
class PagesDir {
 public:
  // nullopt, with the reason in *error, when `dir` is not a directory that can be resolved.
  static std::optional<PagesDir> Open(const std::string& dir, std::string* error);

  enum class Status { kFound, kMissing, kForbidden, kUnreadable };
  struct File {
    Status status = Status::kMissing;
    std::string content;
  };

  // `relative` is a decoded path below the directory ('/' separated, leading '/' ignored).
  File Read(std::string_view relative) const;

 private:
  explicit PagesDir(std::string root) : root_(std::move(root)) {}
  std::string root_;  // resolved, without a trailing '/'
};

// Content-Type for a served file, chosen by its extension. HTML goes out without a charset so
// that the page's own <meta> decides, as it would for a real engine's page.
std::string ContentTypeFor(std::string_view path);

}  // namespace docseek::engine

#endif  // DOCSEEK_ENGINE_PAGES_DIR_H
