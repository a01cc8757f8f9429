// Runs callbacks handed to kit/dispatch (queue tasks, timer and source
// callbacks, run loop blocks). An exception escaping one is logged with the
// place it came from and goes no further, instead of unwinding through a run
// loop or ending a worker thread.
#pragma once

#include <functional>
#include <string_view>

namespace kit::detail {

void runGuarded(const std::function<void()>& callback, std::string_view context);

}  // namespace kit::detail
