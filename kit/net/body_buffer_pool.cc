// The pool of large body buffers and the data objects that return them.
#include "kit/net/body_buffer_pool.h"

#include <algorithm>

#include "kit/foundation/no_destructor.h"

namespace kit::netdetail {

namespace {

// Data whose buffer goes back to the pool. To its users it is plain data.
class PooledData final : public Data {
 public:
  explicit PooledData(std::vector<uint8_t> bytes) : Data(std::move(bytes)) {}
  ~PooledData() override { BodyBufferPool::shared().give(std::move(bytes_)); }
};

}  // namespace

BodyBufferPool& BodyBufferPool::shared() {
  // Pooled data may be let go while the process ends (by a worker thread or
  // another static's destructor).
  static NoDestructor<BodyBufferPool> pool;
  return *pool;
}

std::vector<uint8_t> BodyBufferPool::take(size_t length) {
  {
    std::lock_guard lock(mutex_);
    auto best = waiting_.end();
    for (auto it = waiting_.begin(); it != waiting_.end(); ++it) {
      if (it->capacity() >= length && (best == waiting_.end() || it->capacity() < best->capacity())) best = it;
    }
    if (best != waiting_.end()) {
      std::vector<uint8_t> buffer = std::move(*best);
      waiting_.erase(best);
      retained_ -= buffer.capacity();
      return buffer;
    }
  }
  std::vector<uint8_t> buffer;
  buffer.reserve(length);
  return buffer;
}

void BodyBufferPool::give(std::vector<uint8_t> buffer) {
  const size_t capacity = buffer.capacity();
  if (capacity < kMinPooled || capacity > kMaxBuffer) return;
  buffer.clear();
  std::lock_guard lock(mutex_);
  if (retained_ + capacity > kMaxRetained) return;  // freed outside the lock
  retained_ += capacity;
  waiting_.push_back(std::move(buffer));
}

Ref<Data> BodyBufferPool::makeData(std::vector<uint8_t> bytes) {
  if (bytes.capacity() < kMinPooled || bytes.capacity() > kMaxBuffer) return Data::make(std::move(bytes));
  return std::make_shared<PooledData>(std::move(bytes));
}

size_t BodyBufferPool::retainedBytes() const {
  std::lock_guard lock(mutex_);
  return retained_;
}

}  // namespace kit::netdetail
