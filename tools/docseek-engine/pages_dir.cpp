// SPDX-License-Identifier: MIT
#include "pages_dir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <memory>

namespace docseek::engine {
namespace {

std::optional<std::string> Resolve(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
  if (!real) return std::nullopt;
  return std::string(real.get());
}

bool HasDotDotSegment(std::string_view path) {
  while (true) {
    const auto slash = path.find('/');
    if (path.substr(0, slash) == "..") return true;
    if (slash == std::string_view::npos) return false;
    path.remove_prefix(slash + 1);
  }
}

PagesDir::File ReadRegularFile(const std::string& path) {
  PagesDir::File file;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    file.status = PagesDir::Status::kUnreadable;
    return file;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    file.status = PagesDir::Status::kMissing;  // a directory or device is no page
    return file;
  }
  if (static_cast<std::size_t>(st.st_size) > kMaxPageBytes) {
    ::close(fd);
    file.status = PagesDir::Status::kUnreadable;
    return file;
  }
  char buf[65536];
  while (true) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || file.content.size() + static_cast<std::size_t>(n) > kMaxPageBytes) {
      ::close(fd);
      file.content.clear();
      file.status = PagesDir::Status::kUnreadable;
      return file;
    }
    if (n == 0) break;
    file.content.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  file.status = PagesDir::Status::kFound;
  return file;
}

}  // namespace

std::optional<PagesDir> PagesDir::Open(const std::string& dir, std::string* error) {
  auto root = Resolve(dir);
  struct stat st {};
  if (!root || stat(root->c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    if (error) *error = dir + ": not a directory";
    return std::nullopt;
  }
  if (*root == "/") root->clear();  // so that root_ + "/" + name stays a clean path
  return PagesDir(std::move(*root));
}

PagesDir::File PagesDir::Read(std::string_view relative) const {
  while (!relative.empty() && relative.front() == '/') relative.remove_prefix(1);
  if (HasDotDotSegment(relative)) return {Status::kForbidden, {}};
  if (relative.empty() || relative.find('\0') != std::string_view::npos) {
    return {Status::kMissing, {}};
  }
  const auto real = Resolve(root_ + "/" + std::string(relative));
  if (!real || *real == root_) return {Status::kMissing, {}};
  if (real->size() <= root_.size() || real->compare(0, root_.size(), root_) != 0 ||
      (*real)[root_.size()] != '/') {
    return {Status::kForbidden, {}};  // a symbolic link that leads out of the directory
  }
  return ReadRegularFile(*real);
}

std::string ContentTypeFor(std::string_view path) {
  const auto slash = path.rfind('/');
  const auto dot = path.rfind('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
    return "application/octet-stream";
  }
  std::string ext;
  for (char c : path.substr(dot + 1))
    ext += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == "html" || ext == "htm") return "text/html";
  if (ext == "txt") return "text/plain";
  if (ext == "pdf") return "application/pdf";
  return "application/octet-stream";
}

}  // namespace docseek::engine
