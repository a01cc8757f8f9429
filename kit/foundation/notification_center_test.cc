// Notification delivery: synchronous, in order, on the posting thread;
// filtering by name and object; removal at any time; weak targets; queues.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "kit/foundation/notification_center.h"
#include "kit/foundation/values.h"

namespace kit {
namespace {

class Listener : public Object {
 public:
  void onPay(const Ref<Notification>& n) { received.push_back(n); }
  std::vector<Ref<Notification>> received;
};

// Safe to call from several posting threads at once.
class CountingListener : public Object {
 public:
  void onNote(const Ref<Notification>&) { ++count; }
  std::atomic<int> count{0};
};

TEST(NotificationCenter, ObservedThreeTimesDeliveredThreeTimesSynchronouslyOnThePostingThread) {
  auto center = std::make_shared<NotificationCenter>();
  std::vector<std::thread::id> threads;
  std::vector<int> order;
  for (int i = 0; i < 3; ++i) {
    center->addObserverForName("OrderCreatedNotification", nullptr, [&, i](const Ref<Notification>& n) {
      EXPECT_EQ(n->name(), "OrderCreatedNotification");
      threads.push_back(std::this_thread::get_id());
      order.push_back(i);
    });
  }
  std::thread::id poster;
  std::thread([&] {
    poster = std::this_thread::get_id();
    center->postNotificationName("OrderCreatedNotification", dict({{"order_id", "42"}}));
    // Every observer has run by the time the post returns.
    EXPECT_EQ(order.size(), 3u);
  }).join();
  ASSERT_EQ(threads.size(), 3u);
  for (auto id : threads) EXPECT_EQ(id, poster);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
}

TEST(NotificationCenter, TargetsRegisteredTwiceAreCalledTwiceAndHeldWeakly) {
  auto center = std::make_shared<NotificationCenter>();
  auto listener = std::make_shared<Listener>();
  center->addObserver(listener, &Listener::onPay, "pay");
  center->addObserver(listener, &Listener::onPay, "pay");
  Id order = dict({{"order_id", "7"}});
  center->postNotificationName("pay", order, dict({{"k", "v"}}));
  ASSERT_EQ(listener->received.size(), 2u);
  EXPECT_EQ(listener->received[0]->object(), order);  // the payload is the object, as posted
  EXPECT_EQ(describe(Id(listener->received[0]->userInfo())["k"]), "v");
  EXPECT_EQ(center->observerCount(), 2u);

  // The center does not keep a target alive, and stops calling it.
  Weak<Listener> weak = listener;
  listener.reset();
  EXPECT_TRUE(weak.expired());
  EXPECT_EQ(center->observerCount(), 0u);
  center->postNotificationName("pay");  // nothing to call; must not crash
}

TEST(NotificationCenter, NameAndObjectFilters) {
  auto center = std::make_shared<NotificationCenter>();
  Id sender = str("sender");
  Id lookalike = str("sender");  // equal, but another object
  std::vector<std::string> log;
  center->addObserverForName("a", nullptr, [&](const Ref<Notification>&) { log.push_back("a/any"); });
  center->addObserverForName("a", sender, [&](const Ref<Notification>&) { log.push_back("a/sender"); });
  center->addObserverForName("", nullptr, [&](const Ref<Notification>& n) { log.push_back("all:" + n->name()); });
  center->postNotificationName("a", sender);
  center->postNotificationName("a", lookalike);
  center->postNotificationName("b");
  EXPECT_EQ(log, (std::vector<std::string>{"a/any", "a/sender", "all:a", "a/any", "all:a", "all:b"}));

  // An object filter whose object is gone matches nothing.
  log.clear();
  {
    Id transient = str("transient");
    center->addObserverForName("c", transient, [&](const Ref<Notification>&) { log.push_back("c/transient"); });
  }
  center->postNotificationName("c", str("transient"));
  EXPECT_EQ(log, (std::vector<std::string>{"all:c"}));
}

TEST(NotificationCenter, Removal) {
  auto center = std::make_shared<NotificationCenter>();
  auto listener = std::make_shared<Listener>();
  Id sender = str("s");
  center->addObserver(listener, &Listener::onPay, "x");
  center->addObserver(listener, &Listener::onPay, "y");
  center->addObserver(listener, &Listener::onPay, "y", sender);
  int blockCalls = 0;
  Id token = center->addObserverForName("x", nullptr, [&](const Ref<Notification>&) { ++blockCalls; });

  center->removeObserver(listener, "y", sender);  // only the filtered "y"
  center->postNotificationName("y", sender);
  EXPECT_EQ(listener->received.size(), 1u);
  center->removeObserver(listener, "y");
  center->postNotificationName("y", sender);
  EXPECT_EQ(listener->received.size(), 1u);
  center->postNotificationName("x");
  EXPECT_EQ(listener->received.size(), 2u);
  EXPECT_EQ(blockCalls, 1);
  center->removeObserver(token);
  center->removeObserver(listener);
  center->postNotificationName("x");
  EXPECT_EQ(listener->received.size(), 2u);
  EXPECT_EQ(blockCalls, 1);
  EXPECT_EQ(center->observerCount(), 0u);
  center->removeObserver(nullptr);  // harmless
  EXPECT_EQ(center->addObserverForName("x", nullptr, NotificationBlock()), nullptr);
  center->addObserver(listener, NotificationBlock(), "x");
  center->postNotificationName("x");  // observers without a callback are never registered
  EXPECT_EQ(center->observerCount(), 0u);
}

TEST(NotificationCenter, ObserverRemovedDuringDeliveryIsNotCalledAfterwards) {
  auto center = std::make_shared<NotificationCenter>();
  std::vector<std::string> log;
  Id second;
  Id first = center->addObserverForName("n", nullptr, [&](const Ref<Notification>&) {
    log.push_back("first");
    center->removeObserver(second);
    center->removeObserver(first);  // removing itself is fine too
  });
  second = center->addObserverForName("n", nullptr, [&](const Ref<Notification>&) { log.push_back("second"); });
  // An observer added during delivery waits for the next post.
  center->addObserverForName("n", nullptr, [&](const Ref<Notification>&) {
    log.push_back("third");
    center->addObserverForName("n", nullptr, [&](const Ref<Notification>&) { log.push_back("late"); });
  });
  center->postNotificationName("n");
  EXPECT_EQ(log, (std::vector<std::string>{"first", "third"}));
  log.clear();
  center->postNotificationName("n");
  EXPECT_EQ(log, (std::vector<std::string>{"third", "late"}));
}

TEST(NotificationCenter, QueuedObserversRunWhereTheQueueRunsThem) {
  auto center = std::make_shared<NotificationCenter>();
  std::vector<std::function<void()>> queue;
  auto poster = [&](std::function<void()> task) { queue.push_back(std::move(task)); };
  int calls = 0;
  Id token = center->addObserverForName("q", nullptr, poster, [&](const Ref<Notification>&) { ++calls; });
  center->postNotificationName("q");
  center->postNotificationName("q");
  EXPECT_EQ(calls, 0);
  ASSERT_EQ(queue.size(), 2u);
  queue[0]();
  EXPECT_EQ(calls, 1);
  // Removed before its turn: the queued delivery does nothing.
  center->removeObserver(token);
  queue[1]();
  EXPECT_EQ(calls, 1);
}

TEST(NotificationCenter, ThreadsPostAddAndRemoveTogether) {
  auto center = std::make_shared<NotificationCenter>();
  std::atomic<int> delivered{0};
  Id stable = center->addObserverForName("t", nullptr, [&](const Ref<Notification>&) { ++delivered; });
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 500; ++i) center->postNotificationName("t");
    });
  }
  threads.emplace_back([&] {
    for (int i = 0; i < 500; ++i) {
      Id temp = center->addObserverForName("t", nullptr, [](const Ref<Notification>&) {});
      auto listener = std::make_shared<CountingListener>();
      center->addObserver(listener, &CountingListener::onNote, "t");
      center->removeObserver(temp);
    }
  });
  for (auto& t : threads) t.join();
  EXPECT_EQ(delivered.load(), 2000);
  EXPECT_EQ(center->observerCount(), 1u);
}

TEST(NotificationCenter, DefaultCenterAndDescriptions) {
  EXPECT_EQ(NotificationCenter::defaultCenter(), NotificationCenter::defaultCenter());
  int calls = 0;
  Id token = NotificationCenter::defaultCenter()->addObserverForName(
      "PaymentSucceededNotification", nullptr, [&](const Ref<Notification>& n) {
        ++calls;
        EXPECT_EQ(n->object(), nullptr);
        EXPECT_EQ(n->userInfo(), nullptr);
      });
  NotificationCenter::defaultCenter()->postNotificationName("PaymentSucceededNotification");
  NotificationCenter::defaultCenter()->removeObserver(token);
  NotificationCenter::defaultCenter()->postNotificationName("PaymentSucceededNotification");
  EXPECT_EQ(calls, 1);
  auto n = Notification::make("CategoryDataWillLoad", str("0"));
  std::string text = n->description();
  EXPECT_EQ(text.rfind("NSConcreteNotification 0x", 0), 0u);
  EXPECT_NE(text.find("{name = CategoryDataWillLoad; object = 0}"), std::string::npos);
}

}  // namespace
}  // namespace kit
