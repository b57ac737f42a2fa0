// SPDX-License-Identifier: MIT
// Each fault mode met by the search window in-process, one search per mode followed by an
// ordinary type, with navigation limits short enough that the slow modes cost seconds.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "fault_fixture.h"
#include "platform/browser.h"
#include "platform/event_loop.h"
#include "platform/strings.h"
#include "search/Unit4.h"

namespace docseek::test {
namespace {

using search::TForm4;
using Clock = std::chrono::steady_clock;

class QuietView : public platform::FormView {
 public:
  void Show() override {}
  void Hide() override {}
  void Update(const platform::ProgressStatus&) override {}
  void Message(const std::string& text) override { messages.push_back(text); }
  std::vector<std::string> messages;
};

constexpr long kLimitMs = 3000;
// A navigation may use its limit once; parsing and reading a hostile page gets the rest.
constexpr auto kSearchBound = std::chrono::milliseconds(kLimitMs) + std::chrono::seconds(7);

class FaultWindow : public ::testing::TestWithParam<FaultMode> {
 protected:
  FaultWorld world_;
  ProxyTo proxy_{world_.engine().proxy()};
  platform::EventLoop loop_;
};

TEST_P(FaultWindow, TheSearchEndsInTimeAndTheNextPageIsIntact) {
  const FaultMode& mode = GetParam();
  const std::vector<std::string> types = {mode.name, "pdf"};
  platform::TStringList type_list, results;
  for (const std::string& type : types) type_list.Add(type);

  platform::BrowserLimits limits;
  limits.http.timeout_ms = kLimitMs;
  limits.http.connect_timeout_ms = kLimitMs;
  auto view = std::make_unique<QuietView>();
  TForm4 form(loop_, std::move(view), limits);
  form.Ffiletype = &type_list;
  form.Flistview = &results;
  form.Ffilecount = 3;
  form.Fkey = "report";
  const Clock::time_point start = Clock::now();
  form.ShowModal();
  const auto took = Clock::now() - start;

  EXPECT_LT(took, kSearchBound);
  if (mode.slow) {
    EXPECT_GE(took, std::chrono::milliseconds(kLimitMs));
  }
  EXPECT_EQ(form.URLnum, 2);
  EXPECT_EQ(LoggedQueries(world_.engine()),
            (std::vector<std::string>{std::string("report filetype:") + mode.name,
                                      "report filetype:pdf"}));
  ExpectRecords(results.lines(), "report", 3, types, world_.secret());
  EXPECT_EQ(world_.secret_touches(), 0);
  EXPECT_FALSE(LogMentions(world_.engine(), world_.secret()));
  if (std::string_view(mode.name) == "tls") {
    // The endpoint is on this machine and the result page is not: private-network protection
    // refuses it before connecting (the certificate check is met below, from a loopback page).
    EXPECT_EQ(world_.tls().connections(), 0);
    EXPECT_EQ(world_.tls().handshakes(), 0);
  }
  std::printf(
      "fault %-12s %5lld ms\n", mode.name,
      static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
}

// From a page on this machine the loopback TLS endpoint may be reached: the browser connects
// and refuses the self-signed certificate.
TEST(FaultTls, ASelfSignedCertificateIsRefused) {
  FaultWorld world;
  setenv("no_proxy", "127.0.0.1", 1);
  platform::EventLoop loop;
  platform::TWebBrowser browser(loop);
  bool done = false;
  browser.OnDocumentComplete = [&](platform::TWebBrowser* sender,
                                   const platform::BrowserObject* frame, const std::string&) {
    if (frame == sender->Application()) done = true;
  };
  browser.Navigate(world.engine().url("/fault/tls"));
  loop.RunUntil(done);
  unsetenv("no_proxy");
  ASSERT_TRUE(browser.Document());
  EXPECT_NE(browser.Document()->getElementById("error-reason"), nullptr);
  EXPECT_EQ(browser.Document()->getElementById("uigs0"), nullptr);
  EXPECT_GE(world.tls().connections(), 1);  // the browser did reach the endpoint
  EXPECT_EQ(world.tls().handshakes(), 0);   // and refused its certificate
}

INSTANTIATE_TEST_SUITE_P(Modes, FaultWindow, ::testing::ValuesIn(FaultModes()),
                         [](const ::testing::TestParamInfo<FaultMode>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace docseek::test
