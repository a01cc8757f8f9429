// Test support for the user centre's paged lists (header only, for
// *_test.cc): answers a list endpoint of the simulator as the list stands
// when a request comes in, but holds the replies a test names until it
// lets them go, so that the replies of requests in flight together come
// back in the order the test needs, not in the order the network happens
// to give.
//
//   auto held = HeldListReplies::route(*server, *lists, Lists::kServerList);
//   auto reload = held->holdNext(1);   // the next request for page 1 waits
//   ... the page asks ...
//   held->release(reload);
//
// A held reply waits on the server's thread; releaseAll() (also run by the
// destructor) frees every one, and must run before the server stops.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "sim/platform_api_server.h"
#include "sim/platform_user_centre_lists.h"

class HeldListReplies {
 public:
  using Ticket = size_t;

  // Routes `endpoint` of `server` through the returned object.
  static std::shared_ptr<HeldListReplies> route(sim::PlatformAPIServer& server, sim::PlatformUserCentreLists& lists,
                                                const std::string& endpoint) {
    auto held = std::shared_ptr<HeldListReplies>(new HeldListReplies(lists, endpoint));
    std::weak_ptr<HeldListReplies> weak = held;
    server.route(endpoint, [weak, endpoint](const sim::PlatformAPIRequest& request) {
      const long page = std::stol(request.formValue("pagecode").value_or("1"));
      const std::string isDisplay = request.formValue("is_display").value_or("1");
      auto self = weak.lock();
      if (!self) return sim::PlatformAPIReply::silence();
      // The list as it stood when the request came in.
      auto reply = self->lists_.pageReply(endpoint, page, isDisplay);
      self->waitIfHeld(page);
      return reply;
    });
    return held;
  }

  ~HeldListReplies() { releaseAll(); }

  // The reply to the next request for `page` waits until released.
  Ticket holdNext(long page) {
    std::lock_guard lock(mutex_);
    holds_.push_back({page, State::Armed});
    return holds_.size() - 1;
  }
  // Whether the request a ticket names has come in and waits.
  bool isWaiting(Ticket ticket) const {
    std::lock_guard lock(mutex_);
    return holds_.at(ticket).state == State::Waiting;
  }
  void release(Ticket ticket) {
    {
      std::lock_guard lock(mutex_);
      holds_.at(ticket).state = State::Released;
    }
    changed_.notify_all();
  }
  void releaseAll() {
    {
      std::lock_guard lock(mutex_);
      for (auto& hold : holds_) hold.state = State::Released;
    }
    changed_.notify_all();
  }

 private:
  enum class State { Armed, Waiting, Released };
  struct Hold {
    long page;
    State state;
  };

  HeldListReplies(sim::PlatformUserCentreLists& lists, std::string endpoint)
      : lists_(lists), endpoint_(std::move(endpoint)) {}

  void waitIfHeld(long page) {
    std::unique_lock lock(mutex_);
    for (auto& hold : holds_) {
      if (hold.page != page || hold.state != State::Armed) continue;
      hold.state = State::Waiting;
      changed_.wait(lock, [&] { return hold.state == State::Released; });
      return;
    }
  }

  sim::PlatformUserCentreLists& lists_;
  const std::string endpoint_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  // Never shrinks, and growing keeps references: a waiting reply holds one.
  std::deque<Hold> holds_;
};
