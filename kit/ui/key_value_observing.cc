// Registrations of change observers and their notification.
#include "kit/ui/key_value_observing.h"

#include <algorithm>

#include "kit/foundation/exception.h"

namespace kit {

void KeyValueObservers::add(const Id& observer, const std::string& keyPath, KeyValueHandler handler) {
  if (!handler) return;
  entries_.push_back(Entry{observer, observer.get(), static_cast<bool>(observer), keyPath,
                           std::make_shared<KeyValueHandler>(std::move(handler))});
}

void KeyValueObservers::remove(const Object* observer, const std::string& keyPath) {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    if (it->observerPointer == observer && it->keyPath == keyPath) {
      entries_.erase(std::next(it).base());
      return;
    }
  }
  raise(RangeException, "Cannot remove an observer for the key path \"" + keyPath +
                            "\" because it is not registered as an observer.");
}

bool KeyValueObservers::has(const Object* observer, const std::string& keyPath) const {
  return std::any_of(entries_.begin(), entries_.end(),
                     [&](const Entry& e) { return e.observerPointer == observer && e.keyPath == keyPath; });
}

size_t KeyValueObservers::count(const std::string& keyPath) const {
  return static_cast<size_t>(
      std::count_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.keyPath == keyPath; }));
}

void KeyValueObservers::notify(const std::string& keyPath, ObservedValue oldValue, ObservedValue newValue) {
  // Drop registrations whose observer has gone (its address may be reused).
  entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                [](const Entry& e) { return e.held && e.observer.expired(); }),
                 entries_.end());
  std::vector<Entry> calls;
  for (const auto& e : entries_)
    if (e.keyPath == keyPath) calls.push_back(e);
  if (calls.empty()) return;
  const KeyValueChange change{keyPath, oldValue, newValue};
  for (auto& call : calls) {
    Id keep = call.observer.lock();
    if (call.held && !keep) continue;
    const auto& handler = call.handler;
    // Skip a registration removed by an earlier handler of this round.
    const bool stillRegistered = std::any_of(entries_.begin(), entries_.end(),
                                             [&](const Entry& e) { return e.handler == handler; });
    if (!stillRegistered) continue;
    (*handler)(change);
  }
}

}  // namespace kit
