// SPDX-License-Identifier: MIT
// Faults found by probing the plug-in, each as a regression test through the real plug-in.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <docseek/string_list.hpp>
#include <string>
#include <vector>

#include "support/plugin_handle.h"
#include "support/search_fixture.h"

namespace docseek::test {
namespace {

using docseek::StringList;
using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

class ProbedFault : public ::testing::Test {
 protected:
  Lines Records(const StringList& results, std::string_view type) {
    Lines out;
    for (std::size_t i = 0; i + 6 <= results.lines().size(); i += 6) {
      if (results.lines()[i + 1] == type) {
        out.insert(out.end(), results.lines().begin() + i, results.lines().begin() + i + 6);
      }
    }
    return out;
  }
  Lines Synthetic(std::string_view type, int count) {
    Lines out;
    for (int n = 0; n < count; ++n) {
      Lines r = SyntheticRecord("report", type, n);
      out.insert(out.end(), r.begin(), r.end());
    }
    return out;
  }
  // Hosts of every request the engine saw.
  Lines Hosts() {
    Lines out;
    for (const JsonValue& line : engine_.log_lines()) {
      out.push_back(line["host"].is_null() ? "(none)" : line["host"].as_string());
    }
    return out;
  }
  EngineProcess engine_;
  ProxyTo proxy_{engine_.proxy()};
};

TEST_F(ProbedFault, ARedirectToThisMachineIsNotFollowed) {
  StringList types{"toprivate", "pdf"}, results;
  PluginHandle::Get().Getinfo(results.list(), types.list(), 2, "report", "");
  EXPECT_EQ(Hosts(), (Lines{"www.sogou.com", "www.sogou.com"}));
  EXPECT_EQ(results.lines(), Synthetic("pdf", 2));
}

TEST_F(ProbedFault, FramesOnPrivateAddressesAreNotLoaded) {
  StringList types{"privateframe", "pdf"}, results;
  PluginHandle::Get().Getinfo(results.list(), types.list(), 2, "report", "");
  EXPECT_EQ(Hosts(), (Lines{"www.sogou.com", "www.sogou.com"}));
  EXPECT_EQ(results.lines(), Synthetic("pdf", 2));
}

TEST_F(ProbedFault, AChainOfSlowFramesStaysWithinOneNavigationLimit) {
  StringList types{"framechain", "pdf"}, results;
  const Clock::time_point start = Clock::now();
  PluginHandle::Get().Getinfo(results.list(), types.list(), 2, "report", "");
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(35));
  // Frames still loading at the limit are dropped and the page itself completes.
  EXPECT_EQ(results.lines(), [&] {
    Lines all = Synthetic("framechain", 2);
    Lines pdf = Synthetic("pdf", 2);
    all.insert(all.end(), pdf.begin(), pdf.end());
    return all;
  }());
}

TEST_F(ProbedFault, WhatOnePageAppendsIsBoundedByItsSize) {
  const std::size_t page =
      http_get(engine_.url("/web?query=report%20filetype:amplify&num=100")).body.size();
  StringList types{"amplify", "pdf"}, results;
  std::size_t appended = 0;
  results.on_append([&](std::string_view line) {
    appended += line.size();
    return true;
  });
  CaptureStderr quiet;
  PluginHandle::Get().Getinfo(results.list(), types.list(), 100, "report", "");
  EXPECT_LE(appended, 8 * page);
  // Past the bound the page ends as a failed read with whole records only, and the search
  // moves on.
  const Lines pdf = Records(results, "pdf");
  EXPECT_EQ(pdf, Synthetic("pdf", 100));
}

TEST_F(ProbedFault, ATagWithAHundredThousandAttributesCostsSecondsNotMinutes) {
  StringList types{"manyattributes", "pdf"}, results;
  const Clock::time_point start = Clock::now();
  PluginHandle::Get().Getinfo(results.list(), types.list(), 2, "report", "");
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(Records(results, "manyattributes"), Synthetic("manyattributes", 2));
  EXPECT_EQ(Records(results, "pdf"), Synthetic("pdf", 2));
}

// A host whose type list calls back into Getinfo while the plug-in counts it.
struct ReenteringTypes {
  StringList types{"pdf"};
  StringList nested_results;
  int nested_calls = 0;
  docseek_list view{};
  ReenteringTypes() {
    view = *types.list();
    view.context = this;
    view.count = [](void* context) -> std::size_t {
      auto* self = static_cast<ReenteringTypes*>(context);
      if (self->nested_calls++ == 0) {
        StringList nested_types{"doc"};
        PluginHandle::Get().Getinfo(self->nested_results.list(), nested_types.list(), 2, "nested",
                                    "");
      }
      return self->types.lines().size();
    };
    view.line = [](void* context, std::size_t index, std::size_t* length) -> const char* {
      auto* self = static_cast<ReenteringTypes*>(context);
      return self->types.list()->line(self->types.list()->context, index, length);
    };
  }
};

TEST_F(ProbedFault, AGetinfoFromTheTypeListsCountCallbackDoesNothing) {
  ReenteringTypes types;
  StringList results;
  PluginHandle::Get().Getinfo(results.list(), &types.view, 2, "report", "");
  EXPECT_GE(types.nested_calls, 1);
  EXPECT_TRUE(types.nested_results.lines().empty());
  EXPECT_EQ(LoggedQueries(engine_), Lines{"report filetype:pdf"});
  EXPECT_EQ(results.lines(), Synthetic("pdf", 2));
}

}  // namespace
}  // namespace docseek::test
