// Pasteboards kept in memory.
#include "kit/ui/pasteboard.h"

#include <map>

#include "kit/foundation/no_destructor.h"

namespace kit {

Ref<Pasteboard> Pasteboard::general() { return named("general"); }

Ref<Pasteboard> Pasteboard::named(const std::string& name) {
  static NoDestructor<std::mutex> m;
  static NoDestructor<std::map<std::string, Ref<Pasteboard>>> boards;
  std::lock_guard lock(*m);
  auto& board = (*boards)[name];
  if (!board) board = kit::make<Pasteboard>();
  return board;
}

std::optional<std::string> Pasteboard::string() const {
  std::lock_guard lock(mutex_);
  if (strings_.empty()) return std::nullopt;
  return strings_.front();
}

void Pasteboard::setString(const std::string& s) { setStrings({s}); }

std::vector<std::string> Pasteboard::strings() const {
  std::lock_guard lock(mutex_);
  return strings_;
}

void Pasteboard::setStrings(std::vector<std::string> s) {
  std::shared_ptr<const ChangeObserver> observer;
  {
    std::lock_guard lock(mutex_);
    strings_ = s;
    ++changes_;
    observer = observer_;
  }
  // Told outside the lock: the observer may read the pasteboard.
  if (observer) (*observer)(s);
}

void Pasteboard::setChangeObserver(ChangeObserver observer) {
  std::lock_guard lock(mutex_);
  observer_ = observer ? std::make_shared<const ChangeObserver>(std::move(observer)) : nullptr;
}

bool Pasteboard::hasStrings() const {
  std::lock_guard lock(mutex_);
  return !strings_.empty();
}

long Pasteboard::changeCount() const {
  std::lock_guard lock(mutex_);
  return changes_;
}

}  // namespace kit
