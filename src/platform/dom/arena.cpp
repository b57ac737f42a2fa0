// SPDX-License-Identifier: MIT
#include "platform/dom/arena.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace docseek::dom {

Arena::~Arena() {
  for (const Chunk& chunk : chunks_) std::free(chunk.data);
}

void* Arena::GumboAllocate(void* self, std::size_t size) {
  // gumbo does not check for null; the parse cannot go on without memory.
  return static_cast<Arena*>(self)->Allocate(size);
}

void* Arena::Grow(std::size_t size) {
  // The next kept chunk that is large enough, else a new one.
  while (current_ + 1 < chunks_.size()) {
    ++current_;
    const Chunk& chunk = chunks_[current_];
    if (chunk.size >= size) {
      next_ = chunk.data + size;
      end_ = chunk.data + chunk.size;
      return chunk.data;
    }
  }
  const std::size_t bytes = std::max(size, kChunkBytes);
  auto* data = static_cast<char*>(std::malloc(bytes));
  if (data == nullptr) throw std::bad_alloc();
  chunks_.push_back(Chunk{data, bytes});
  current_ = chunks_.size() - 1;
  next_ = data + size;
  end_ = data + bytes;
  return data;
}

void Arena::Reset() {
  std::size_t kept = 0;
  std::size_t keep = 0;
  while (keep < chunks_.size() && kept + chunks_[keep].size <= kKeptBytes) {
    kept += chunks_[keep].size;
    ++keep;
  }
  for (std::size_t i = keep; i < chunks_.size(); ++i) std::free(chunks_[i].data);
  chunks_.resize(keep);
  current_ = 0;
  if (chunks_.empty()) {
    next_ = end_ = nullptr;
  } else {
    next_ = chunks_[0].data;
    end_ = chunks_[0].data + chunks_[0].size;
  }
}

std::size_t Arena::KeptBytes() const {
  std::size_t bytes = 0;
  for (const Chunk& chunk : chunks_) bytes += chunk.size;
  return bytes;
}

std::shared_ptr<Arena> ArenaPool::Take() {
  if (arena_ && arena_.use_count() == 1) {
    arena_->Reset();
  } else {
    arena_ = std::make_shared<Arena>();
  }
  return arena_;
}

}  // namespace docseek::dom
