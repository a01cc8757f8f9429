// What both web views show of their page. An engine that does not draw
// (the page driver) is shown as the page's visible text in a label inside
// a scroll view filling the web view; an engine that draws (the browser)
// is shown as its picture of the page, scaled to the view's bounds, and
// the touches that land on the view reach it as pointer events.
#pragma once

#include "kit/foundation/object.h"
#include "kit/ui/canvas.h"
#include "kit/ui/label.h"
#include "kit/ui/scroll_view.h"
#include "kit/web/page_engine.h"

namespace kit {

// Adds the scroll view and its text label to `host` and hands them back.
void addPageTextView(View& host, Ref<ScrollView>& scrollView, Ref<Label>& pageText);

// Lays the text out for the view's width and sets the scroll view's
// content size from it or from the engine's document size; hides the text
// when the engine draws the page.
void updatePageTextView(View& host, PageEngine* engine, ScrollView& scrollView, Label& pageText);

// Draws the engine's picture of the page over the view's bounds; false
// when the engine does not draw or has nothing to show.
bool drawPagePicture(PageEngine* engine, Canvas& canvas, const Rect& bounds);

// Hands the first of `touches` to the engine as a pointer in `view`'s
// space; false when the engine does not draw the page (nothing is sent).
bool sendTouchesToPage(PageEngine* engine, const View& view, const TouchSet& touches, PointerPhase phase);

}  // namespace kit
