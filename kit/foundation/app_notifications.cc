// The replaceable background-task handler.

#include "kit/foundation/app_notifications.h"
#include "kit/foundation/no_destructor.h"

#include <memory>
#include <mutex>
#include <utility>

namespace kit {

namespace {

struct HandlerSlot {
  std::mutex mutex;
  std::shared_ptr<const BackgroundTaskHandler> handler;
};

HandlerSlot& slot() {
  static NoDestructor<HandlerSlot> s;  // lives for the process
  return *s;
}

std::shared_ptr<const BackgroundTaskHandler> current() {
  std::lock_guard lock(slot().mutex);
  return slot().handler;
}

}  // namespace

BackgroundTaskHandler setBackgroundTaskHandler(BackgroundTaskHandler handler) {
  std::shared_ptr<const BackgroundTaskHandler> fresh;
  if (handler.begin && handler.end) fresh = std::make_shared<const BackgroundTaskHandler>(std::move(handler));
  std::shared_ptr<const BackgroundTaskHandler> old;
  {
    std::lock_guard lock(slot().mutex);
    old = std::exchange(slot().handler, std::move(fresh));
  }
  return old ? *old : BackgroundTaskHandler();
}

bool hasBackgroundTaskHandler() { return current() != nullptr; }

BackgroundTaskId beginBackgroundTask(std::function<void()> expiration) {
  auto handler = current();
  if (!handler) return InvalidBackgroundTaskId;
  return handler->begin(std::move(expiration));
}

void endBackgroundTask(BackgroundTaskId task) {
  if (task == InvalidBackgroundTaskId) return;
  if (auto handler = current()) handler->end(task);
}

}  // namespace kit
