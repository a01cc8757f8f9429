// Scroll, pull and selection drivers for tests.
#include "kit/ui/scroll_test_driver.h"

#include <algorithm>
#include <cmath>

#include "kit/ui/collection_view.h"
#include "kit/ui/table_view.h"
#include "kit/ui/touch.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/window.h"

namespace kit::test {

bool scroll(ScrollView& view, double dx, double dy, Release release) {
  Ref<Window> window = view.window();
  if (!window) return false;
  window->layoutIfNeeded();
  const Rect frame = frameInWindow(view).intersection(window->bounds());
  if (frame.isNull()) return false;
  const Point start{frame.midX(), frame.midY()};
  const double length = std::hypot(dx, dy);
  if (length == 0) return tapAt(*window, start);
  // The finger moves against the content.
  const Point unit{-dx / length, -dy / length};
  auto at = [&](double distance) { return Point{start.x + unit.x * distance, start.y + unit.y * distance}; };
  touchDown(*window, start);
  const double slop = PanGestureRecognizer::Hysteresis;
  for (int i = 1; i <= static_cast<int>(slop); ++i) touchMove(*window, at(i));
  // Past the start distance every point of movement is one event; a flick
  // ends with one quick stroke.
  const double quick = release == Release::Fling ? std::min(length, 20.0) : 0;
  double moved = 0;
  while (moved + 1 <= length - quick) {
    moved += 1;
    touchMove(*window, at(slop + moved));
  }
  if (moved < length) touchMove(*window, at(slop + length));
  if (release == Release::Hold) touchMove(*window, at(slop + length));
  touchUp(*window, at(slop + length));
  return true;
}

bool pull(ScrollView& view, double distance, Release release) { return scroll(view, 0, -distance, release); }

bool selectRow(TableView& table, const IndexPath& indexPath) {
  if (indexPath.section < 0 || indexPath.section >= table.numberOfSections() || indexPath.row < 0 ||
      indexPath.row >= table.numberOfRowsInSection(indexPath.section))
    return false;
  if (!table.window()) {
    table.userSelectRowAtIndexPath(indexPath);
    return true;
  }
  table.scrollToRowAtIndexPath(indexPath, TableViewScrollPosition::None, false);
  Ref<TableViewCell> cell = table.cellForRowAtIndexPath(indexPath);
  if (!cell) return false;
  return tap(*cell);
}

bool selectItem(CollectionView& collection, const IndexPath& indexPath) {
  if (indexPath.section < 0 || indexPath.section >= collection.numberOfSections() || indexPath.item() < 0 ||
      indexPath.item() >= collection.numberOfItemsInSection(indexPath.section))
    return false;
  if (!collection.window()) {
    collection.userSelectItemAtIndexPath(indexPath);
    return true;
  }
  collection.scrollToItemAtIndexPath(indexPath, CollectionViewScrollPositionNone, false);
  Ref<CollectionViewCell> cell = collection.cellForItemAtIndexPath(indexPath);
  if (!cell) return false;
  return tap(*cell);
}

}  // namespace kit::test
