// JXArena: memory for the objects one parse makes. Arrays, dictionaries,
// their key layouts and long strings are carved with a bump pointer from
// chunks of up to 64 KiB instead of one heap allocation each; every object still has its own
// shared_ptr control block (carved together with the object by
// std::allocate_shared), so objects are retained, released and destroyed one
// by one as before and any of them may outlive the document it came from.
//
// A chunk counts the objects carved from it, plus one while the arena is
// still filling it, and gives its memory back when that count reaches zero,
// on whichever thread releases the last object. Each control block keeps a
// pointer to its chunk in its allocator.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

#if defined(__GLIBCXX__)
#include <ext/atomicity.h>
// Updated the way libstdc++ updates shared_ptr counts: atomically once the
// process has more than one thread.
using JXChunkCount = _Atomic_word;
#else
#include <atomic>
using JXChunkCount = std::atomic<int>;
#endif

struct JXChunk;

class JXArena {
 public:
  static constexpr size_t kMaxChunkSize = size_t{64} << 10;

  // `expectedBytes`: about how much the parse will carve, so that a small
  // document does not take a full-size chunk.
  explicit JXArena(size_t expectedBytes = kMaxChunkSize);
  JXArena(const JXArena&) = delete;
  JXArena& operator=(const JXArena&) = delete;
  // Stops filling the current chunk; objects already made keep it alive.
  ~JXArena();

  // A shared T in this arena, built from `args`.
  template <class T, class... Args>
  std::shared_ptr<T> make(Args&&... args);
  // The same with `trailingBytes` of uninitialised room right after the
  // object, whose address the constructor reads through `*trailing`
  // (written before construction starts).
  template <class T, class... Args>
  std::shared_ptr<T> makeWithTrailing(size_t trailingBytes, void** trailing, Args&&... args);

  // Chunks not yet given back, across all threads: for tests.
  static size_t liveChunks();

 private:
  // A chunk with room for `bytes` more: the current one, a new current one,
  // or, for a large object, a chunk of its own.
  JXChunk* chunkWithRoom(size_t bytes, size_t trailingBytes, void** trailing);
  JXChunk* newChunkFor(size_t bytes);

  JXChunk* current_ = nullptr;
  size_t nextChunkSize_;
};

// Where one chunk stands. Only the arena's thread touches a chunk while the
// arena fills it; objects may be released on any thread afterwards.
struct JXChunk {
  // Carves `bytes` (a multiple of 8) for one object; the caller has checked
  // that they fit.
  void* carve(size_t bytes) noexcept {
    assert(room() >= bytes);
    void* p = next;
    next += bytes;
    // Only the arena's thread can reach this chunk's objects while it
    // fills the chunk, so the count needs no atomic update here.
#if defined(__GLIBCXX__)
    ++live;
#else
    live.store(live.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
#endif
    return p;
  }
  size_t room() const { return static_cast<size_t>(end - next); }
  // Releases one object (or the arena's hold); frees the chunk with the
  // last one.
  void dropOne() noexcept {
#if defined(__GLIBCXX__)
    const int before = __gnu_cxx::__exchange_and_add_dispatch(&live, -1);
#else
    const int before = live.fetch_sub(1, std::memory_order_acq_rel);
#endif
    if (before == 1) giveBack();
  }
  // Frees the chunk, or keeps it for reuse.
  void giveBack() noexcept;

  char* next;
  char* end;
  // The trailing room wanted by the allocation in progress, and where its
  // address goes.
  size_t pendingTrailing;
  void** pendingTrailingOut;
  JXChunkCount live;  // objects carved, plus one while the arena fills the chunk
};

// The allocator through which std::allocate_shared places a control block
// and its object in a chunk; the copy kept in the control block finds the
// chunk again when the object goes.
template <class T>
struct JXArenaAllocator {
  using value_type = T;

  explicit JXArenaAllocator(JXChunk* c) noexcept : chunk(c) {}
  template <class U>
  JXArenaAllocator(const JXArenaAllocator<U>& other) noexcept : chunk(other.chunk) {}

  T* allocate(size_t n) {
    static_assert(alignof(T) <= 8, "arena objects are 8-byte aligned");
    const size_t head = (n * sizeof(T) + 7) & ~size_t{7};
    const size_t trailing = (std::exchange(chunk->pendingTrailing, 0) + 7) & ~size_t{7};
    char* p = static_cast<char*>(chunk->carve(head + trailing));
    if (void** out = std::exchange(chunk->pendingTrailingOut, nullptr)) *out = p + head;
    return reinterpret_cast<T*>(p);
  }
  void deallocate(T*, size_t) noexcept { chunk->dropOne(); }

  template <class U>
  bool operator==(const JXArenaAllocator<U>& other) const noexcept {
    return chunk == other.chunk;
  }

  JXChunk* chunk;
};

inline JXChunk* JXArena::chunkWithRoom(size_t bytes, size_t trailingBytes, void** trailing) {
  JXChunk* chunk = current_;
  if (!chunk || chunk->room() < bytes) chunk = newChunkFor(bytes);
  chunk->pendingTrailing = trailingBytes;
  chunk->pendingTrailingOut = trailing;
  return chunk;
}

// Room for the control block of allocate_shared beside the object itself.
inline constexpr size_t kJXControlBlockRoom = 64;

template <class T, class... Args>
std::shared_ptr<T> JXArena::make(Args&&... args) {
  JXChunk* chunk = chunkWithRoom(sizeof(T) + kJXControlBlockRoom, 0, nullptr);
  return std::allocate_shared<T>(JXArenaAllocator<T>(chunk), std::forward<Args>(args)...);
}

template <class T, class... Args>
std::shared_ptr<T> JXArena::makeWithTrailing(size_t trailingBytes, void** trailing, Args&&... args) {
  JXChunk* chunk = chunkWithRoom(sizeof(T) + kJXControlBlockRoom + trailingBytes, trailingBytes, trailing);
  return std::allocate_shared<T>(JXArenaAllocator<T>(chunk), std::forward<Args>(args)...);
}
