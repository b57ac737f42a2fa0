// SPDX-License-Identifier: MIT
// Getinfo from host threads: two at once (the second is a no-op), and from a thread whose
// default GLib context another thread owns. Meant for the tsan preset as well.

#include <glib.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <docseek/string_list.hpp>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "support/plugin_handle.h"
#include "support/search_fixture.h"

namespace docseek::test {
namespace {

using docseek::StringList;
using Lines = std::vector<std::string>;

Lines Records(std::string_view keyword, const Lines& types, int count) {
  Lines out;
  for (const std::string& type : types) {
    for (int n = 0; n < count; ++n) {
      Lines r = SyntheticRecord(keyword, type, n);
      out.insert(out.end(), r.begin(), r.end());
    }
  }
  return out;
}

class Threads : public ::testing::Test {
 protected:
  EngineProcess engine_;
  ProxyTo proxy_{engine_.proxy()};
};

TEST_F(Threads, ASecondThreadsGetinfoDuringASearchDoesNothing) {
  const Lines types = {"pdf", "doc", "xls"};
  StringList first_types(types), first_results;
  StringList second_types{"ppt"}, second_results;
  bool second_done = false;
  // The first search is held inside its first append while the other thread calls, so the
  // calls overlap for certain.
  first_results.on_append([&](std::string_view) {
    if (!second_done) {
      std::thread second([&] {
        PluginHandle::Get().Getinfo(second_results.list(), second_types.list(), 2, "second", "");
      });
      second.join();
      second_done = true;
    }
    return true;
  });
  std::thread first([&] {
    PluginHandle::Get().Getinfo(first_results.list(), first_types.list(), 2, "first", "");
  });
  first.join();
  EXPECT_TRUE(second_done);
  EXPECT_TRUE(second_results.lines().empty());
  EXPECT_EQ(first_results.lines(), Records("first", types, 2));
  EXPECT_EQ(LoggedQueries(engine_),
            (Lines{"first filetype:pdf", "first filetype:doc", "first filetype:xls"}));
}

TEST_F(Threads, AThreadWhoseDefaultContextIsOwnedElsewhereStillSearches) {
  GMainContext* global = g_main_context_default();
  ASSERT_TRUE(g_main_context_acquire(global));  // this thread owns it, as a host's UI would
  StringList types{"pdf", "doc"}, results;
  std::thread worker(
      [&] { PluginHandle::Get().Getinfo(results.list(), types.list(), 2, "worker", ""); });
  worker.join();
  g_main_context_release(global);
  EXPECT_EQ(results.lines(), Records("worker", {"pdf", "doc"}, 2));
}

TEST_F(Threads, AWorkerNeverRunsTheHostsTimersOnTheGlobalDefaultContext) {
  // Nobody holds the global default context at the moment the worker searches; the host's
  // timer attached to it must still not be dispatched on the worker.
  std::atomic<int> ran_on_worker{0};
  std::thread::id worker_id;
  struct Timer {
    std::atomic<int>* ran_on_worker;
    std::thread::id* worker_id;
  } timer{&ran_on_worker, &worker_id};
  const guint source = g_timeout_add(
      1,
      [](gpointer data) -> gboolean {
        auto* t = static_cast<Timer*>(data);
        if (std::this_thread::get_id() == *t->worker_id) ++*t->ran_on_worker;
        return G_SOURCE_CONTINUE;
      },
      &timer);
  StringList types{"pdf", "doc", "xls"}, results;
  std::promise<void> started;
  std::thread worker([&] {
    worker_id = std::this_thread::get_id();
    started.set_value();
    PluginHandle::Get().Getinfo(results.list(), types.list(), 2, "worker", "");
  });
  started.get_future().wait();
  worker.join();
  g_source_remove(source);
  EXPECT_EQ(ran_on_worker.load(), 0);
  EXPECT_EQ(results.lines(), Records("worker", {"pdf", "doc", "xls"}, 2));
}

}  // namespace
}  // namespace docseek::test
