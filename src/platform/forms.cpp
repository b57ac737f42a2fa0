// SPDX-License-Identifier: MIT
#include "platform/forms.h"

#include <glib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/gtk/window_loader.h"

namespace docseek::platform {

namespace {

// `text` as it may stand on one terminal line: control characters and
// invalid bytes become spaces (a type name is the user's text and could hold
// an escape sequence), cut to `columns` display columns with "…" when cut.
// Returns the columns used in `*used`.
std::string ClipToColumns(const std::string& text, int columns, int* used) {
  std::string out;
  int width = 0;
  const char* p = text.c_str();
  const char* end = p + text.size();
  while (p < end) {
    gunichar c = g_utf8_get_char_validated(p, end - p);
    const char* next = (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2))
                           ? p + 1
                           : g_utf8_next_char(p);
    if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2) || g_unichar_iscntrl(c)) {
      c = ' ';
    }
    const int w = g_unichar_iszerowidth(c) ? 0 : g_unichar_iswide(c) ? 2 : 1;
    if (width + w > columns) {
      // Make room for the ellipsis by taking back what it overlaps.
      while (!out.empty() && width + 1 > columns) {
        const char* last = g_utf8_find_prev_char(out.c_str(), out.c_str() + out.size());
        const gunichar lc = g_utf8_get_char(last);
        width -= g_unichar_iszerowidth(lc) ? 0 : g_unichar_iswide(lc) ? 2 : 1;
        out.resize(static_cast<std::size_t>(last - out.c_str()));
      }
      if (columns >= 1) {
        out += "\u2026";
        ++width;
      }
      break;
    }
    char buffer[6];
    out.append(buffer, static_cast<std::size_t>(g_unichar_to_utf8(c, buffer)));
    width += w;
    p = next;
  }
  if (used != nullptr) *used = width;
  return out;
}

class TerminalView final : public FormView {
 public:
  explicit TerminalView(int fd) : fd_(fd), terminal_(isatty(fd) == 1) {
    const char* term = std::getenv("TERM");
    dumb_ = term != nullptr && std::strcmp(term, "dumb") == 0;
  }
  ~TerminalView() override { Hide(); }

  void Show() override { shown_ = true; }

  void Hide() override {
    Clear();
    shown_ = false;
  }

  void Update(const ProgressStatus& status) override {
    status_ = status;
    Draw();
  }

  void Message(const std::string& text) override {
    Clear();
    Write(text + "\n");
    Draw();
  }

  void Report(const std::string& line) override { Message(line); }

 private:
  void Draw() {
    if (!terminal_ || !shown_) return;
    std::string text = status_.engine;
    if (status_.total > 0) {
      text += " · " + status_.item;
      if (status_.total > 1) {
        text += " (" + std::to_string(status_.index) + "/" + std::to_string(status_.total) + ")";
      }
    }
    text += " · " + std::to_string(status_.hits) + (status_.hits == 1 ? " hit" : " hits");
    // One column short of the width: a line that fills the last column makes
    // some terminals wrap, and the next redraw would then start a new line.
    winsize size{};
    const int columns =
        ioctl(fd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col - 1 : 79;
    int width = 0;
    text = ClipToColumns(text, columns, &width);
    if (dumb_) {
      // No escape sequences: overwrite what was there with spaces.
      const int left = drawn_width_ > width ? drawn_width_ - width : 0;
      Write("\r" + text + std::string(static_cast<std::size_t>(left), ' '));
    } else {
      Write("\r\033[K" + text);
    }
    drawn_ = true;
    drawn_width_ = width;
  }

  void Clear() {
    if (!drawn_) return;
    if (dumb_) {
      Write("\r" + std::string(static_cast<std::size_t>(drawn_width_), ' ') + "\r");
    } else {
      Write("\r\033[K");
    }
    drawn_ = false;
    drawn_width_ = 0;
  }

  void Write(const std::string& text) {
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
      ssize_t n = ::write(fd_, data, left);
      if (n <= 0) return;  // a closed or failing stderr must not stop the search
      data += n;
      left -= static_cast<std::size_t>(n);
    }
  }

  int fd_;
  bool terminal_;
  bool dumb_ = false;
  bool shown_ = false;
  bool drawn_ = false;
  int drawn_width_ = 0;
  ProgressStatus status_;
};

}  // namespace

std::unique_ptr<FormView> MakeTerminalView(int fd) { return std::make_unique<TerminalView>(fd); }

std::unique_ptr<FormView> MakeDefaultView() {
  if (WindowPossible()) {
    if (auto window = LoadWindowView(WindowModulePath())) return window;
  }
  return MakeTerminalView(2);
}

TForm::TForm(EventLoop& loop, std::unique_ptr<FormView> view)
    : loop_(loop), view_(std::move(view)) {
  view_->OnCloseRequest = [this] { Close(); };
}

TForm::~TForm() = default;

void TForm::ShowModal() {
  close_requested_ = false;
  view_->Show();
  try {
    if (OnShow) OnShow();
    loop_.RunUntil(close_requested_);
  } catch (...) {
    view_->Hide();
    throw;
  }
  if (OnClose) OnClose();
  view_->Hide();
}

void TForm::Close() { close_requested_ = true; }

void TForm::ShowMessage(const std::string& text) { view_->Message(text); }

}  // namespace docseek::platform
