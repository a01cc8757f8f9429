// Counting semaphores on kit::Clock.
#include "kit/dispatch/semaphore.h"

namespace kit {

Ref<Semaphore> Semaphore::create(long value) {
  if (value < 0) return nullptr;
  return std::make_shared<Semaphore>(value);
}

Semaphore::Semaphore(long value) : waitable_(detail::ClockWaitable::create()), value_(value) {}

bool Semaphore::wait(double timeout) {
  const double deadline = timeout >= Forever ? Forever : Clock::now() + timeout;
  std::unique_lock lock(waitable_->mutex);
  ++waiters_;
  const bool taken = waitable_->waitUntil(lock, deadline, [&] { return value_ > 0; });
  --waiters_;
  if (taken) --value_;
  return taken;
}

bool Semaphore::signal() {
  std::lock_guard lock(waitable_->mutex);
  ++value_;
  if (waiters_ == 0) return false;
  waitable_->notifyAll();
  return true;
}

long Semaphore::value() const {
  std::lock_guard lock(waitable_->mutex);
  return value_;
}

}  // namespace kit
