// kit::Group: a count of outstanding work. enter() / leave() by hand or
// async(queue, task) around a task; notify(queue, task) runs the task once
// the count is back to zero; wait(timeout) blocks until then or until the
// time-out passes on kit::Clock.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/clock_detail.h"
#include "kit/dispatch/queue.h"

namespace kit {

class Group : public Object {
 public:
  static Ref<Group> create();
  Group();

  void enter();
  // Raises when it does not match an enter().
  void leave();
  void async(Queue& queue, Queue::Task task);
  // Runs `task` on `queue` when the group is empty: at once if it is empty
  // now, else after the last leave().
  void notify(Queue& queue, Queue::Task task);
  // True when the group became empty within `timeout` seconds.
  bool wait(double timeout = Forever);

 private:
  std::shared_ptr<detail::ClockWaitable> waitable_;
  long count_ = 0;
  std::vector<std::pair<Ref<Queue>, Queue::Task>> notifications_;
};

}  // namespace kit
