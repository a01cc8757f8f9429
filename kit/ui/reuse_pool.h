// The reuse queues of table and collection views: cells that scrolled out
// of sight wait here under their reuse identifier until the data source
// dequeues one, and registered factories make new ones when none waits.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "kit/foundation/object.h"

namespace kit {

template <class Cell>
class ReusePool {
 public:
  using Factory = std::function<Ref<Cell>(const std::string& reuseIdentifier)>;

  // A later registration under the same identifier replaces the earlier;
  // an empty factory removes it.
  void registerFactory(const std::string& identifier, Factory factory) {
    if (factory) factories_[identifier] = std::move(factory);
    else factories_.erase(identifier);
  }
  bool isRegistered(const std::string& identifier) const { return factories_.count(identifier) != 0; }

  // A waiting cell, or nil.
  Ref<Cell> take(const std::string& identifier) {
    auto it = waiting_.find(identifier);
    if (it == waiting_.end() || it->second.empty()) return nullptr;
    Ref<Cell> cell = it->second.back();
    it->second.pop_back();
    return cell;
  }
  // A new cell from the registered factory, or nil.
  Ref<Cell> create(const std::string& identifier) const {
    auto it = factories_.find(identifier);
    return it == factories_.end() ? nullptr : it->second(identifier);
  }
  void put(const std::string& identifier, Ref<Cell> cell) {
    if (identifier.empty() || !cell) return;  // a cell without identifier is not reused
    waiting_[identifier].push_back(std::move(cell));
  }
  size_t waitingCount(const std::string& identifier) const {
    auto it = waiting_.find(identifier);
    return it == waiting_.end() ? 0 : it->second.size();
  }
  void clearWaiting() { waiting_.clear(); }

 private:
  std::map<std::string, Factory> factories_;
  std::map<std::string, std::vector<Ref<Cell>>> waiting_;
};

}  // namespace kit
