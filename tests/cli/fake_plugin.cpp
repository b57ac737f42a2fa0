// SPDX-License-Identifier: MIT
// A stand-in plug-in for the CLI's tests: answers at once, offline, and the
// same way every time. Its first record echoes the arguments Getinfo received,
// so that a test can see exactly what the CLI passed.
//
// Getinfo(keyword, types, count) uses the type list as the real plug-in does:
// it asks for the count and reads every line before the first page, reads the
// line of each type as it moves on to it, and asks for the count again after
// each page's hits are appended (to decide whether another type follows). It
// appends:
//   - the echo record: "keyword=K", "count=N", "types=T" (how many lines),
//     "reserved=R" (or "reserved=null"), the types joined by ',', "echo";
//   - for each type, its page: min(count, 2) hits numbered k = 1, 2:
//     "K TYPE k", TYPE, "k0 KB", "2024-01-0k", "Summary of TYPE hit k",
//     "http://127.0.0.1/TYPE/k.TYPE"; none for a type named "none".
// Keywords that pick another behaviour:
//   - "mode:empty"    appends nothing at all;
//   - "mode:partial"  appends two lines more after the hits, half a record;
//   - "mode:tricky"   appends, after the echo record, one hit whose fields
//                     hold quotes, backslashes, tabs, newlines, a control
//                     character, an invalid UTF-8 byte and CJK text;
//   - "mode:unmarked" never asks for the count after a page, so the host
//                     cannot tell where one type's hits end.
// Built with DOCSEEK_FAKE_WITHOUT_GETINFO it lacks Getinfo, to stand for a
// library that is not a docseek plug-in.
#include <docseek/plugin.h>

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace {

void Append(const docseek_list* list, std::string_view text) {
  list->append(list->context, text.data(), text.size());
}

void AppendAll(const docseek_list* list, std::initializer_list<std::string_view> lines) {
  for (std::string_view line : lines) Append(list, line);
}

[[maybe_unused]] std::string LineAt(const docseek_list* list, std::size_t index) {
  std::size_t length = 0;
  const char* text = list->line(list->context, index, &length);
  return text != nullptr ? std::string(text, length) : std::string();
}

// One type's page: min(count, 2) hits.
[[maybe_unused]] void AppendHits(const docseek_list* results, const std::string& key,
                                 const std::string& type, int32_t count) {
  for (int k = 1; k <= std::min<int32_t>(count, 2); ++k) {
    const std::string n = std::to_string(k);
    Append(results, key + " " + type + " " + n);
    Append(results, type);
    Append(results, n + "0 KB");
    Append(results, "2024-01-0" + n);
    Append(results, "Summary of " + type + " hit " + n);
    Append(results, "http://127.0.0.1/" + type + "/" + n + "." + type);
  }
}

}  // namespace

extern "C" {

DOCSEEK_API void GetBackType(const docseek_list* list) {
  AppendAll(list, {"pdf", "doc", "xls", "ppt", "rtf", "sogou"});
}

DOCSEEK_API void GetBackCount(const docseek_list* list) {
  AppendAll(list, {"10", "20", "30", "50", "100"});
}

#ifndef DOCSEEK_FAKE_WITHOUT_GETINFO
DOCSEEK_API void Getinfo(const docseek_list* results, const docseek_list* types, int32_t count,
                         const char* keyword, const char* reserved) {
  const std::string key = keyword != nullptr ? keyword : "";
  if (key == "mode:empty") return;

  // Setting up: the count, then every line.
  const std::size_t type_count = types->count(types->context);
  std::string joined;
  for (std::size_t i = 0; i < type_count; ++i) {
    if (i > 0) joined += ',';
    joined += LineAt(types, i);
  }
  Append(results, "keyword=" + key);
  Append(results, "count=" + std::to_string(count));
  Append(results, "types=" + std::to_string(type_count));
  Append(results, reserved != nullptr ? "reserved=" + std::string(reserved) : "reserved=null");
  Append(results, joined);
  Append(results, "echo");

  // One page per type; after each, the count decides whether another follows.
  const bool unmarked = key == "mode:unmarked";
  for (std::size_t i = 0; i < type_count;) {
    const std::string type = LineAt(types, i);  // moving on to this type
    if (key == "mode:tricky") {
      if (i == 0) {
        AppendAll(results, {"Say \"hi\"\\now", "p\td\tf", "1\n2", "\x01\x7f", "bad \xff byte",
                            "http://127.0.0.1/\xe5\xb9\xb4\xe5\xba\xa6.pdf"});
      }
    } else if (type != "none") {
      AppendHits(results, key, type, count);
    }
    ++i;
    if (!unmarked && i >= types->count(types->context)) break;
  }
  if (key == "mode:partial") AppendAll(results, {"orphan title", "orphan suffix"});
}
#endif

}  // extern "C"
