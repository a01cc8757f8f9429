// Change observation of a few user-interface properties, as the platform's
// key-value observing offers it for them: a scroll view's "contentOffset",
// "contentSize" and "contentInset", a gesture recognizer's "state", and a
// web view's loading progress, title and address.
// An observer registers for a key path with a handler that receives the
// old and the new value; the observer itself is held weakly, so a handler
// whose observer is gone is skipped and dropped. Removing a registration
// that does not exist raises the platform's range exception, as the
// platform does; callers that may remove twice catch it.
//
//   scrollView->addObserver(self, "contentOffset", [weak](const kit::KeyValueChange& change) {
//     if (auto self = weak.lock()) self->offsetChanged(change.newValue<kit::Point>());
//   });
//   scrollView->removeObserver(self.get(), "contentOffset");
#pragma once

#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "kit/foundation/object.h"
#include "kit/graphics/geometry.h"

namespace kit {

// The values an observed property can take (the gesture state and flags as
// integers, texts and addresses as strings).
using ObservedValue = std::variant<std::monostate, long, double, Point, Size, Rect, EdgeInsets, std::string>;

// The platform's change dictionary: key path, old and new value.
struct KeyValueChange {
  std::string keyPath;
  ObservedValue oldValueHolder;
  ObservedValue newValueHolder;

  template <class T>
  T oldValue() const {
    const T* v = std::get_if<T>(&oldValueHolder);
    return v ? *v : T{};
  }
  template <class T>
  T newValue() const {
    const T* v = std::get_if<T>(&newValueHolder);
    return v ? *v : T{};
  }
};

using KeyValueHandler = std::function<void(const KeyValueChange&)>;

// The registrations of one observed object.
class KeyValueObservers {
 public:
  // Registers `observer` (held weakly; nil keeps the handler until it is
  // removed with removeAll) for `keyPath`. Registering twice calls twice.
  void add(const Id& observer, const std::string& keyPath, KeyValueHandler handler);
  // Removes the newest registration of `observer` for `keyPath`; raises
  // RangeException when there is none.
  void remove(const Object* observer, const std::string& keyPath);
  void removeAll() { entries_.clear(); }
  bool has(const Object* observer, const std::string& keyPath) const;
  size_t count(const std::string& keyPath) const;

  // Tells every live observer of `keyPath`, in registration order. An
  // observer that removes registrations during the call is safe.
  void notify(const std::string& keyPath, ObservedValue oldValue, ObservedValue newValue);

 private:
  struct Entry {
    std::weak_ptr<Object> observer;
    const Object* observerPointer;
    bool held;  // false: registered without an observer object
    std::string keyPath;
    std::shared_ptr<KeyValueHandler> handler;
  };
  std::vector<Entry> entries_;
};

}  // namespace kit
