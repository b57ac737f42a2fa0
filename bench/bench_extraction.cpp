// SPDX-License-Identifier: MIT
// Extraction benchmark: the engine's result page (100 hits, ~300 KB).
//
//   bench_extraction [benchmark flags]      run the benchmarks
//   bench_extraction --write-page FILE [--big]
//                                           write the page (for bench/lxml_bench.py) and exit;
//                                           --big: the ~1 MB page
//   bench_extraction --repeat WORK N [--big]
//                                           do WORK N times and exit, without the benchmark
//                                           library (for instruction counts under callgrind);
//                                           WORK: parse (stock gumbo: parse + destroy),
//                                           load-and-read (docseek: load with the parse memory
//                                           kept across pages as the browser does, and the
//                                           reads) or libxml2 (htmlReadMemory + xmlFreeDoc)
//   bench_extraction --stress MIB           time Document::FromUtf8 on hostile pages of MIB MiB
//                                           (deep nesting, re-opened formatting...) and exit
//
// GumboParse           gumbo_parse + gumbo_destroy_output, default options: the parser alone
// PageAndReads/K       what the browser does per page: Document::Load with its arena kept
//                      across pages, then the reads of 100 hits (K: 0 the page, 1 the ~1 MB page)
// StockGumbo/K         gumbo_parse + gumbo_destroy_output on the same bytes
// Libxml2/K            libxml2's HTML parser (htmlReadMemory + xmlFreeDoc), the C floor for a
//                      parser that is not HTML5
// DocumentLoad         Document::Load: decoding, markup guard, parse, id index
// LoadAndReads         Document::Load + the reads of the hit loop for 100 hits
// ReadsOnly            the reads alone, on a loaded document
// Decode               DecodeToUtf8 of the page (UTF-8 declared: validation and copy)
// MarkupGuard          the pass before gumbo (depth model, noscript), alone
// LoadGb18030          Document::Load of the same page in GB18030 bytes, labelled gbk
//
// The reads per hit n: getElementById + innerText of uigs<n>, getElementById +
// href of uigs<n>, innerText of cacheresult_info_<n>, innerText of
// cacheresult_summary_<n>, href of uigs<n> again.

#include <benchmark/benchmark.h>
#include <gumbo.h>
#include <iconv.h>
#include <libxml/HTMLparser.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "platform/dom/arena.h"
#include "platform/dom/document.h"
#include "platform/encoding/sniff.h"
#include "platform/html/markup_guard.h"
#include "result_page.h"

namespace {

using docseek::dom::Document;
using docseek::dom::Element;

constexpr int kHits = 100;

const std::string& Page() {
  static const std::string page = docseek::bench::ResultPage(kHits);
  return page;
}

// The same markup with more hits, past 1 MB; the reads stay those of 100 hits.
const std::string& BigPage() {
  static const std::string page = [] {
    int hits = kHits;
    std::string p = docseek::bench::ResultPage(hits);
    while (p.size() < (std::size_t{1} << 20)) p = docseek::bench::ResultPage(hits += 50);
    return p;
  }();
  return page;
}

const std::string& PageOf(int big) { return big ? BigPage() : Page(); }

// The page in GB18030 bytes, its <meta> saying so.
const std::string& PageGb18030() {
  static const std::string page = [] {
    std::string utf8 = Page();
    const std::string from = "charset=utf-8";
    utf8.replace(utf8.find(from), from.size(), "charset=gbk");
    std::string out(utf8.size() * 2, '\0');
    iconv_t cd = iconv_open("GB18030", "UTF-8");
    char* in = utf8.data();
    size_t in_left = utf8.size();
    char* dst = out.data();
    size_t dst_left = out.size();
    if (cd == reinterpret_cast<iconv_t>(-1) ||
        iconv(cd, &in, &in_left, &dst, &dst_left) == static_cast<size_t>(-1)) {
      std::cerr << "iconv to GB18030 failed\n";
      std::exit(1);
    }
    iconv_close(cd);
    out.resize(out.size() - dst_left);
    return out;
  }();
  return page;
}

struct HitIds {
  std::string title, info, summary;
};

const std::vector<HitIds>& Ids() {
  static const std::vector<HitIds> ids = [] {
    std::vector<HitIds> v;
    for (int n = 0; n < kHits; ++n) {
      const std::string i = std::to_string(n);
      v.push_back({"uigs" + i, "cacheresult_info_" + i, "cacheresult_summary_" + i});
    }
    return v;
  }();
  return ids;
}

struct Hit {
  std::string title, link, info, summary, link_again;
};

// The hit loop's reads; returns the total size read (so nothing is optimized away).
size_t ReadHits(const Document& doc, std::vector<Hit>* out = nullptr) {
  size_t total = 0;
  for (const HitIds& ids : Ids()) {
    Hit hit;
    const Element* title = doc.getElementById(ids.title);
    if (!title) continue;
    hit.title = doc.innerText(*title);
    hit.link = doc.href(*doc.getElementById(ids.title));
    if (const Element* info = doc.getElementById(ids.info)) hit.info = doc.innerText(*info);
    if (const Element* summary = doc.getElementById(ids.summary)) {
      hit.summary = doc.innerText(*summary);
    }
    hit.link_again = doc.href(*title);
    total += hit.title.size() + hit.link.size() + hit.info.size() + hit.summary.size() +
             hit.link_again.size();
    if (out) out->push_back(std::move(hit));
  }
  return total;
}

void BM_GumboParse(benchmark::State& state) {
  const std::string& page = Page();
  for (auto _ : state) {
    GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, page.data(), page.size());
    benchmark::DoNotOptimize(output->root);
    gumbo_destroy_output(&kGumboDefaultOptions, output);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_GumboParse)->Unit(benchmark::kMillisecond);

void BM_DocumentLoad(benchmark::State& state) {
  const std::string& page = Page();
  for (auto _ : state) {
    auto doc = Document::Load(page, "text/html; charset=utf-8", docseek::bench::kPageUrl);
    benchmark::DoNotOptimize(doc.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_DocumentLoad)->Unit(benchmark::kMillisecond);

void BM_LoadAndReads(benchmark::State& state) {
  const std::string& page = Page();
  for (auto _ : state) {
    auto doc = Document::Load(page, "text/html; charset=utf-8", docseek::bench::kPageUrl);
    benchmark::DoNotOptimize(ReadHits(*doc));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_LoadAndReads)->Unit(benchmark::kMillisecond);

void BM_Decode(benchmark::State& state) {
  const std::string& page = Page();
  for (auto _ : state) {
    auto decoded = docseek::encoding::DecodeToUtf8(page, "text/html; charset=utf-8");
    benchmark::DoNotOptimize(decoded.text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond);

void BM_MarkupGuard(benchmark::State& state) {
  const std::string& page = Page();
  for (auto _ : state) {
    std::string out;
    benchmark::DoNotOptimize(docseek::html::GuardMarkup(page, &out));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_MarkupGuard)->Unit(benchmark::kMillisecond);

void BM_LoadGb18030(benchmark::State& state) {
  const std::string& page = PageGb18030();
  for (auto _ : state) {
    auto doc = Document::Load(page, "text/html", docseek::bench::kPageUrl);
    benchmark::DoNotOptimize(doc.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_LoadGb18030)->Unit(benchmark::kMillisecond);

void BM_ReadsOnly(benchmark::State& state) {
  auto doc = Document::Load(Page(), "text/html; charset=utf-8", docseek::bench::kPageUrl);
  for (auto _ : state) benchmark::DoNotOptimize(ReadHits(*doc));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kHits * 7));  // 7 calls a hit
}
BENCHMARK(BM_ReadsOnly)->Unit(benchmark::kMicrosecond);

// One page as the browser handles it, the parse memory kept from the page before.
size_t PageAndReads(const std::string& page, docseek::dom::ArenaPool& pool) {
  auto doc = Document::Load(page, "text/html; charset=utf-8", docseek::bench::kPageUrl, &pool);
  return ReadHits(*doc);
}

size_t StockGumbo(const std::string& page) {
  GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, page.data(), page.size());
  const size_t got = output->root != nullptr;
  gumbo_destroy_output(&kGumboDefaultOptions, output);
  return got;
}

size_t Libxml2(const std::string& page) {
  htmlDocPtr doc =
      htmlReadMemory(page.data(), static_cast<int>(page.size()), docseek::bench::kPageUrl, "UTF-8",
                     HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                         HTML_PARSE_NONET | HTML_PARSE_COMPACT);
  const size_t got = doc != nullptr;
  xmlFreeDoc(doc);
  return got;
}

void BM_PageAndReads(benchmark::State& state) {
  const std::string& page = PageOf(static_cast<int>(state.range(0)));
  docseek::dom::ArenaPool pool;
  for (auto _ : state) benchmark::DoNotOptimize(PageAndReads(page, pool));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_PageAndReads)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_StockGumbo(benchmark::State& state) {
  const std::string& page = PageOf(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(StockGumbo(page));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_StockGumbo)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Libxml2(benchmark::State& state) {
  const std::string& page = PageOf(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(Libxml2(page));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_Libxml2)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The numbers mean nothing if the reads are wrong: check them once.
bool Verify(const std::string& page, const char* encoding) {
  auto doc = Document::Load(page, "text/html", docseek::bench::kPageUrl);
  if (doc->encoding() != encoding) {
    std::cerr << "page read as " << doc->encoding() << ", not " << encoding << "\n";
    return false;
  }
  std::vector<Hit> hits;
  ReadHits(*doc, &hits);
  if (hits.size() != kHits) {
    std::cerr << "expected " << kHits << " hits, read " << hits.size() << "\n";
    return false;
  }
  for (int n = 0; n < kHits; ++n) {
    const std::string i = std::to_string(n);
    const Hit& h = hits[n];
    const std::string link = "http://www.example.com/files/report-" + i + ".pdf";
    if (h.title != "年度report报告 " + i || h.link != link || h.link_again != link ||
        h.info != "www.example.com/files/report-" + i + ".pdf - 123K - 2010-5-3" ||
        h.summary.find("highlight") == std::string::npos ||
        h.summary.find('<') != std::string::npos) {
      std::cerr << "hit " << n << " read wrong: [" << h.title << "] [" << h.link << "] [" << h.info
                << "] [" << h.summary << "]\n";
      return false;
    }
  }
  return true;
}

std::string Repeat(const std::string& s, size_t bytes) {
  std::string out;
  while (out.size() + s.size() <= bytes) out += s;
  return out;
}

// Pages built to hit gumbo's weak spots: each must load in bounded time.
int Stress(size_t mib) {
  const size_t bytes = mib << 20;
  const std::string deep = Repeat("<div>", 5 * 509);  // at the depth limit
  std::string distinct_b, reopen;
  for (int i = 0; distinct_b.size() + 16 < bytes; ++i)
    distinct_b += "<b x=" + std::to_string(i) + ">";
  for (int i = 0; reopen.size() + 32 < bytes; ++i) {
    reopen += "<p><b x=" + std::to_string(i % 600) + ">t</p>";
  }
  const std::pair<const char*, std::string> cases[] = {
      {"unclosed <div>", Repeat("<div>", bytes)},
      {"<div></div> at depth 510", deep + Repeat("<div></div>", bytes - deep.size())},
      {"<p>x</p> at depth 510", deep + Repeat("<p>x</p>", bytes - deep.size())},
      {"unclosed <b>", Repeat("<b>", bytes)},
      {"unclosed <b x=N>", distinct_b},
      {"<p><b x=N%600>t</p> (re-opened formatting)", reopen},
      {"unclosed <table>", Repeat("<table>", bytes)},
      {"unclosed <table><tr><td>", Repeat("<table><tr><td>", bytes)},
      {"unclosed <a>", Repeat("<a>", bytes)},
      {"<a><b></a></b>", Repeat("<a><b></a></b>", bytes)},
      {"unclosed <li>x", Repeat("<li>x", bytes)},
      {"unclosed <svg><g>", Repeat("<svg><g>", bytes)},
      {"<select> + unclosed <option>", "<select>" + Repeat("<option>x", bytes)},
      {"comments", Repeat("<!-- x -->", bytes)},
      {"one tag, many attributes", "<div " + Repeat("a=b ", bytes) + ">"},
      {"text only", Repeat("lorem ipsum ", bytes)},
  };
  for (const auto& [name, html] : cases) {
    const auto start = std::chrono::steady_clock::now();
    auto doc = Document::FromUtf8(html, "http://www.example.com/");
    benchmark::DoNotOptimize(doc->getElementById("x"));
    doc.reset();
    const double s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-46s %8.3f s\n", name, s);
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  bool big = false;
  for (int i = 1; i < argc; ++i) big = big || std::strcmp(argv[i], "--big") == 0;
  if (big) --argc;  // --big comes last
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--write-page") == 0) {
      if (i + 1 >= argc) {
        std::cerr << "usage: " << argv[0] << " --write-page FILE [--big]\n";
        return 2;
      }
      std::ofstream out(argv[i + 1], std::ios::binary);
      out << PageOf(big);
      return out ? 0 : 1;
    }
  }
  if (argc == 3 && std::strcmp(argv[1], "--stress") == 0) {
    return Stress(static_cast<size_t>(std::atoi(argv[2])));
  }
  if (argc == 4 && std::strcmp(argv[1], "--repeat") == 0) {
    const std::string& page = PageOf(big);
    const int n = std::atoi(argv[3]);
    const std::string work = argv[2];
    docseek::dom::ArenaPool pool;
    size_t total = 0;
    for (int k = 0; k < n; ++k) {
      if (work == "parse") {
        total += StockGumbo(page);
      } else if (work == "libxml2") {
        total += Libxml2(page);
      } else if (work == "load-and-read") {
        total += PageAndReads(page, pool);
      } else {
        std::cerr << "unknown work " << work << "\n";
        return 2;
      }
    }
    std::printf("%zu\n", total);
    return 0;
  }
  if (!Verify(Page(), "UTF-8") || !Verify(PageGb18030(), "GBK") ||
      !Verify(BigPage(), "UTF-8")) {
    return 1;
  }
  benchmark::AddCustomContext("page_bytes", std::to_string(Page().size()));
  benchmark::AddCustomContext("big_page_bytes", std::to_string(BigPage().size()));
  benchmark::AddCustomContext("hits", std::to_string(kHits));
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
