// SPDX-License-Identifier: MIT
#include "platform/preload.h"

#include <utility>

// A build may turn preload off to measure what it saves.
#ifndef DOCSEEK_PRELOAD
#define DOCSEEK_PRELOAD 1
#endif

namespace docseek::platform {

const bool Preloader::kEnabled = DOCSEEK_PRELOAD != 0;

Preloader::Preloader(EventLoop& loop, HttpClient& http) : http_(http), tasks_(loop) {}

Preloader::~Preloader() { Cancel(); }

void Preloader::Start(std::vector<std::string> addresses) {
  Cancel();
  if (!kEnabled || addresses.empty()) return;
  entries_.resize(addresses.size());
  for (std::size_t i = 0; i < addresses.size(); ++i) entries_[i].address = std::move(addresses[i]);
  Fetch(0);
}

void Preloader::Fetch(std::size_t index) {
  Entry& entry = entries_[index];
  entry.state = State::kLoading;
  ++in_flight_;
  const std::uint64_t generation = generation_;
  HttpClient::HeadersCallback headers;
  if (index == 0) {
    headers = [this, generation] {
      if (generation != generation_ || first_answered_) return;
      first_answered_ = true;
      FetchMore();
    };
  }
  entry.transfer = http_.Get(
      entry.address,
      [this, generation, index](HttpResult result) {
        Arrived(generation, index, std::move(result));
      },
      {}, std::move(headers));
}

void Preloader::FetchMore() {
  if (!first_answered_) return;
  for (std::size_t i = 0; i < entries_.size() && in_flight_ < kMaxInFlight; ++i) {
    if (entries_[i].state == State::kWaiting) Fetch(i);
  }
}

void Preloader::Arrived(std::uint64_t generation, std::size_t index, HttpResult result) {
  if (generation != generation_) return;
  --in_flight_;
  Entry& entry = entries_[index];
  entry.transfer = 0;
  // A first page that failed before its headers still lets the others go.
  if (index == 0) first_answered_ = true;
  if (entry.state == State::kClaimed) {
    HttpClient::Callback claimant = std::move(entry.claimant);
    entry.claimant = nullptr;
    FetchMore();
    // Handed over in a dispatch of its own, as a direct load would be: other
    // preloads that finished at the same moment must not complete in the
    // same turn of the loop, before the window could have closed.
    if (claimant) {
      tasks_.Post([claimant = std::move(claimant), result = std::move(result)]() mutable {
        claimant(std::move(result));
      });
    }
    return;
  }
  entry.state = State::kLoaded;
  entry.result = std::move(result);
  FetchMore();
}

std::optional<std::uint64_t> Preloader::Claim(const std::string& address,
                                              HttpClient::Callback done) {
  for (Entry& entry : entries_) {
    if (entry.address != address || entry.state == State::kClaimed) continue;
    if (entry.state == State::kWaiting) {
      // Not asked for yet: the caller loads it itself, and it is never
      // fetched ahead as well.
      entry.state = State::kClaimed;
      return std::nullopt;
    }
    if (entry.state == State::kLoaded) {
      entry.state = State::kClaimed;
      tasks_.Post([done = std::move(done), result = std::move(*entry.result)]() mutable {
        done(std::move(result));
      });
      entry.result.reset();
      return 0;
    }
    entry.state = State::kClaimed;
    entry.claimant = std::move(done);
    return entry.transfer;
  }
  return std::nullopt;
}

void Preloader::Abandon(std::uint64_t id) {
  for (Entry& entry : entries_) {
    if (entry.transfer != id || entry.state != State::kClaimed) continue;
    http_.Cancel(id);
    entry.transfer = 0;
    entry.claimant = nullptr;
    --in_flight_;
    FetchMore();
    return;
  }
}

void Preloader::Cancel() {
  for (Entry& entry : entries_) {
    if (entry.transfer != 0) http_.Cancel(entry.transfer);
  }
  entries_.clear();
  tasks_.CancelAll();
  ++generation_;
  first_answered_ = false;
  in_flight_ = 0;
}

}  // namespace docseek::platform
