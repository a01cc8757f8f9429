// The checks behind KIT_CHECK_MAIN_THREAD and KIT_CHECK_SEQUENCE. See
// thread_check.h.

#include "kit/dispatch/thread_check.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>

#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"

namespace kit::detail {

void threadCheckFailed(const char* method, const char* expected) {
  std::fprintf(stderr, "kit: %s must be called on %s\n", method, expected);
  std::fflush(stderr);
  std::abort();
}

bool onMainThread() { return RunLoop::isMainThread(); }

std::uintptr_t currentSequenceToken() {
  // Inside a serial queue's task the queue is the sequence (its tasks may
  // run on different worker threads, and the main thread outside other
  // tasks counts as the main queue); elsewhere the thread is.
  auto queue = Queue::current();
  if (queue && queue->isSerial()) return reinterpret_cast<std::uintptr_t>(queue.get());
  return std::hash<std::thread::id>{}(std::this_thread::get_id()) | 1u;
}

}  // namespace kit::detail

namespace kit {

bool SequenceChecker::calledOnValidSequence() const {
  const std::uintptr_t token = detail::currentSequenceToken();
  std::uintptr_t expected = 0;
  if (bound_.compare_exchange_strong(expected, token)) return true;
  return expected == token;
}

}  // namespace kit
