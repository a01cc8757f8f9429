// The horizontally paged area of the user-centre pages that hold list
// pages side by side (server openings, welfare): which child is in view,
// and placing that child's view when the player first reaches it (its
// view, and so its first request, is made then). Main thread.
#pragma once

#include <cstddef>

#include "kit/ui/scroll_view.h"
#include "kit/ui/view_controller.h"

// The index of the child in view: the whole part of the offset over the
// width; 0 for an area without width, never past the last child.
size_t KTSuVisibleChildIndex(const kit::ScrollView& scrollView, size_t childCount);

// Adds the view of the child in view to the area, at the current offset
// and the area's size, when that view is not made yet.
void KTSuPlaceVisibleChild(kit::ViewController& parent, kit::ScrollView& scrollView);
