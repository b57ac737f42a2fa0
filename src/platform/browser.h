// SPDX-License-Identifier: MIT
#pragma once

// Our embedded browser: loads a page asynchronously on the caller's thread,
// loads its frames, and reports each finished document through
// OnDocumentComplete, the top page last, as browsers do.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dom/arena.h"
#include "platform/dom/document.h"
#include "platform/event_loop.h"
#include "platform/http.h"
#include "platform/preload.h"

namespace docseek::platform {

// The identity of one browsing context: the top-level browser or one of its
// frames. Handlers compare the object a completion names with the browser's
// Application() to tell the page itself from its frames.
class BrowserObject {
 public:
  BrowserObject() = default;
  BrowserObject(const BrowserObject&) = delete;
  BrowserObject& operator=(const BrowserObject&) = delete;
};

struct BrowserLimits {
  HttpLimits http;
  int max_frame_depth = 3;  // frames inside frames inside frames
  int max_frames = 16;      // per page, all depths together
};

class TWebBrowser;

// How the last top-level load ended, for telling a user why a page held
// nothing: what the server answered, or why nothing usable arrived.
struct PageOutcome {
  long status = 0;       // HTTP status of the final response; 0 without one
  std::string url = {};  // the address after redirects
  HttpErrorKind error_kind = HttpErrorKind::kNone;
  std::string error = {};  // empty when the page arrived and could be read
};

// What the hit loop reads pages through: the browser's automation object.
class BrowserAutomation {
 public:
  explicit BrowserAutomation(const TWebBrowser& browser) : browser_(browser) {}
  // The loaded top-level document; throws Error when there is none.
  std::shared_ptr<const dom::Document> Document() const;

 private:
  const TWebBrowser& browser_;
};

class TWebBrowser {
 public:
  using DocumentCompleteEvent =
      std::function<void(TWebBrowser* sender, const BrowserObject* pDisp, const std::string& url)>;

  TWebBrowser(EventLoop& loop, BrowserLimits limits = {});
  ~TWebBrowser();
  TWebBrowser(const TWebBrowser&) = delete;
  TWebBrowser& operator=(const TWebBrowser&) = delete;

  // Starts loading `address` and returns at once; a load still under way is
  // abandoned. A load that fails completes with a small error page instead,
  // so every navigation ends in a top-level completion with a document.
  void Navigate(const std::string& address);

  // The pages about to be navigated to, in order: they are fetched ahead
  // (see preload.h) and a later Navigate to one of them takes its response.
  // What Navigate and the completions show does not change.
  void Preload(const std::vector<std::string>& addresses);
  // Stops everything under way, the page, its frames and the preloads; no
  // completion follows.
  void Stop();
  // Transfers under way: the page, its frames and preloads.
  std::size_t TransfersInFlight() const { return http_.InFlight(); }

  DocumentCompleteEvent OnDocumentComplete;

  const BrowserObject* Application() const { return &top_; }
  // The current top-level document, or nullptr before the first page.
  std::shared_ptr<const dom::Document> Document() const { return document_; }
  BrowserAutomation OleObject() const { return BrowserAutomation(*this); }
  // How the current top-level page was loaded.
  const PageOutcome& Outcome() const { return outcome_; }

 private:
  struct Frame;
  struct Navigation;

  void Load(std::uint64_t navigation, Frame* frame, const std::string& address);
  void Loaded(std::uint64_t navigation, Frame* frame, HttpResult result);
  void Finish(std::uint64_t navigation, Frame* frame);

  BrowserLimits limits_;
  HttpClient http_;
  Preloader preload_;
  dom::ArenaPool parse_memory_;  // kept across the pages of this browser
  BrowserObject top_;
  std::shared_ptr<const dom::Document> document_;
  PageOutcome outcome_;
  std::unique_ptr<Navigation> navigation_;
  std::uint64_t navigation_id_ = 0;
};

// The page that stands in for one that could not be loaded: no hits, a title
// and the reason, like a browser's own error page.
std::shared_ptr<const dom::Document> ErrorPage(const std::string& address,
                                               const std::string& reason);

}  // namespace docseek::platform
