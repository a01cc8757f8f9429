// kit::IndexPath: the position of a row (table views) or an item
// (collection views) within its section, as the platform's index path.
#pragma once

#include <compare>
#include <string>

namespace kit {

struct IndexPath {
  long section = 0;
  long row = 0;

  static constexpr IndexPath forRow(long row, long section) { return {section, row}; }
  static constexpr IndexPath forItem(long item, long section) { return {section, item}; }
  // The item of a collection view's index path is its row.
  constexpr long item() const { return row; }

  auto operator<=>(const IndexPath&) const = default;
  bool operator==(const IndexPath&) const = default;
  // "{length = 2, path = 0 - 5}", as the platform prints it.
  std::string description() const {
    return "{length = 2, path = " + std::to_string(section) + " - " + std::to_string(row) + "}";
  }
};

}  // namespace kit
