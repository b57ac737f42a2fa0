// SPDX-License-Identifier: MIT
#pragma once

// The search window: one per search. Shown modally, it loads the engine's
// result page for each document type in turn, reads each page's hits into the
// host's results list, and closes itself after the last page.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/browser.h"
#include "platform/forms.h"
#include "platform/strings.h"

namespace docseek::search {

class TForm4 : public platform::TForm {
 public:
  explicit TForm4(platform::EventLoop& loop,
                  std::unique_ptr<platform::FormView> view = platform::MakeDefaultView(),
                  platform::BrowserLimits limits = {});
  ~TForm4() override;

  platform::TWebBrowser WebBrowser1;
  platform::TProgressBar ProgressBar1;
  std::string Fkey;
  platform::TStrings* Ffiletype = nullptr;  // the host's; read only
  std::int32_t Ffilecount = 0;
  std::unique_ptr<platform::TStringList> URLlist;
  std::int32_t URLnum = 0;
  platform::TStrings* Flistview = nullptr;  // the host's; only appended to

  void FormShow();
  void WebBrowser1DocumentComplete(platform::TWebBrowser* ASender,
                                   const platform::BrowserObject* pDisp, const std::string& URL);
  void SetLV();
  void NextURL();
  void FormClose();

  // Shown when a page fails partway through its hits.
  static constexpr const char* kNotFound = "没有找到";

 private:
  // Shows query URLnum's progress and starts loading it.
  void NavigateToCurrent();
  platform::ProgressStatus progress_;
};

}  // namespace docseek::search
