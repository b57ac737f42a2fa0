// SPDX-License-Identifier: MIT
#pragma once

// Bump allocation for gumbo's tree. A parse asks for tens of thousands of
// small blocks and frees them all at once with the document, so an arena
// beats malloc twice: no per-block bookkeeping while parsing, and no walk of
// the tree to free it. The arena is kept across the pages of one search and
// reset, not freed, so its pages are already mapped when the next page
// parses; what is beyond kKeptBytes goes back after a reset, so one huge page
// does not hold its memory for the rest of the search.

#include <cstddef>
#include <memory>
#include <vector>

namespace docseek::dom {

class Arena {
 public:
  static constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
  static constexpr std::size_t kKeptBytes = std::size_t{8} << 20;

  Arena() = default;
  ~Arena();
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;

  // Never null: throws std::bad_alloc when memory runs out.
  void* Allocate(std::size_t size) {
    size = (size + kAlign - 1) & ~(kAlign - 1);
    if (size > static_cast<std::size_t>(end_ - next_)) return Grow(size);
    void* block = next_;
    next_ += size;
    return block;
  }
  // Everything allocated so far is gone; the memory stays for the next use,
  // at most kKeptBytes of it.
  void Reset();
  // Memory held, in use or kept.
  std::size_t KeptBytes() const;

  // gumbo's allocator interface; freeing a single block does nothing.
  static void* GumboAllocate(void* self, std::size_t size);
  static void GumboDeallocate(void*, void*) {}

 private:
  static constexpr std::size_t kAlign = alignof(std::max_align_t);
  struct Chunk {
    char* data;
    std::size_t size;
  };
  void* Grow(std::size_t size);

  std::vector<Chunk> chunks_;
  std::size_t current_ = 0;  // index of the chunk being filled
  char* next_ = nullptr;
  char* end_ = nullptr;
};

// An arena shared between documents one after another: a document holds the
// arena while it lives, and the next document reuses it only once the
// previous one is gone, else it takes a fresh one.
class ArenaPool {
 public:
  std::shared_ptr<Arena> Take();

 private:
  std::shared_ptr<Arena> arena_;
};

}  // namespace docseek::dom
