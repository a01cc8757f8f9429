// Notifications and the notification center.
//
// Posting delivers synchronously, on the posting thread, to every matching
// observer in the order they registered; an observer registered twice is
// called twice. Observers are either blocks (the center keeps the block and
// returns a token to remove it with) or targets (held weakly: a target that
// is gone is no longer called). An observer removed while a notification
// is being delivered, from any thread, is not called afterwards. The
// center is safe to use from any thread; callbacks run without its lock, so
// they may add, remove and post.
//
// A block observer can name a queue: a poster function that receives each
// delivery as a task (kit::Queue plugs in here), instead of running it on
// the posting thread.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/dictionary.h"
#include "kit/foundation/object.h"

namespace kit {

class Notification : public Object {
 public:
  Notification(std::string name, Id object, Ref<Dictionary> userInfo)
      : name_(std::move(name)), object_(std::move(object)), userInfo_(std::move(userInfo)) {}

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  static Ref<Notification> make(std::string_view name, Id object = nullptr, Ref<Dictionary> userInfo = nullptr) {
    return std::make_shared<Notification>(std::string(name), std::move(object), std::move(userInfo));
  }

  const std::string& name() const { return name_; }
  const Id& object() const { return object_; }
  const Ref<Dictionary>& userInfo() const { return userInfo_; }  // may be nil

  std::string description() const override;
  Id copy() const override { return self(); }

 private:
  std::string name_;
  Id object_;
  Ref<Dictionary> userInfo_;
};

using NotificationBlock = std::function<void(const Ref<Notification>&)>;
// Runs a delivery task somewhere else (a queue); see the file comment.
using NotificationPoster = std::function<void(std::function<void()>)>;

class NotificationCenter : public Object {
 public:
  NotificationCenter();
  ~NotificationCenter() override;

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  static Ref<NotificationCenter> defaultCenter();

  // Observes notifications named `name` (every name when empty) posted with
  // `object` (any object when nil; matched by identity, and an object that
  // is gone matches nothing). Returns the token that removeObserver takes,
  // or nil when there is no block.
  Id addObserverForName(std::string_view name, const Id& object, NotificationPoster queue, NotificationBlock block);
  Id addObserverForName(std::string_view name, const Id& object, NotificationBlock block) {
    return addObserverForName(name, object, nullptr, std::move(block));
  }

  // Observes on behalf of `observer`, which the center holds weakly; the
  // callback runs only while the observer lives.
  void addObserver(const Id& observer, NotificationBlock callback, std::string_view name, const Id& object = nullptr);
  // The same with a member function of the observer.
  template <class T>
  void addObserver(const Ref<T>& observer, void (T::*method)(const Ref<Notification>&), std::string_view name,
                   const Id& object = nullptr) {
    Weak<T> weak = observer;
    addObserver(
        Id(observer),
        [weak, method](const Ref<Notification>& n) {
          if (auto strong = weak.lock()) ((*strong).*method)(n);
        },
        name, object);
  }

  // Removes every registration of an observer (or of a block's token).
  void removeObserver(const Id& observer);
  // Removes the registrations of `observer` for `name` (all names when
  // empty) and `object` (all objects when nil).
  void removeObserver(const Id& observer, std::string_view name, const Id& object = nullptr);

  void postNotification(const Ref<Notification>& notification);
  void postNotificationName(std::string_view name, const Id& object = nullptr, Ref<Dictionary> userInfo = nullptr);

  // Registrations currently held (targets that are gone are not counted).
  size_t observerCount() const;

 private:
  struct Entry;
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<Entry>> entries_;
};

}  // namespace kit
