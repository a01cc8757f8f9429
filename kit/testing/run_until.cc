// runUntil and drain for tests.
#include "kit/testing/run_until.h"

#include <atomic>
#include <chrono>
#include <memory>

#include "kit/dispatch/operation_queue.h"
#include "kit/foundation/exception.h"

namespace kit::test {
namespace {
// Work done outside queues (a plain thread setting a flag) does not wake the
// run loop, so the loop looks at the condition at least this often.
constexpr auto kLongestWait = std::chrono::milliseconds(20);
}  // namespace

bool runUntil(const std::function<bool()>& condition, double timeout, const std::string& mode) {
  if (!RunLoop::isMainThread()) {
    raise(InternalInconsistencyException, "kit::test::runUntil runs the main run loop: call it on the main thread");
  }
  QueueActivityWatch watch;
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                            std::chrono::duration<double>(timeout));
  RunLoop& loop = RunLoop::main();
  while (!condition()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return condition();
    loop.runOnceWithRealTimeout(mode, std::min<std::chrono::steady_clock::duration>(deadline - now, kLongestWait));
  }
  return true;
}

bool drain(Queue& queue, double timeout) {
  if (queue.kind() == Queue::Kind::Global) {
    return runUntil([&] { return queue.pendingTaskCount() == 0; }, timeout);
  }
  auto reached = std::make_shared<std::atomic<bool>>(false);
  queue.barrierAsync([reached] { reached->store(true); });
  return runUntil([&] { return reached->load(); }, timeout);
}

bool settleMain(double timeout) {
  return runUntil(
      [] { return Queue::main().pendingTaskCount() == 0 && OperationQueue::main().operationCount() == 0; }, timeout);
}

}  // namespace kit::test
