// SPDX-License-Identifier: MIT
// A thousand searches in one process through the real plug-in: resident memory and open
// descriptors stay flat once warmed up. Under the asan preset LeakSanitizer checks the same
// run at exit; ASan's own quarantine makes resident memory meaningless there, so only
// descriptors are compared.

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <docseek/string_list.hpp>
#include <fstream>
#include <map>
#include <string>

#include "support/search_fixture.h"
#include "support/plugin_handle.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define DOCSEEK_SANITIZED 1
#else
#define DOCSEEK_SANITIZED 0
#endif

namespace docseek::test {
namespace {

using docseek::StringList;

long ResidentKiB() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

int OpenDescriptors() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(dir);
  return count - 1;  // the directory stream itself
}

TEST(Endurance, AThousandSearchesKeepMemoryAndDescriptorsFlat) {
  EngineProcess engine(EngineOptions{.pages = false, .log = false, .args = {}});
  ProxyTo proxy(engine.proxy());
  StringList types{"pdf"};
  const std::vector<std::string> expected = SyntheticRecord("k", "pdf", 0);
  struct Sample {
    long rss_kib;
    int fds;
  };
  std::map<int, Sample> samples;
  const auto start = std::chrono::steady_clock::now();
  for (int call = 1; call <= 1000; ++call) {
    StringList results;
    PluginHandle::Get().Getinfo(results.list(), types.list(), 1, "k", "");
    ASSERT_EQ(results.lines(), expected) << "call " << call;
    if (call == 10 || call == 100 || call == 1000) {
      samples[call] = {ResidentKiB(), OpenDescriptors()};
      std::printf("after %4d calls: RSS %ld KiB, %d open descriptors\n", call,
                  samples[call].rss_kib, samples[call].fds);
    }
  }
  std::printf("1000 calls in %lld ms\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now() - start)
                                         .count()));
  EXPECT_EQ(samples[1000].fds, samples[10].fds);
  EXPECT_EQ(samples[1000].fds, samples[100].fds);
  if (!DOCSEEK_SANITIZED) {
    // 900 searches after warm-up may not grow the process by more than allocator noise.
    EXPECT_LT(samples[1000].rss_kib - samples[100].rss_kib, 2048);
  }
}

}  // namespace
}  // namespace docseek::test
