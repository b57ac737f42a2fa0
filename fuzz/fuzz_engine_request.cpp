// SPDX-License-Identifier: MIT
// libFuzzer target: docseek-engine's request reading. Arbitrary bytes go
// through head framing, head parsing, target splitting and the request-log
// line, as the server does with what a client sends.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "http.h"
#include "request_log.h"
#include "url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace docseek::engine;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto end = FindHeadEnd(bytes);
  if (end && *end > bytes.size()) __builtin_trap();
  const std::string_view head = end ? bytes.substr(0, *end) : bytes;
  const ParsedHead parsed = ParseRequestHead(head);
  if (parsed.error != 0 && parsed.error != 400 && parsed.error != 431 && parsed.error != 505) {
    __builtin_trap();
  }
  const std::string line = LogLine(parsed.request, parsed.error ? parsed.error : 200);
  // One log line per request: a line break inside would split it.
  if (line.find('\n') != std::string::npos) __builtin_trap();
  const auto target = SplitTarget(bytes);
  size_t total = line.size();
  if (target) total += ParseQuery(target->query).size() + PercentDecode(target->path, false).size();
  return total == static_cast<size_t>(-1);
}
