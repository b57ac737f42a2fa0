// SPDX-License-Identifier: MIT
// One search through the real plug-in that meets every fault mode of the engine (each
// followed by an ordinary type), at the plug-in's own navigation limit.

#include <gtest/gtest.h>

#include <chrono>
#include <docseek/string_list.hpp>
#include <set>
#include <string>
#include <vector>

#include "fault_fixture.h"
#include "support/plugin_handle.h"

namespace docseek::test {
namespace {

using docseek::StringList;
using Clock = std::chrono::steady_clock;

TEST(FaultPlugin, OneSearchMeetsEveryFaultAndEveryOtherTypeIsReadIntact) {
  FaultWorld world;
  ProxyTo proxy(world.engine().proxy());
  // drip waits out the limit just as hang does; one such wait through the plug-in is enough
  // (the in-process table meets drip with a short limit).
  std::vector<std::string> types;
  int ordinary = 0;
  for (const FaultMode& mode : FaultModes()) {
    if (std::string_view(mode.name) == "drip") continue;
    types.push_back(mode.name);
    types.push_back("ok" + std::to_string(ordinary++));
  }
  StringList type_list(types), results;

  const Clock::time_point start = Clock::now();
  PluginHandle::Get().Getinfo(results.list(), type_list.list(), 2, "report", "");
  const auto took = Clock::now() - start;

  // One hang costs the 30 s navigation limit; every other page ends far sooner.
  EXPECT_GE(took, std::chrono::seconds(29));
  EXPECT_LT(took, std::chrono::seconds(30 + 30));
  std::vector<std::string> expected_queries;
  for (const std::string& type : types) expected_queries.push_back("report filetype:" + type);
  // Each query once; the first alone and first, the others fetched ahead in
  // parallel, so their answers are logged in whatever order they arrive.
  const std::vector<std::string> logged = LoggedQueries(world.engine());
  ASSERT_FALSE(logged.empty());
  EXPECT_EQ(logged.front(), expected_queries.front());
  EXPECT_EQ(std::multiset<std::string>(logged.begin(), logged.end()),
            std::multiset<std::string>(expected_queries.begin(), expected_queries.end()));
  ExpectRecords(results.lines(), "report", 2, types, world.secret());
  EXPECT_EQ(world.secret_touches(), 0);
  EXPECT_FALSE(LogMentions(world.engine(), world.secret()));
  // The loopback TLS endpoint is refused by private-network protection before connecting.
  EXPECT_EQ(world.tls().connections(), 0);
  EXPECT_EQ(world.tls().handshakes(), 0);
  std::printf(
      "all faults through the plug-in: %lld ms\n",
      static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
}

}  // namespace
}  // namespace docseek::test
