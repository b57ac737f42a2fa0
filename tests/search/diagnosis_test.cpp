// SPDX-License-Identifier: MIT
// What the search window tells the user about one type's page, in-process:
// the wording for every outcome, and a timeout, which the program cannot
// reach in a test's time since its limit is fixed at thirty seconds.
#include "search/diagnosis.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "platform/strings.h"
#include "search/Unit4.h"

namespace docseek::search {
namespace {

using platform::HttpErrorKind;
using platform::PageOutcome;

TEST(Diagnose, NamesTheTypeAndTheCause) {
  const std::string query = "http://www.sogou.com/web?query=k";
  const struct {
    PageOutcome page;
    int hits;
    std::int32_t count;
    std::string read_error;
    std::optional<std::string> line;
  } cases[] = {
      // Hits read: nothing to say, whatever else the page was.
      {{200, query}, 3, 10, "", std::nullopt},
      {{200, query}, 0, 0, "", std::nullopt},
      {{200, query}, 0, -5, "", std::nullopt},
      {{200, query}, 0, 10, "", "docseek: pdf: no results (the result page lists no hits)"},
      {{429, query}, 0, 10, "", "docseek: pdf: the engine is limiting requests (HTTP 429)"},
      {{403, query}, 0, 0, "", "docseek: pdf: the engine is limiting requests (HTTP 403)"},
      {{200, "http://www.sogou.com/antispider/?from=%2Fweb"},
       0,
       10,
       "",
       "docseek: pdf: the engine is limiting requests: it answered with a verification page "
       "(http://www.sogou.com/antispider/?from=%2Fweb)"},
      {{404, "http://www.sogou.com/antispiderx"},
       0,
       10,
       "",
       "docseek: pdf: the engine is limiting requests: it answered with a verification page "
       "(http://www.sogou.com/antispiderx)"},
      // Only the path counts, not a query that mentions it.
      {{200, "http://www.sogou.com/web?x=/antispider"},
       0,
       10,
       "",
       "docseek: pdf: no results (the result page lists no hits)"},
      {{500, query}, 0, 10, "", "docseek: pdf: the engine answered HTTP 500"},
      {{0, query, HttpErrorKind::kRefused, "Connection refused"},
       0,
       10,
       "",
       "docseek: pdf: cannot connect to the engine or the proxy (connection refused): "
       "Connection refused"},
      {{0, query, HttpErrorKind::kDns, "Could not resolve proxy: nowhere"},
       0,
       10,
       "",
       "docseek: pdf: cannot find the engine's or the proxy's address (DNS): Could not resolve "
       "proxy: nowhere"},
      {{0, query, HttpErrorKind::kTimeout, "Operation timed out"},
       0,
       10,
       "",
       "docseek: pdf: the engine did not answer in time (timeout): Operation timed out"},
      {{0, query, HttpErrorKind::kTls, "wrong version number"},
       0,
       10,
       "",
       "docseek: pdf: the secure connection failed (TLS): wrong version number"},
      {{0, query, HttpErrorKind::kTooLarge, "page larger than 16 MiB"},
       0,
       10,
       "",
       "docseek: pdf: the result page is too large: page larger than 16 MiB"},
      {{0, query, HttpErrorKind::kRefusedRedirect, "too many redirects"},
       0,
       10,
       "",
       "docseek: pdf: the engine's redirect was refused: too many redirects"},
      {{200, query, HttpErrorKind::kOther, "cannot decode"},
       0,
       10,
       "",
       "docseek: pdf: the result page could not be loaded: cannot decode"},
      // A page that failed part-way says after how many hits and why.
      {{200, query},
       2,
       10,
       "hit 2: no element with id \"cacheresult_summary_2\" (reading innerText)",
       "docseek: pdf: the result page could not be read after 2 hits: hit 2: no element with id "
       "\"cacheresult_summary_2\" (reading innerText)"},
      {{200, query},
       1,
       10,
       "hit 1: the link has no suffix",
       "docseek: pdf: the result page could not be read after 1 hit: hit 1: the link has no "
       "suffix"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line.value_or("(nothing)"));
    EXPECT_EQ(Diagnose("pdf", c.page, c.hits, c.count, c.read_error), c.line);
  }
}

class Reports : public platform::FormView {
 public:
  explicit Reports(std::vector<std::string>& lines) : lines_(lines) {}
  void Show() override {}
  void Hide() override {}
  void Update(const platform::ProgressStatus&) override {}
  void Message(const std::string& text) override { lines_.push_back(text); }
  void Report(const std::string& line) override { lines_.push_back(line); }

 private:
  std::vector<std::string>& lines_;
};

// A proxy that accepts connections and never answers.
class SilentProxy {
 public:
  SilentProxy() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd_, 8) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
  }
  ~SilentProxy() { close(fd_); }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  int fd_ = -1;
  int port_ = 0;
};

TEST(Diagnose, ATimeoutIsReportedPerType) {
  SilentProxy proxy;
  const char* saved = std::getenv("http_proxy");
  const std::optional<std::string> previous =
      saved != nullptr ? std::optional<std::string>(saved) : std::nullopt;
  setenv("http_proxy", proxy.url().c_str(), 1);
  std::vector<std::string> lines;
  {
    platform::EventLoop loop;
    platform::BrowserLimits limits;
    limits.http.timeout_ms = 300;
    TForm4 form(loop, std::make_unique<Reports>(lines), limits);
    platform::TStringList types;
    types.Add("pdf");
    types.Add("doc");
    platform::TStringList results;
    form.Ffiletype = &types;
    form.Flistview = &results;
    form.Ffilecount = 10;
    form.Fkey = "k";
    form.ShowModal();
    EXPECT_EQ(results.Count(), 0u);
  }
  if (previous) {
    setenv("http_proxy", previous->c_str(), 1);
  } else {
    unsetenv("http_proxy");
  }
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(lines[0].starts_with("docseek: pdf: the engine did not answer in time (timeout)"))
      << lines[0];
  EXPECT_TRUE(lines[1].starts_with("docseek: doc: the engine did not answer in time (timeout)"))
      << lines[1];
}

}  // namespace
}  // namespace docseek::search
