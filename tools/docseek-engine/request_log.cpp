// SPDX-License-Identifier: MIT
#include "request_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>

namespace docseek::engine {
namespace {

// Length of the valid UTF-8 sequence at the start of `s`, or 0 if it does not start with one
// (overlong forms, surrogates and code points past U+10FFFF are not valid).
std::size_t Utf8SequenceLength(std::string_view s) {
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const auto cont = [&](std::size_t i) { return i < s.size() && (b(i) & 0xC0) == 0x80; };
  const unsigned char c = b(0);
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) return cont(1) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    if (!cont(1) || !cont(2)) return 0;
    if (c == 0xE0 && b(1) < 0xA0) return 0;   // overlong
    if (c == 0xED && b(1) >= 0xA0) return 0;  // surrogate
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    if (!cont(1) || !cont(2) || !cont(3)) return 0;
    if (c == 0xF0 && b(1) < 0x90) return 0;   // overlong
    if (c == 0xF4 && b(1) >= 0x90) return 0;  // past U+10FFFF
    return 4;
  }
  return 0;
}

std::string JsonOrNull(std::optional<std::string_view> value) {
  return value ? JsonString(*value) : "null";
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  while (!text.empty()) {
    const auto c = static_cast<unsigned char>(text.front());
    const std::size_t len = Utf8SequenceLength(text);
    if (len == 0) {
      out += "\xEF\xBF\xBD";
      text.remove_prefix(1);
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04X", c);
      out += buf;
    } else {
      out.append(text.substr(0, len));
    }
    text.remove_prefix(len);
  }
  out += '"';
  return out;
}

std::string LogLine(const Request& request, int status, std::uint64_t connection) {
  const bool parsed = !request.version.empty();  // the request line was read in full
  const auto opt = [](const std::string& s) {
    return s.empty() ? std::nullopt : std::optional<std::string_view>(s);
  };
  std::string params = "null";
  if (parsed) {
    params = "{";
    for (const auto& [name, value] : request.params) {
      if (params.size() > 1) params += ',';
      params += JsonString(name) + ':' + JsonString(value);
    }
    params += '}';
  }
  return "{\"method\":" + JsonOrNull(opt(request.method)) +
         ",\"target\":" + JsonOrNull(opt(request.target)) +
         ",\"path\":" + JsonOrNull(parsed ? opt(request.path) : std::nullopt) +
         ",\"query\":" + JsonOrNull(FindParam(request.params, "query")) +
         ",\"num\":" + JsonOrNull(FindParam(request.params, "num")) + ",\"params\":" + params +
         ",\"host\":" + JsonOrNull(request.Header("Host")) +
         ",\"user_agent\":" + JsonOrNull(request.Header("User-Agent")) +
         ",\"cookie\":" + JsonOrNull(request.Header("Cookie")) +
         ",\"status\":" + std::to_string(status) + ",\"connection\":" + std::to_string(connection) +
         "}";
}

RequestLog::~RequestLog() {
  if (fd_ >= 0) ::close(fd_);
}

bool RequestLog::Open(const std::string& path, std::string* error) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd_ < 0 && error) *error = path + ": " + std::strerror(errno);
  return fd_ >= 0;
}

void RequestLog::Write(const Request& request, int status, std::uint64_t connection) {
  if (fd_ < 0) return;
  const std::string line = LogLine(request, status, connection) + "\n";
  // One write() per line with O_APPEND: a reader never sees half a line from a complete
  // write, and nothing sits in a buffer when the engine is killed.
  std::string_view rest = line;
  while (!rest.empty()) {
    const ssize_t n = ::write(fd_, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a full disk must not stop the engine from answering
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
}

}  // namespace docseek::engine
