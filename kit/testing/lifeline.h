// kit::test::Lifeline: how a test's recording object hands out callbacks
// that something else keeps and may call after the object has gone (a
// wait for them gave up, and the test went on or ended). Each callback
// reaches the object through the lifeline, which the object's end cuts: a
// call after that does nothing, where it would have written into freed
// memory. A call and the cut exclude each other, so a call under way on
// another thread finishes before the object goes.
//
//   struct Outcome {
//     std::function<void(int)> callback() {
//       return lifeline.bind([](Outcome& self, int value) { self.value = value; });
//     }
//     int value = 0;
//     kit::test::Lifeline<Outcome> lifeline{*this};  // the last member: cut first
//   };
#pragma once

#include <memory>
#include <mutex>
#include <utility>

namespace kit::test {

template <class Owner>
class Lifeline {
 public:
  explicit Lifeline(Owner& owner) : link_(std::make_shared<Link>(&owner)) {}
  // For the owner's move: the callbacks handed out before reach `owner`
  // from now on; the ones `from` hands out later reach nobody.
  Lifeline(Owner& owner, Lifeline&& from) : link_(std::exchange(from.link_, std::make_shared<Link>(nullptr))) {
    std::lock_guard lock(link_->mutex);
    link_->owner = &owner;
  }
  ~Lifeline() { cut(); }
  Lifeline(const Lifeline&) = delete;
  Lifeline& operator=(const Lifeline&) = delete;

  // A callback that runs `f(owner, arguments...)` while the owner lives,
  // and does nothing once it has gone.
  template <class F>
  auto bind(F f) const {
    return [link = link_, f = std::move(f)](auto&&... arguments) {
      std::lock_guard lock(link->mutex);
      if (link->owner) f(*link->owner, std::forward<decltype(arguments)>(arguments)...);
    };
  }

  // From now on the callbacks reach the owner no more.
  void cut() {
    std::lock_guard lock(link_->mutex);
    link_->owner = nullptr;
  }

 private:
  struct Link {
    explicit Link(Owner* o) : owner(o) {}
    // Recursive: a callback may set off another of the same owner's.
    std::recursive_mutex mutex;
    Owner* owner;
  };
  std::shared_ptr<Link> link_;
};

}  // namespace kit::test
