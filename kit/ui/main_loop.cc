// Delayed and deferred calls on the main run loop.
#include "kit/ui/main_loop.h"

#include <algorithm>

#include "kit/dispatch/runloop.h"

namespace kit {

Ref<Timer> runOnMainAfter(double delay, std::function<void()> fn) {
  auto timer = Timer::create(std::max(0.0, delay), false, [fn = std::move(fn)](Timer&) { fn(); });
  RunLoop::main().addTimer(timer, CommonRunLoopModes);
  return timer;
}

void runOnMainSoon(std::function<void()> fn) { RunLoop::main().perform(std::move(fn)); }

}  // namespace kit
