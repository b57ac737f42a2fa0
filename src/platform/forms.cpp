#include "platform/forms.h"

#include <unistd.h>

#include <string>

#include "platform/gtk/window_loader.h"

namespace docseek::platform {

namespace {

class TerminalView final : public FormView {
 public:
  explicit TerminalView(int fd) : fd_(fd), terminal_(isatty(fd) == 1) {}
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

 private:
  void Draw() {
    if (!terminal_ || !shown_) return;
    std::string line = "\r\033[K" + status_.engine;
    if (status_.total > 0) {
      line += " · " + status_.item + " (" + std::to_string(status_.index) + "/" +
              std::to_string(status_.total) + ")";
    }
    line += " · " + std::to_string(status_.hits) + (status_.hits == 1 ? " hit" : " hits");
    Write(line);
    drawn_ = true;
  }

  void Clear() {
    if (!drawn_) return;
    Write("\r\033[K");
    drawn_ = false;
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
  bool shown_ = false;
  bool drawn_ = false;
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
