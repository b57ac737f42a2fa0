// SPDX-License-Identifier: MIT
#include "search/Unit4.h"

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "extraction/hit_loop.h"
#include "search/diagnosis.h"
#include "search/query_address.h"

namespace docseek::search {

TForm4::TForm4(platform::EventLoop& loop, std::unique_ptr<platform::FormView> view,
               platform::BrowserLimits limits)
    : TForm(loop, std::move(view)), WebBrowser1(loop, limits) {
  OnShow = [this] { FormShow(); };
  OnClose = [this] { FormClose(); };
  WebBrowser1.OnDocumentComplete =
      [this](platform::TWebBrowser* sender, const platform::BrowserObject* frame,
             const std::string& url) { WebBrowser1DocumentComplete(sender, frame, url); };
}

TForm4::~TForm4() = default;

void TForm4::FormShow() {
  URLnum = 0;
  URLlist = std::make_unique<platform::TStringList>();
  const std::size_t types = Ffiletype->Count();
  for (std::size_t i = 0; i < types; ++i) {
    URLlist->Add(QueryAddress(Fkey, Ffiletype->Get(i), Ffilecount));
  }
  progress_.engine = kEngineName;
  progress_.total = static_cast<int>(types);
  std::vector<std::string> addresses;
  addresses.reserve(types);
  for (std::size_t i = 0; i < types; ++i) addresses.push_back(URLlist->Get(i));
  WebBrowser1.Preload(addresses);
  NavigateToCurrent();
}

void TForm4::WebBrowser1DocumentComplete(platform::TWebBrowser*,
                                         const platform::BrowserObject* pDisp, const std::string&) {
  if (pDisp != WebBrowser1.Application()) return;  // a frame inside the page
  if (!WebBrowser1.Document()) return;
  // SetLV moves on to the next page, so what the report needs is taken first.
  const platform::PageOutcome page = WebBrowser1.Outcome();
  const std::string type = progress_.item;
  const int hits_before = progress_.hits;
  std::string read_error;
  try {
    SetLV();
  } catch (const std::exception& e) {
    ShowMessage(kNotFound);
    read_error = e.what();
  }
  if (auto line = Diagnose(type, page, progress_.hits - hits_before, Ffilecount, read_error)) {
    view().Report(*line);
  }
}

void TForm4::SetLV() {
  try {
    if (Flistview != nullptr) {
      extraction::ReadHits(WebBrowser1, ProgressBar1, Ffilecount, *Flistview, [this] {
        ++progress_.hits;
        view().Update(progress_);
      });
    }
  } catch (...) {
    // The next page is on its way before anyone hears of this one's failure.
    NextURL();
    throw;
  }
  NextURL();
}

void TForm4::NextURL() {
  ++URLnum;
  // Whether another type follows is asked of the host's type list, once after
  // each page, the last included. A host that searches several types in one
  // call takes the results list's size at this call as the end of a page
  // (the docseek CLI labels its records so), so this stays one call per page,
  // made after the page's hits are appended. URLlist bounds it too, should
  // the host's list have grown since the search began.
  const std::size_t types = Ffiletype != nullptr ? Ffiletype->Count() : 0;
  if (URLlist && static_cast<std::size_t>(URLnum) < std::min(types, URLlist->Count())) {
    NavigateToCurrent();
  } else {
    Close();
  }
}

void TForm4::FormClose() {
  // A window closed early leaves nothing loading: not the page under way,
  // nor the pages fetched ahead that will never be shown.
  WebBrowser1.Stop();
  URLlist.reset();
  Flistview = nullptr;
  Ffiletype = nullptr;
}

void TForm4::NavigateToCurrent() {
  // The type's name is taken once per query, not per hit, from the host's list.
  const auto index = static_cast<std::size_t>(URLnum);
  progress_.index = URLnum + 1;
  progress_.item = Ffiletype->Get(index);
  view().Update(progress_);
  WebBrowser1.Navigate(URLlist->Get(index));
}

}  // namespace docseek::search
