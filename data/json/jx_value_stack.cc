// JXValueStack: growth and handing the buffers over.

#include "data/json/jx_value_stack.h"

#include <algorithm>

namespace {

#if defined(__GLIBCXX__) || defined(_LIBCPP_VERSION)
constexpr bool kSlotsMoveBitwise = true;
#else
constexpr bool kSlotsMoveBitwise = false;
#endif

constexpr size_t kFirstCapacity = 256;

}  // namespace

void JXValueStack::grow() {
  const size_t capacity = std::max(kFirstCapacity, capacity_ * 2);
  if constexpr (kSlotsMoveBitwise) {
    // Each buffer is consistent whichever realloc fails.
    auto* tags = static_cast<uint8_t*>(std::realloc(tags_, capacity));
    if (!tags) throw std::bad_alloc();
    tags_ = tags;
    auto* slots = static_cast<JXSlot*>(std::realloc(static_cast<void*>(slots_), capacity * sizeof(JXSlot)));
    if (!slots) throw std::bad_alloc();
    slots_ = slots;
  } else {
    auto* tags = static_cast<uint8_t*>(std::malloc(capacity));
    auto* slots = static_cast<JXSlot*>(std::malloc(capacity * sizeof(JXSlot)));
    if (!tags || !slots) {
      std::free(tags);
      std::free(slots);
      throw std::bad_alloc();
    }
    for (size_t i = 0; i < size_; ++i) {
      jxRelocateSlot(slots[i], slots_[i], tags_[i]);
      tags[i] = tags_[i];
    }
    std::free(std::exchange(slots_, slots));
    std::free(std::exchange(tags_, tags));
  }
  capacity_ = capacity;
}

bool JXValueStack::handOver(JXSlot*& slots, uint8_t*& tags) noexcept {
  if (!kSlotsMoveBitwise || size_ == 0) return false;
  // Shrinking keeps the memory in place; should it fail, the larger
  // buffer is handed over.
  if (auto* shrunk = static_cast<JXSlot*>(std::realloc(static_cast<void*>(slots_), size_ * sizeof(JXSlot)))) {
    slots_ = shrunk;
  }
  if (auto* shrunk = static_cast<uint8_t*>(std::realloc(tags_, size_))) tags_ = shrunk;
  slots = std::exchange(slots_, nullptr);
  tags = std::exchange(tags_, nullptr);
  size_ = 0;
  capacity_ = 0;
  return true;
}
