// SPDX-License-Identifier: MIT
#pragma once

// Our small window library: a form shown modally over the event loop, a
// progress bar and a modal message. Without a display the form is
// a one-line indicator on a terminal's stderr, and nothing when stderr is not
// a terminal.

#include <functional>
#include <memory>
#include <string>

#include "platform/event_loop.h"

namespace docseek::platform {

// What the progress display shows; each field is filled by whoever knows it.
struct ProgressStatus {
  std::string engine;  // the search engine's name
  std::string item;    // what is being loaded, e.g. the document type
  int index = 0;       // 1-based number of that item
  int total = 0;       // number of items
  int hits = 0;        // hits read so far
};

// How a form appears: a window on a display, a terminal line, or nothing.
class FormView {
 public:
  virtual ~FormView() = default;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual void Update(const ProgressStatus& status) = 0;
  // A modal message; returns when it has been acknowledged.
  virtual void Message(const std::string& text) = 0;
  // One line telling the user why an item gave nothing or failed part-way.
  // Only a view with a log of its own shows it; a window has the message box.
  virtual void Report(const std::string& /*line*/) {}

  // Set by the form; a view calls it when the user closes the window by
  // other means (the window manager's close, Alt+F4).
  std::function<void()> OnCloseRequest;
};

// The one-line indicator on stderr (drawn only when stderr is a terminal,
// clipped to its width, without escape sequences when TERM=dumb) and messages
// and reports as single lines on stderr, whatever stderr is.
std::unique_ptr<FormView> MakeTerminalView(int fd = 2);

// The view for this process: the GTK window when a display can be opened
// and the window module loads, otherwise the terminal one.
std::unique_ptr<FormView> MakeDefaultView();

class TProgressBar {
 public:
  int Position = 0;
  void StepBy(int delta) { Position += delta; }
};

class TForm {
 public:
  explicit TForm(EventLoop& loop, std::unique_ptr<FormView> view = MakeDefaultView());
  virtual ~TForm();
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;

  // Shows the form and runs its modal loop until Close(). OnShow runs first,
  // inside the modal display; OnClose runs after the loop has ended. A failure
  // of a callback during the display ends it and is rethrown here.
  void ShowModal();
  // Ends the modal display once the event being handled has returned.
  void Close();

  // A modal message over the form.
  void ShowMessage(const std::string& text);

  std::function<void()> OnShow;
  std::function<void()> OnClose;

 protected:
  EventLoop& loop() const { return loop_; }
  FormView& view() const { return *view_; }

 private:
  EventLoop& loop_;
  std::unique_ptr<FormView> view_;
  bool close_requested_ = false;
};

}  // namespace docseek::platform
