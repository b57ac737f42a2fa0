// SPDX-License-Identifier: MIT
// The plug-in's three entry points. Nothing else is visible outside the
// library, and no exception ever leaves it.

#include <docseek/plugin.h>

#include <atomic>
#include <memory>

#include "boundary/host_list.h"
#include "platform/event_loop.h"
#include "search/Unit4.h"

namespace {

// Whether a search is under way. Atomic because a host may call Getinfo from
// a second thread while a search runs; that call must do nothing, and so must
// one made from any host callback of the search, the first ones included.
std::atomic<bool> Searching{false};

// Holds the claim on the one search for as long as a search runs.
class SearchClaim {
 public:
  SearchClaim() : claimed_(!Searching.exchange(true)) {}
  ~SearchClaim() {
    if (claimed_) Searching.store(false);
  }
  SearchClaim(const SearchClaim&) = delete;
  SearchClaim& operator=(const SearchClaim&) = delete;
  explicit operator bool() const { return claimed_; }

 private:
  bool claimed_;
};

void AppendAll(const docseek_list* list, std::initializer_list<const char*> lines) noexcept {
  if (!docseek::boundary::HostList::Usable(list, false)) return;
  try {
    docseek::boundary::HostList host(*list);
    for (const char* line : lines) host.Add(line);
  } catch (...) {
    // A list that refuses a line ends the call; there is nobody to tell.
  }
}

// Runs one search; may throw, but only after its window is gone.
void Search(const docseek_list* results, const docseek_list* types, std::int32_t count,
            const char* keyword) {
  using docseek::boundary::HostList;
  // Claimed before anything else: the type list's count below is the host's
  // code, and a Getinfo it makes must find the slot taken.
  SearchClaim claim;
  if (!claim) return;
  if (!HostList::Usable(results, false) || !HostList::Usable(types, true)) return;
  HostList type_list(*types);
  HostList result_list(*results);
  if (type_list.Count() == 0) return;  // no type, no query

  docseek::platform::EventLoop loop;
  auto window = std::make_unique<docseek::search::TForm4>(loop);
  window->Flistview = &result_list;
  window->Ffiletype = &type_list;
  window->Ffilecount = count;
  window->Fkey = keyword != nullptr ? keyword : "";

  std::exception_ptr failure;
  try {
    window->ShowModal();
  } catch (...) {
    failure = std::current_exception();
  }
  window.reset();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace

extern "C" {

DOCSEEK_API void GetBackType(const docseek_list* list) {
  AppendAll(list, {"pdf", "doc", "xls", "ppt", "rtf", "sogou"});
}

DOCSEEK_API void GetBackCount(const docseek_list* list) {
  AppendAll(list, {"10", "20", "30", "50", "100"});
}

DOCSEEK_API void Getinfo(const docseek_list* results, const docseek_list* types, int32_t count,
                         const char* keyword, const char* /*reserved*/) {
  try {
    Search(results, types, count, keyword);
  } catch (...) {
    // The window and the search's resources are already released; the host
    // has no channel for errors and keeps whatever records arrived.
  }
}

}  // extern "C"
