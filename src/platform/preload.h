// SPDX-License-Identifier: MIT
#pragma once

// Preload of a known list of pages: the search window knows every address it
// will visit before it visits the first, so the browser fetches them ahead
// and keeps each response until the page is navigated to. Only the transfer
// is early; parsing, frames and completions happen at navigation time, so
// everything above the browser sees what it would see in a sequential run.
//
// The first address goes out alone. Once its final response headers have
// arrived (so any cookie it sets is stored and sent with the rest), the others
// follow in list order, at most kMaxInFlight transfers at a time.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "platform/http.h"

namespace docseek::platform {

class Preloader {
 public:
  static constexpr std::size_t kMaxInFlight = 6;
  // False in a build configured without preload (a benchmark baseline).
  static const bool kEnabled;

  Preloader(EventLoop& loop, HttpClient& http);
  ~Preloader();
  Preloader(const Preloader&) = delete;
  Preloader& operator=(const Preloader&) = delete;

  // Replaces any earlier list; addresses as they go on the wire.
  void Start(std::vector<std::string> addresses);

  // Hands over the next unclaimed preload of `address`: `done` gets its
  // result from the event loop, never from inside this call. Returns the
  // transfer id to cancel when the load is still under way, 0 when the result
  // is already here, nullopt when `address` is not preloaded (or not yet
  // asked for: then it is left to the caller and not fetched ahead).
  std::optional<std::uint64_t> Claim(const std::string& address, HttpClient::Callback done);
  // The claimed transfer `id` is abandoned (the browser navigated away).
  void Abandon(std::uint64_t id);
  // Stops every preload under way and forgets those not yet claimed.
  void Cancel();

  // Preload transfers under way, claimed or not.
  std::size_t InFlight() const { return in_flight_; }

 private:
  enum class State { kWaiting, kLoading, kLoaded, kClaimed };
  struct Entry {
    std::string address;
    State state = State::kWaiting;
    std::uint64_t transfer = 0;
    std::optional<HttpResult> result;
    HttpClient::Callback claimant;  // set once claimed while loading
  };

  void Fetch(std::size_t index);
  void FetchMore();
  void Arrived(std::uint64_t generation, std::size_t index, HttpResult result);

  HttpClient& http_;
  TaskQueue tasks_;
  std::vector<Entry> entries_;
  std::uint64_t generation_ = 0;  // callbacks of an earlier list are ignored
  bool first_answered_ = false;
  std::size_t in_flight_ = 0;
};

}  // namespace docseek::platform
