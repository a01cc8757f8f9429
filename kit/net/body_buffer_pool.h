// Internal: buffers for large response bodies held in memory. A body that
// says it is large is read into a buffer taken from here, and the data
// object handed to the caller gives the buffer back when it goes, so the
// next large body reuses pages already in place. (Left to the allocator,
// a large block freed on the delegate queue's thread goes back to the
// system, and the next body faults its pages in again one at a time, which
// costs more than reading it.) Buffers under kMinPooled stay with the
// allocator; at most kMaxRetained bytes wait here, in buffers of at most
// kMaxBuffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "kit/foundation/data.h"

namespace kit::netdetail {

class BodyBufferPool {
 public:
  static constexpr size_t kMinPooled = 256 * 1024;
  static constexpr size_t kMaxBuffer = 8 << 20;
  static constexpr size_t kMaxRetained = 16 << 20;

  static BodyBufferPool& shared();

  // An empty buffer with room for at least `length` bytes: the smallest
  // waiting one that fits, or a new one.
  std::vector<uint8_t> take(size_t length);
  // Keeps the buffer for later, if it is large enough and there is room.
  void give(std::vector<uint8_t> buffer);
  // A data object of `bytes` that gives its buffer back when it goes.
  Ref<Data> makeData(std::vector<uint8_t> bytes);

  size_t retainedBytes() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::vector<uint8_t>> waiting_;
  size_t retained_ = 0;
};

}  // namespace kit::netdetail
