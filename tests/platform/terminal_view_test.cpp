// SPDX-License-Identifier: MIT
// The indicator that stands in for the window when there is no display.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include "platform/forms.h"

namespace docseek::platform {
namespace {

// A pseudo-terminal: the view writes to its slave side, the test reads the master.
class Pty {
 public:
  Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
      throw std::runtime_error("pty");
    slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY);
    termios raw{};
    tcgetattr(slave_, &raw);
    cfmakeraw(&raw);  // bytes as written, no CR added
    tcsetattr(slave_, TCSANOW, &raw);
  }
  ~Pty() {
    close(slave_);
    close(master_);
  }
  int slave() const { return slave_; }
  std::string Read() {
    std::string out;
    pollfd p{master_, POLLIN, 0};
    char buffer[4096];
    while (poll(&p, 1, 100) > 0) {
      ssize_t n = read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
  }

 private:
  int master_ = -1, slave_ = -1;
};

ProgressStatus Status(const char* item, int index, int total, int hits) {
  ProgressStatus s;
  s.engine = "Sogou";
  s.item = item;
  s.index = index;
  s.total = total;
  s.hits = hits;
  return s;
}

TEST(TerminalView, RedrawsOneLineInPlaceAndClearsItAtTheEnd) {
  Pty pty;
  auto view = MakeTerminalView(pty.slave());
  view->Show();
  view->Update(Status("pdf", 1, 2, 0));
  view->Update(Status("doc", 2, 2, 1));
  view->Hide();
  EXPECT_EQ(pty.Read(),
            "\r\033[KSogou · pdf (1/2) · 0 hits"
            "\r\033[KSogou · doc (2/2) · 1 hit"
            "\r\033[K");
}

TEST(TerminalView, AMessageIsOneLineBetweenRedraws) {
  Pty pty;
  auto view = MakeTerminalView(pty.slave());
  view->Show();
  view->Update(Status("pdf", 1, 2, 3));
  view->Message("没有找到");
  view->Hide();
  EXPECT_EQ(pty.Read(),
            "\r\033[KSogou · pdf (1/2) · 3 hits"
            "\r\033[K没有找到\n"
            "\r\033[KSogou · pdf (1/2) · 3 hits"
            "\r\033[K");
}

TEST(TerminalView, NotATerminalGetsOnlyTheMessage) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  {
    auto view = MakeTerminalView(fds[1]);
    view->Show();
    view->Update(Status("pdf", 1, 1, 2));
    view->Message("没有找到");
    view->Hide();
  }
  close(fds[1]);
  char buffer[256];
  ssize_t n = read(fds[0], buffer, sizeof buffer);
  close(fds[0]);
  EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(std::max<ssize_t>(n, 0))), "没有找到\n");
}

}  // namespace
}  // namespace docseek::platform
