// Driving scroll, table and collection views in tests as a finger would:
// the drags go through the window's touch delivery to the scroll view's
// pan recognizer, one point of movement per touch event after the
// recognizer's start distance, so the content reports every point of its
// way (a pull of 80 points reports offsets -1 ... -80 while dragging).
//
//   kit::test::pull(*table, 80);                       // pull to refresh
//   advance(kit::ScrollView::BounceDuration);          // the spring-back
//   kit::test::scroll(*pager, 300, 0, kit::test::Release::Fling);
//   kit::test::selectRow(*table, kit::IndexPath::forRow(5, 0));
#pragma once

#include "kit/ui/index_path.h"
#include "kit/ui/scroll_view.h"

namespace kit {
class TableView;
class CollectionView;
}  // namespace kit

namespace kit::test {

// How the finger leaves the glass: held still first (no velocity: the
// content only springs back or snaps to the nearest page), or lifted while
// moving (a flick: the content decelerates or turns a page).
enum class Release { Hold, Fling };

// Drags the content by (dx, dy) points: the offset grows by that much (the
// finger moves the other way). False when the view is in no window.
bool scroll(ScrollView& view, double dx, double dy, Release release = Release::Hold);
// Pulls the content down by `distance` points (the offset falls by it), as
// a player pulls a list to refresh it.
bool pull(ScrollView& view, double distance, Release release = Release::Hold);

// Selects a row as a tap on it does: the row is scrolled into sight and its
// cell tapped through the window (in no window, the table's tap path is
// taken directly). False when the row does not exist.
bool selectRow(TableView& table, const IndexPath& indexPath);
// The same for a collection view's item.
bool selectItem(CollectionView& collection, const IndexPath& indexPath);

}  // namespace kit::test
