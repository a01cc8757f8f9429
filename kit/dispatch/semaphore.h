// kit::Semaphore: a counting semaphore. wait(timeout) takes one unit or
// gives up when the time-out passes on kit::Clock; signal() returns one and
// wakes a waiter.
#pragma once

#include <memory>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/clock_detail.h"
#include "kit/foundation/object.h"

namespace kit {

class Semaphore : public Object {
 public:
  // nil for a negative value.
  static Ref<Semaphore> create(long value = 0);
  explicit Semaphore(long value);

  // True when a unit was taken within `timeout` seconds.
  bool wait(double timeout = Forever);
  // True when a waiter was woken.
  bool signal();
  long value() const;

 private:
  std::shared_ptr<detail::ClockWaitable> waitable_;
  long value_;
  long waiters_ = 0;
};

}  // namespace kit
