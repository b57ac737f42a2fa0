// SPDX-License-Identifier: MIT
// How long the worst pages we can think of take to parse and read: each is
// at most the 16 MiB a page may be, parsed as the browser does, then every
// element with an id is looked up and read (innerText, and href for links)
// as the hit loop would. Prints one line per page: bytes, parse and read
// times in milliseconds.
//
//   hostile_pages [NAME...]   (all pages when none is named)

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/dom/document.h"
#include "platform/error.h"
#include "platform/limits.h"

namespace {

using docseek::dom::Document;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kPage = docseek::kMaxPageBytes;

std::string Fill(const std::string& head, const std::function<std::string(int)>& unit,
                 const std::string& tail) {
  std::string page = head;
  for (int i = 0; page.size() + tail.size() < kPage; ++i) {
    std::string u = unit(i);
    if (page.size() + u.size() + tail.size() > kPage) break;
    page += u;
  }
  return page + tail;
}

struct Case {
  const char* name;
  std::function<std::string()> make;
  int reads;  // ids 0..reads-1 are read as the hit loop reads them ("uigs", summary)
};

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"attributes-one-tag",
       [] {
         return Fill(
             "<div", [](int i) { return " a" + std::to_string(i); }, ">x</div>");
       },
       0},
      {"attributes-many-tags",
       [] {
         return Fill(
             "<body>",
             [](int i) {
               std::string t = "<span";
               for (int k = 0; k < 80; ++k) t += " a" + std::to_string(k);
               return t + (i % 2 ? "></span>" : ">");
             },
             "");
       },
       0},
      {"attributes-repeated-body",
       [] {
         return Fill(
             "<body>",
             [](int i) {
               std::string t = "<body";
               for (int k = 0; k < 60; ++k) t += " a" + std::to_string(i * 60 + k);
               return t + ">";
             },
             "");
       },
       0},
      {"nesting",
       [] {
         return Fill(
             "", [](int) { return "<div>"; }, "");
       },
       0},
      {"formatting",
       [] {
         return Fill(
             "", [](int i) { return "<p><b x=" + std::to_string(i) + ">t</p>"; }, "");
       },
       0},
      {"table-cells",
       [] {
         return Fill(
             "<table><tr>", [](int) { return "<td>x"; }, "");
       },
       0},
      {"huge-text",
       [] { return "<div id=cacheresult_summary_0>" + std::string(kPage - 64, 'x') + "</div>"; },
       1},
      {"many-ids",
       [] {
         return Fill(
             "<body>",
             [](int i) {
               const std::string n = std::to_string(i);
               return "<a id=uigs" + n + " href=/x" + n + ".pdf>t</a>";
             },
             "");
       },
       100000},
      {"nested-summaries-empty-spans",
       [] {
         std::string open;
         for (int i = 0; i < 500; ++i)
           open += "<div id=cacheresult_summary_" + std::to_string(i) + ">";
         return Fill(
             open, [](int) { return "<span></span>"; }, "");
       },
       500},
      {"nested-summaries-text",
       [] {
         std::string open;
         for (int i = 0; i < 500; ++i)
           open += "<div id=cacheresult_summary_" + std::to_string(i) + ">";
         return open + std::string(kPage - open.size(), 'x');
       },
       500},
  };
  return cases;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  std::printf("%-30s %10s %10s %10s %12s\n", "page", "bytes", "parse ms", "read ms", "read bytes");
  for (const Case& c : Cases()) {
    if (argc > 1) {
      bool wanted = false;
      for (int i = 1; i < argc; ++i) wanted = wanted || std::string(argv[i]) == c.name;
      if (!wanted) continue;
    }
    const std::string page = c.make();
    const Clock::time_point start = Clock::now();
    auto document = Document::FromUtf8(page, "http://example.com/");
    const Clock::time_point parsed = Clock::now();
    std::size_t bytes = 0;
    for (int n = 0; n < c.reads; ++n) {
      for (const std::string& id :
           {"uigs" + std::to_string(n), "cacheresult_summary_" + std::to_string(n)}) {
        const auto* element = document->getElementById(id);
        if (element == nullptr) continue;
        try {
          bytes += document->innerText(*element).size();
          if (id.starts_with("uigs")) bytes += document->href(*element).size();
        } catch (const docseek::Error&) {
          // a read refused: what a hostile page gets
        }
      }
    }
    const Clock::time_point read = Clock::now();
    std::printf("%-30s %10zu %10.0f %10.0f %12zu\n", c.name, page.size(), Ms(parsed - start),
                Ms(read - parsed), bytes);
    std::fflush(stdout);
  }
  return 0;
}
