// Dispatch groups.
#include "kit/dispatch/group.h"

#include "kit/foundation/exception.h"

namespace kit {

Ref<Group> Group::create() { return std::make_shared<Group>(); }

Group::Group() : waitable_(detail::ClockWaitable::create()) {}

void Group::enter() {
  std::lock_guard lock(waitable_->mutex);
  ++count_;
}

void Group::leave() {
  std::vector<std::pair<Ref<Queue>, Queue::Task>> due;
  {
    std::lock_guard lock(waitable_->mutex);
    if (count_ == 0) raise(InternalInconsistencyException, "Group::leave without a matching enter");
    if (--count_ > 0) return;
    due.swap(notifications_);
    waitable_->notifyAll();
  }
  for (auto& [queue, task] : due) queue->async(std::move(task));
}

void Group::async(Queue& queue, Queue::Task task) {
  enter();
  auto self = selfAs<Group>();
  queue.async([self, task = std::move(task)] {
    struct Leave {
      Group* group;
      ~Leave() { group->leave(); }
    } leave{self.get()};
    task();
  });
}

void Group::notify(Queue& queue, Queue::Task task) {
  {
    std::lock_guard lock(waitable_->mutex);
    if (count_ > 0) {
      notifications_.emplace_back(queue.selfAs<Queue>(), std::move(task));
      return;
    }
  }
  queue.async(std::move(task));
}

bool Group::wait(double timeout) {
  const double deadline = timeout >= Forever ? Forever : Clock::now() + timeout;
  std::unique_lock lock(waitable_->mutex);
  return waitable_->waitUntil(lock, deadline, [&] { return count_ == 0; });
}

}  // namespace kit
