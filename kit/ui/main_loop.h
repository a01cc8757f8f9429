// Helpers that put user-interface work on the main run loop: a call after a
// delay of kit::Clock time (a timer in the common modes, so it also fires
// while tracking) and a call on the next pass.
#pragma once

#include <functional>

#include "kit/dispatch/timer.h"
#include "kit/foundation/object.h"

namespace kit {

// Calls `fn` on the main run loop `delay` seconds from now. Invalidating
// the returned timer cancels the call.
Ref<Timer> runOnMainAfter(double delay, std::function<void()> fn);
// Calls `fn` on the next pass of the main run loop.
void runOnMainSoon(std::function<void()> fn);

}  // namespace kit
