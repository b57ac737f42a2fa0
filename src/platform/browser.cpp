// SPDX-License-Identifier: MIT
#include "platform/browser.h"

#include <glib.h>

#include <algorithm>
#include <utility>

#include "platform/address.h"
#include "platform/error.h"

namespace docseek::platform {

struct TWebBrowser::Frame {
  const BrowserObject* identity = nullptr;
  std::unique_ptr<BrowserObject> own_identity;  // frames only; the top is the browser's
  Frame* parent = nullptr;
  int depth = 0;
  int pending_children = 0;
  std::string url;
  AddressSpace space = AddressSpace::kPublic;  // where the frame's document came from
};

struct TWebBrowser::Navigation {
  std::uint64_t id = 0;
  std::uint64_t preloaded = 0;                 // the claimed preload transfer still under way
  std::vector<std::uint64_t> transfers;        // started for this page and its frames
  std::vector<std::unique_ptr<Frame>> frames;  // [0] is the top-level page
  int frame_count = 0;                         // frames started, not counting the top
  // The navigation's limit covers the page and all its frames together: a
  // frame gets what is left of it, so one still loading when it runs out is
  // cut off and the page completes without it.
  gint64 deadline_us = 0;  // g_get_monotonic_time() scale
};

std::shared_ptr<const dom::Document> BrowserAutomation::Document() const {
  auto document = browser_.Document();
  if (!document) throw Error("no document is loaded");
  return document;
}

TWebBrowser::TWebBrowser(EventLoop& loop, BrowserLimits limits)
    : limits_(limits), http_(loop, limits.http), preload_(loop, http_) {}

TWebBrowser::~TWebBrowser() = default;

void TWebBrowser::Preload(const std::vector<std::string>& addresses) {
  std::vector<std::string> encoded;
  encoded.reserve(addresses.size());
  for (const std::string& address : addresses) encoded.push_back(EncodeForSending(address));
  preload_.Start(std::move(encoded));
}

void TWebBrowser::Stop() {
  preload_.Cancel();
  if (navigation_) {
    for (std::uint64_t transfer : navigation_->transfers) http_.Cancel(transfer);
  }
  navigation_.reset();
  ++navigation_id_;  // a result already on its way is dropped
}

void TWebBrowser::Navigate(const std::string& address) {
  // The load under way is abandoned, but not the preloads of pages to come.
  if (navigation_) {
    if (navigation_->preloaded != 0) preload_.Abandon(navigation_->preloaded);
    for (std::uint64_t transfer : navigation_->transfers) http_.Cancel(transfer);
  }
  auto navigation = std::make_unique<Navigation>();
  navigation->id = ++navigation_id_;
  navigation->deadline_us =
      g_get_monotonic_time() + static_cast<gint64>(limits_.http.timeout_ms) * 1000;
  auto top = std::make_unique<Frame>();
  top->identity = &top_;
  Frame* frame = top.get();
  navigation->frames.push_back(std::move(top));
  navigation_ = std::move(navigation);
  outcome_ = PageOutcome{};
  const std::string encoded = EncodeForSending(address);
  const std::uint64_t id = navigation_id_;
  frame->url = encoded;
  // A preloaded page continues exactly as if its transfer had started now.
  const auto claimed = preload_.Claim(
      encoded, [this, id, frame](HttpResult result) { Loaded(id, frame, std::move(result)); });
  if (claimed) {
    navigation_->preloaded = *claimed;
    return;
  }
  Load(id, frame, encoded);
}

void TWebBrowser::Load(std::uint64_t navigation, Frame* frame, const std::string& address) {
  frame->url = address;
  GetOptions options;
  if (frame->parent != nullptr) {
    // A frame may lead no further in than the page that holds it.
    options.initiator = frame->parent->space;
    const gint64 left_us = navigation_->deadline_us - g_get_monotonic_time();
    options.timeout_ms = std::max<long>(1, static_cast<long>(left_us / 1000));
  }
  navigation_->transfers.push_back(http_.Get(
      address,
      [this, navigation, frame](HttpResult result) {
        Loaded(navigation, frame, std::move(result));
      },
      options));
}

void TWebBrowser::Loaded(std::uint64_t navigation, Frame* frame, HttpResult result) {
  if (navigation != navigation_id_) return;  // a page we have since navigated away from
  if (frame->identity == &top_) navigation_->preloaded = 0;
  std::shared_ptr<const dom::Document> document;
  // The page being replaced goes before the next is parsed, so that two
  // trees never coexist.
  if (frame->identity == &top_) document_.reset();
  PageOutcome outcome{result.status, result.url, result.kind, result.error};
  frame->space = result.space;
  if (result.error.empty()) {
    if (!result.url.empty()) frame->url = result.url;
    try {
      document = dom::Document::Load(result.body, result.content_type, frame->url, &parse_memory_);
    } catch (const std::exception& e) {
      document = ErrorPage(frame->url, e.what());
      outcome.error_kind = HttpErrorKind::kOther;
      outcome.error = e.what();
    }
  } else {
    document = ErrorPage(frame->url, result.error);
  }
  if (outcome.url.empty()) outcome.url = frame->url;
  if (frame->identity == &top_) {
    document_ = document;
    outcome_ = std::move(outcome);
  }

  if (frame->depth < limits_.max_frame_depth) {
    for (const std::string& source : document->frameSources()) {
      if (navigation_->frame_count >= limits_.max_frames) break;
      ++navigation_->frame_count;
      auto child = std::make_unique<Frame>();
      child->own_identity = std::make_unique<BrowserObject>();
      child->identity = child->own_identity.get();
      child->parent = frame;
      child->depth = frame->depth + 1;
      ++frame->pending_children;
      Frame* started = child.get();
      navigation_->frames.push_back(std::move(child));
      Load(navigation, started, source);
    }
  }
  if (frame->pending_children == 0) Finish(navigation, frame);
}

void TWebBrowser::Finish(std::uint64_t navigation, Frame* frame) {
  // A frame completes when it and everything inside it has loaded, so inner
  // frames report before the pages that hold them and the top page reports last.
  while (frame != nullptr) {
    Frame* parent = frame->parent;
    std::string url = frame->url;
    if (OnDocumentComplete) OnDocumentComplete(this, frame->identity, url);
    // The handler may have navigated elsewhere, which ends this page's frames.
    if (navigation != navigation_id_ || parent == nullptr) return;
    if (--parent->pending_children != 0) return;
    frame = parent;
  }
}

std::shared_ptr<const dom::Document> ErrorPage(const std::string& address,
                                               const std::string& reason) {
  gchar* where = g_markup_escape_text(address.c_str(), -1);
  gchar* why = g_markup_escape_text(reason.c_str(), -1);
  std::string html = std::string("<!DOCTYPE html><html><head><meta charset=\"utf-8\">") +
                     "<title>This page can't be reached</title></head><body>" +
                     "<h1>This page can't be reached</h1><p id=\"error-address\">" + where +
                     "</p><p id=\"error-reason\">" + why + "</p></body></html>";
  g_free(where);
  g_free(why);
  return dom::Document::FromUtf8(std::move(html), address);
}

}  // namespace docseek::platform
