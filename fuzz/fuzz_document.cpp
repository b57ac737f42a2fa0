// SPDX-License-Identifier: MIT
// libFuzzer target: Document::Load on arbitrary bytes, then the hit loop's
// reads. The first byte picks the Content-Type; ids the reads look for are
// short so that the fuzzer finds them ("a", "t", "uigs0", ...).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/dom/document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using docseek::dom::Document;
  using docseek::dom::Element;
  if (size == 0) return 0;
  static const char* const kContentTypes[] = {"text/html",
                                              "text/html; charset=utf-8",
                                              "text/html; charset=gbk",
                                              "text/html; charset=windows-1252",
                                              "text/html; charset=shift_jis",
                                              "text/html; charset=utf-16",
                                              "text/html; charset=\"big5\"",
                                              ""};
  const char* content_type =
      kContentTypes[data[0] % (sizeof kContentTypes / sizeof *kContentTypes)];
  const std::string_view body(reinterpret_cast<const char*>(data) + 1, size - 1);
  auto doc = Document::Load(body, content_type, "http://www.example.com/dir/page.html?q=1");
  static const char* const kIds[] = {
      "a", "b", "t", "x", "uigs0", "cacheresult_info_0", "cacheresult_summary_0"};
  size_t total = doc->encoding().size();
  for (const char* id : kIds) {
    const Element* e = doc->getElementById(id);
    if (!e) continue;
    try {
      total += doc->innerText(*e).size();
    } catch (const docseek::Error&) {
    }
    try {
      total += doc->href(*e).size();
    } catch (const docseek::Error&) {
    }
  }
  for (const std::string& src : doc->frameSources()) total += src.size();
  return total == static_cast<size_t>(-1);  // never: keeps the reads
}
