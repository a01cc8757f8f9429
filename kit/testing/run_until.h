// Waiting in tests without sleeping: run the main run loop until a
// condition holds, with a real-time time-out, whatever the clock.
//
//   ASSERT_TRUE(kit::test::runUntil([&] { return done; }));
//   ASSERT_TRUE(kit::test::drain(*queue));
//   ASSERT_TRUE(kit::test::settleMain());
#pragma once

#include <functional>

#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"

namespace kit::test {

// Default real-time limit for a wait in a test, in seconds: long enough
// for a machine running many sanitized tests at once, and free when the
// outcome comes (a wait ends as soon as its condition holds).
inline constexpr double kDefaultTimeout = 60.0;

// Runs the main run loop (in the default mode) until `condition` holds or
// `timeout` real seconds pass; returns the condition. Call on the main
// thread. The loop wakes as soon as a queue task finishes anywhere, so
// conditions set by workers are seen at once.
bool runUntil(const std::function<bool()>& condition, double timeout = kDefaultTimeout,
              const std::string& mode = DefaultRunLoopMode);

// Waits until every task submitted to `queue` before the call has run (for
// a global queue: until it has no task left), running the main run loop
// meanwhile so that tasks that hop to the main queue complete. Returns false
// on time-out. Call on the main thread.
bool drain(Queue& queue, double timeout = kDefaultTimeout);

// Runs the main run loop until the main queue and the main operation queue
// hold no task, so that work that queues more main-queue work (a hop that
// hops again) runs to its end, which drain(Queue::main()) does not wait
// for. Timers and delayed work are not waited for. Returns false on
// time-out. Call on the main thread.
bool settleMain(double timeout = kDefaultTimeout);

}  // namespace kit::test
