// JXValueStack: the values waiting for their arrays while a parse runs, as
// slots and tags in two malloc'd buffers. An array whose values are the
// whole stack (the top-level array, or the first array below a dictionary)
// and that is large takes the buffers over instead of copying them.
//
// The buffers grow with realloc, which moves slots bitwise; a slot holding a
// kit::Id relies on std::shared_ptr being trivially relocatable (two
// pointers, none into itself), as it is in libstdc++ and libc++. Large
// buffers then grow by remapping their pages instead of copying and faulting
// them in again. With another standard library the stack moves slot by slot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

#include "data/json/jx_slot.h"

class JXValueStack {
 public:
  JXValueStack() = default;
  JXValueStack(const JXValueStack&) = delete;
  JXValueStack& operator=(const JXValueStack&) = delete;
  ~JXValueStack() { release(); }

  size_t size() const { return size_; }
  size_t capacity() const { return capacity_; }
  JXSlot* slots() { return slots_; }
  uint8_t* tags() { return tags_; }

  void push(JXValue&& value) {
    if (size_ == capacity_) grow();
    tags_[size_] = value.relocateTo(slots_[size_]);
    ++size_;
  }
  // Ends the values from `base` on.
  void truncate(size_t base) noexcept {
    for (size_t i = base; i < size_; ++i) jxDestroySlot(slots_[i], tags_[i]);
    if (base < size_) size_ = base;
  }
  // Drops the values from `base` on, which were all moved out.
  void forgetMoved(size_t base) noexcept {
    if (base < size_) size_ = base;
  }
  // Hands over the buffers holding all size() values, shrunk to fit; the
  // stack is then empty. The caller frees them with std::free. False (and
  // nothing handed over) when the buffers cannot move bitwise.
  bool handOver(JXSlot*& slots, uint8_t*& tags) noexcept;
  // Frees the buffers when they hold more than `maxCapacity` values.
  void trim(size_t maxCapacity) noexcept {
    if (capacity_ > maxCapacity) release();
  }

 private:
  void grow();
  void release() noexcept {
    truncate(0);
    std::free(slots_);
    std::free(tags_);
    slots_ = nullptr;
    tags_ = nullptr;
    capacity_ = 0;
  }

  JXSlot* slots_ = nullptr;
  uint8_t* tags_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};
