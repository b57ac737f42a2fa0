// SPDX-License-Identifier: MIT
// The user closing the search window by other means, seen through the seam
// every view uses (FormView::OnCloseRequest), without a display: the request
// arrives through the event loop like any window event.

#include <glib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/event_loop.h"
#include "platform/strings.h"
#include "search/Unit4.h"
#include "support/search_fixture.h"

namespace docseek::test {
namespace {

using Lines = std::vector<std::string>;

// A view whose user closes it: when the page with number `close_at` starts
// loading, or at once from inside the message box.
class ClosingView : public platform::FormView {
 public:
  ClosingView(platform::EventLoop& loop, int close_at, int& hides)
      : loop_(loop), close_at_(close_at), hides_(hides) {}
  void Show() override {}
  void Hide() override { ++hides_; }
  void Update(const platform::ProgressStatus& status) override {
    if (close_at_ <= 0 || status.index != close_at_) return;
    close_at_ = -1;
    // Like a click on the window manager's close button: a later event.
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);  // where window events arrive
    g_source_set_callback(
        source,
        +[](gpointer data) {
          auto* view = static_cast<ClosingView*>(data);
          if (view->OnCloseRequest) view->OnCloseRequest();
          return G_SOURCE_REMOVE;
        },
        this, nullptr);
    g_source_attach(source, loop_.native_context());
    g_source_unref(source);
  }
  void Message(const std::string&) override {
    if (close_at_ == 0 && OnCloseRequest) OnCloseRequest();
  }

 private:
  platform::EventLoop& loop_;
  int close_at_;
  int& hides_;
};

Lines Synthetic(std::string_view type, int count) {
  Lines out;
  for (int n = 0; n < count; ++n) {
    const Lines record = SyntheticRecord("report", type, n);
    out.insert(out.end(), record.begin(), record.end());
  }
  return out;
}

class CloseRequest : public ::testing::Test {
 protected:
  // Runs a search of pdf, doc, xls in a window whose view closes as told.
  void Search(int close_at) {
    for (const char* type : {"pdf", "doc", "xls"}) types_.Add(type);
    search::TForm4 form(loop_, std::make_unique<ClosingView>(loop_, close_at, hides_));
    form.Ffiletype = &types_;
    form.Flistview = &results_;
    form.Ffilecount = 2;
    form.Fkey = "report";
    form.ShowModal();
    closed_cleanly_ = form.URLlist == nullptr && form.Flistview == nullptr;
  }

  // The pages after the first are fetched ahead, so later queries may have
  // gone out before the close (and reach the engine a moment after it); but
  // each only once, and nothing more once those have arrived.
  void ExpectNothingAskedAfterTheClose() {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const Lines settled = LoggedQueries(engine_);
    EXPECT_EQ(std::set<std::string>(settled.begin(), settled.end()).size(), settled.size());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(LoggedQueries(engine_), settled) << "the search went on after the close";
  }

  EngineProcess engine_;
  ProxyTo proxy_{engine_.proxy()};
  platform::EventLoop loop_;
  platform::TStringList types_, results_;
  int hides_ = 0;
  bool closed_cleanly_ = false;
};

TEST_F(CloseRequest, WhileThePageLoadsEndsTheSearchWithThePagesReadSoFar) {
  Search(2);  // closed as the doc page starts loading
  Lines lines;
  for (std::size_t i = 0; i < results_.Count(); ++i) lines.push_back(results_.Get(i));
  EXPECT_EQ(lines, Synthetic("pdf", 2));
  EXPECT_TRUE(closed_cleanly_) << "FormClose did not run";
  EXPECT_EQ(hides_, 1);
  ExpectNothingAskedAfterTheClose();
}

TEST_F(CloseRequest, WhileTheMessageIsUpEndsTheSearchOnceItIsDismissed) {
  std::vector<PageHit> hits = NumberedHits(4);
  hits[1].with_info = false;  // the pdf page fails at hit 1: the message comes up
  engine_.write_page("pdf.html", ResultPage(hits));
  Search(0);
  ASSERT_EQ(results_.Count(), 6u);  // hit 0's whole record
  EXPECT_EQ(results_.Get(0), "Title 0");
  EXPECT_TRUE(closed_cleanly_);
  EXPECT_EQ(hides_, 1);
  ExpectNothingAskedAfterTheClose();
}

}  // namespace
}  // namespace docseek::test
