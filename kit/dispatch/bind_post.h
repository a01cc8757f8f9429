// kit::bindPost: a callback bound to a queue and a weak receiver.
//
// The returned callable may be called on any thread with any arguments; each
// call posts one task to `queue` that runs `fn(receiver, args...)` there if
// the receiver is still alive, and is dropped otherwise. No raw pointer to
// the receiver crosses the thread, and the arguments are copied into the
// task. It is the one way product code hops to another queue:
//
//   session->start(kit::bindPost(kit::Queue::main(), weakSelf<Login>(),
//                                [](Login& self, const Ref<Data>& body) { self.finish(body); }));
//
// The queue is held strongly (a private queue lives as long as a callback
// bound to it); the main and global queues live forever. An operation queue
// works the same way: each call adds one block operation.
#pragma once

#include <memory>
#include <tuple>
#include <utility>

#include "kit/dispatch/operation_queue.h"
#include "kit/dispatch/queue.h"

namespace kit {

namespace detail {
inline Ref<Queue> holdQueue(Queue& queue) {
  // The main and global queues are process-wide and never freed; private
  // queues live in shared pointers.
  if (queue.kind() == Queue::Kind::Main || queue.kind() == Queue::Kind::Global) {
    return Ref<Queue>(Ref<Queue>{}, &queue);
  }
  return std::static_pointer_cast<Queue>(queue.self());
}
}  // namespace detail

template <class T, class F>
auto bindPost(Queue& queue, std::weak_ptr<T> receiver, F fn) {
  return [queue = detail::holdQueue(queue), receiver = std::move(receiver), fn = std::move(fn)](auto&&... args) {
    queue->async([receiver, fn, captured = std::make_tuple(std::decay_t<decltype(args)>(
                                    std::forward<decltype(args)>(args))...)]() mutable {
      if (auto strong = receiver.lock()) {
        std::apply([&](auto&... values) { fn(*strong, values...); }, captured);
      }
    });
  };
}

// The same with a strong receiver: held weakly from here on.
template <class T, class F>
auto bindPost(Queue& queue, const std::shared_ptr<T>& receiver, F fn) {
  return bindPost(queue, std::weak_ptr<T>(receiver), std::move(fn));
}

// The same onto an operation queue (the main operation queue runs its
// operations on the main queue, one at a time, in order).
template <class T, class F>
auto bindPost(OperationQueue& queue, std::weak_ptr<T> receiver, F fn) {
  return [queue = queue.selfAs<OperationQueue>(), receiver = std::move(receiver), fn = std::move(fn)](auto&&... args) {
    queue->addOperationWithBlock([receiver, fn, captured = std::make_tuple(std::decay_t<decltype(args)>(
                                                     std::forward<decltype(args)>(args))...)]() mutable {
      if (auto strong = receiver.lock()) {
        std::apply([&](auto&... values) { fn(*strong, values...); }, captured);
      }
    });
  };
}

template <class T, class F>
auto bindPost(OperationQueue& queue, const std::shared_ptr<T>& receiver, F fn) {
  return bindPost(queue, std::weak_ptr<T>(receiver), std::move(fn));
}

// A callback posted to `queue` with no receiver to outlive: for work that
// holds everything it needs by value.
template <class F>
auto bindPost(Queue& queue, F fn) {
  return [queue = detail::holdQueue(queue), fn = std::move(fn)](auto&&... args) {
    queue->async([fn, captured = std::make_tuple(std::decay_t<decltype(args)>(
                          std::forward<decltype(args)>(args))...)]() mutable {
      std::apply([&](auto&... values) { fn(values...); }, captured);
    });
  };
}

}  // namespace kit
