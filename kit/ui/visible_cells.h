// The cells a table or collection view shows now, by index path, with the
// lookups both views answer from them.
#pragma once

#include <map>
#include <optional>
#include <vector>

#include "kit/foundation/object.h"
#include "kit/ui/index_path.h"

namespace kit {

template <class Cell>
class VisibleCells : public std::map<IndexPath, Ref<Cell>> {
 public:
  // In index path order.
  std::vector<Ref<Cell>> cells() const {
    std::vector<Ref<Cell>> out;
    for (const auto& [path, cell] : *this) out.push_back(cell);
    return out;
  }
  std::vector<IndexPath> indexPaths() const {
    std::vector<IndexPath> out;
    for (const auto& [path, cell] : *this) out.push_back(path);
    return out;
  }
  // The cell shown at the path, or nil.
  Ref<Cell> cellAt(const IndexPath& path) const {
    auto it = this->find(path);
    return it == this->end() ? nullptr : it->second;
  }
  std::optional<IndexPath> indexPathOf(const Cell& cell) const {
    for (const auto& [path, shown] : *this)
      if (shown.get() == &cell) return path;
    return std::nullopt;
  }
};

}  // namespace kit
