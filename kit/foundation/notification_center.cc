// Notifications and synchronous delivery to registered observers.

#include "kit/foundation/notification_center.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "kit/foundation/format.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/runtime.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(Notification, Object, "NSNotification") {}
KIT_DEFINE_CLASS_NAMED(NotificationCenter, Object, "NSNotificationCenter") {}

namespace {

// The token of a block observer: nothing but an identity.
class ObserverToken final : public Object {
 public:
  std::string description() const override { return defaultDescription(); }
};

}  // namespace

std::string Notification::description() const {
  char address[32];
  std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
  std::string out = std::string("NSConcreteNotification ") + address + " {name = " + name_;
  if (object_) out += "; object = " + describe(object_);
  if (userInfo_) out += "; userInfo = " + describe(userInfo_);
  return out + "}";
}

struct NotificationCenter::Entry {
  std::string name;  // empty: every name
  bool filtersObject = false;
  const Object* objectIdentity = nullptr;
  Weak<Object> object;
  // The observer: a target held weakly, or a block's token.
  const Object* observerIdentity = nullptr;
  bool isTarget = false;
  Weak<Object> target;
  Id token;
  NotificationBlock block;
  NotificationPoster poster;
  std::atomic<bool> removed{false};

  bool targetGone() const { return isTarget && target.expired(); }
  bool matches(const Notification& n) const {
    if (!name.empty() && name != n.name()) return false;
    if (filtersObject && (n.object().get() != objectIdentity || object.expired())) return false;
    return !targetGone();
  }
};

NotificationCenter::NotificationCenter() = default;

NotificationCenter::~NotificationCenter() = default;

Ref<NotificationCenter> NotificationCenter::defaultCenter() {
  static NoDestructor<Ref<NotificationCenter>> center(std::make_shared<NotificationCenter>());  // lives for the process
  return *center;
}

Id NotificationCenter::addObserverForName(std::string_view name, const Id& object, NotificationPoster queue,
                                          NotificationBlock block) {
  if (!block) return nullptr;
  auto entry = std::make_shared<Entry>();
  entry->name = std::string(name);
  entry->filtersObject = static_cast<bool>(object);
  entry->objectIdentity = object.get();
  entry->object = object;
  entry->token = std::make_shared<ObserverToken>();
  entry->observerIdentity = entry->token.get();
  entry->block = std::move(block);
  entry->poster = std::move(queue);
  Id token = entry->token;
  std::lock_guard lock(mutex_);
  entries_.push_back(std::move(entry));
  return token;
}

void NotificationCenter::addObserver(const Id& observer, NotificationBlock callback, std::string_view name,
                                     const Id& object) {
  if (!observer || !callback) return;
  auto entry = std::make_shared<Entry>();
  entry->name = std::string(name);
  entry->filtersObject = static_cast<bool>(object);
  entry->objectIdentity = object.get();
  entry->object = object;
  entry->observerIdentity = observer.get();
  entry->isTarget = true;
  entry->target = observer;
  entry->block = std::move(callback);
  std::lock_guard lock(mutex_);
  entries_.push_back(std::move(entry));
}

void NotificationCenter::removeObserver(const Id& observer) { removeObserver(observer, {}, nullptr); }

void NotificationCenter::removeObserver(const Id& observer, std::string_view name, const Id& object) {
  if (!observer) return;
  std::vector<std::shared_ptr<Entry>> removed;  // destroyed outside the lock
  std::lock_guard lock(mutex_);
  auto keep = std::stable_partition(entries_.begin(), entries_.end(), [&](const std::shared_ptr<Entry>& e) {
    const bool drop = e->observerIdentity == observer.get() && (name.empty() || e->name == name) &&
                      (!object || e->objectIdentity == object.get());
    return !drop;
  });
  for (auto it = keep; it != entries_.end(); ++it) {
    (*it)->removed.store(true);
    removed.push_back(std::move(*it));
  }
  entries_.erase(keep, entries_.end());
}

void NotificationCenter::postNotification(const Ref<Notification>& notification) {
  if (!notification) return;
  std::vector<std::shared_ptr<Entry>> matching;
  std::vector<std::shared_ptr<Entry>> gone;  // released outside the lock
  {
    std::lock_guard lock(mutex_);
    for (const auto& e : entries_) {
      if (e->targetGone()) gone.push_back(e);
      else if (e->matches(*notification)) matching.push_back(e);
    }
    if (!gone.empty()) {
      std::erase_if(entries_, [](const std::shared_ptr<Entry>& e) { return e->targetGone(); });
    }
  }
  for (const auto& e : matching) {
    if (e->removed.load()) continue;
    if (e->poster) {
      e->poster([e, notification] {
        if (!e->removed.load()) e->block(notification);
      });
      continue;
    }
    // Keep the target alive while it handles the notification.
    Id target = e->isTarget ? Id(e->target.lock()) : nullptr;
    if (e->isTarget && !target) continue;
    e->block(notification);
  }
}

void NotificationCenter::postNotificationName(std::string_view name, const Id& object, Ref<Dictionary> userInfo) {
  postNotification(Notification::make(name, object, std::move(userInfo)));
}

size_t NotificationCenter::observerCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<size_t>(
      std::count_if(entries_.begin(), entries_.end(), [](const std::shared_ptr<Entry>& e) { return !e->targetGone(); }));
}

}  // namespace kit
