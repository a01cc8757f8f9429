// JXArena: chunks, carving, and the per-object count that frees a chunk.

#include "data/json/jx_arena.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <new>

#include "kit/foundation/app_notifications.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/notification_center.h"

namespace {

// Objects start this far into their chunk (the header, rounded up).
constexpr size_t kHeaderSize = (sizeof(JXChunk) + 15) & ~size_t{15};
constexpr size_t kMinChunkSize = 1024;
// Objects larger than this get a chunk of their own, so that a chunk is not
// closed early with much of its room unused.
constexpr size_t kOwnChunkAbove = JXArena::kMaxChunkSize / 4;
static_assert(kHeaderSize + kOwnChunkAbove <= JXArena::kMaxChunkSize);

std::atomic<size_t> liveChunkCount{0};

// Full-size chunks given back, kept for the next parses. Handing 64 KiB
// blocks back to malloc one by one lets it return the top of the heap to
// the system, and the next parse then pays a page fault for every page it
// touches. The pool is bounded and emptied on a memory warning. 8 MB holds
// the trees of the documents a client parses again and again (a few MB of
// text at most); a larger pool would only warm part of a huge tree, making
// a huge parse look cheaper than the fresh memory most of it takes, while
// keeping that much memory idle between parses.
class ChunkPool {
 public:
  static ChunkPool& shared() {
    // Chunks may be released while the process ends.
    static kit::NoDestructor<ChunkPool> pool;
    return *pool;
  }

  void* take() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!free_) return nullptr;
    Free* f = free_;
    free_ = f->next;
    --count_;
    return f;
  }

  // False when the pool is full; the caller frees the chunk.
  bool put(void* chunk) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (count_ >= kLimit) return false;
    free_ = new (chunk) Free{free_};
    ++count_;
    return true;
  }

  void empty() {
    Free* list;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      list = std::exchange(free_, nullptr);
      count_ = 0;
    }
    while (list) std::free(std::exchange(list, list->next));
  }

 private:
  static constexpr size_t kLimit = (size_t{8} << 20) / JXArena::kMaxChunkSize;

  struct Free {
    Free* next;
  };

  friend class kit::NoDestructor<ChunkPool>;
  ChunkPool() {
    memoryWarning_ = kit::NotificationCenter::defaultCenter()->addObserverForName(
        kit::ApplicationDidReceiveMemoryWarningNotification, nullptr,
        [](const kit::Ref<kit::Notification>&) { shared().empty(); });
  }

  std::mutex mutex_;
  Free* free_ = nullptr;
  size_t count_ = 0;
  kit::Id memoryWarning_;
};

// A chunk of `bytes` in all, header included, counting `live`.
JXChunk* newChunk(size_t bytes, int live) {
  void* memory = bytes == JXArena::kMaxChunkSize ? ChunkPool::shared().take() : nullptr;
  if (!memory) memory = std::malloc(bytes);
  if (!memory) throw std::bad_alloc();
  liveChunkCount.fetch_add(1, std::memory_order_relaxed);
  auto* chunk = static_cast<JXChunk*>(memory);
  chunk->next = static_cast<char*>(memory) + kHeaderSize;
  chunk->end = static_cast<char*>(memory) + bytes;
  chunk->pendingTrailing = 0;
  chunk->pendingTrailingOut = nullptr;
#if defined(__GLIBCXX__)
  chunk->live = live;
#else
  new (&chunk->live) std::atomic<int>(live);
#endif
  return chunk;
}

}  // namespace

void JXChunk::giveBack() noexcept {
  liveChunkCount.fetch_sub(1, std::memory_order_relaxed);
  if (static_cast<size_t>(end - reinterpret_cast<char*>(this)) == JXArena::kMaxChunkSize &&
      ChunkPool::shared().put(this)) {
    return;
  }
  std::free(this);
}

JXArena::JXArena(size_t expectedBytes)
    : nextChunkSize_(std::clamp((expectedBytes + kMinChunkSize - 1) & ~(kMinChunkSize - 1), kMinChunkSize,
                                kMaxChunkSize)) {}

JXArena::~JXArena() {
  if (current_) current_->dropOne();
}

JXChunk* JXArena::newChunkFor(size_t bytes) {
  if (bytes > kOwnChunkAbove) return newChunk(kHeaderSize + bytes, 0);  // its one object keeps it
  // A first chunk sized for a small text may still be too small for its
  // first large object; a full-size chunk holds any object not given a
  // chunk of its own.
  size_t size = nextChunkSize_;
  while (size < kHeaderSize + bytes) size *= 2;
  JXChunk* chunk = newChunk(size, 1);  // the arena's hold
  nextChunkSize_ = kMaxChunkSize;
  if (current_) current_->dropOne();
  current_ = chunk;
  return chunk;
}

size_t JXArena::liveChunks() { return liveChunkCount.load(std::memory_order_relaxed); }
