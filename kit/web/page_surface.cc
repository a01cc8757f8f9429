// The page text view, the page's picture and its pointer input, shared by
// the web views.

#include "kit/web/page_surface.h"

#include <algorithm>

#include "kit/ui/canvas_drawing.h"
#include "kit/ui/touch.h"

namespace kit {

void addPageTextView(View& host, Ref<ScrollView>& scrollView, Ref<Label>& pageText) {
  host.setBackgroundColor(Color::whiteColor());
  scrollView = ScrollView::make(host.bounds());
  scrollView->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  scrollView->setContentSize(host.bounds().size);
  host.addSubview(scrollView);
  pageText = Label::make(Rect{8, 8, std::max(0.0, host.bounds().width() - 16), 0});
  pageText->setNumberOfLines(0);
  pageText->setFont(Font::systemFont(14));
  pageText->setTextColor(Color::white(0.2));
  scrollView->addSubview(pageText);
}

void updatePageTextView(View& host, PageEngine* engine, ScrollView& scrollView, Label& pageText) {
  const Rect b = host.bounds();
  const bool drawn = engine && engine->drawsPage();
  pageText.setHidden(drawn);
  pageText.setText(engine && !drawn ? engine->visibleText() : std::string());
  const double width = std::max(0.0, b.width() - 16);
  const Size textSize = pageText.sizeThatFits({width, 1e6});
  pageText.setFrame(Rect{8, 8, width, textSize.height});
  Size content = engine ? engine->contentSize() : Size{};
  if (content.width <= 0) content.width = b.width();
  if (content.height <= 0) content.height = std::max(b.height(), textSize.height + 16);
  scrollView.setContentSize(content);
}

bool drawPagePicture(PageEngine* engine, Canvas& canvas, const Rect& bounds) {
  if (!engine || !engine->drawsPage()) return false;
  Ref<Bitmap> picture = engine->currentPicture();
  if (!picture) return false;
  drawBitmap(canvas, *picture, bounds);
  return true;
}

bool sendTouchesToPage(PageEngine* engine, const View& view, const TouchSet& touches, PointerPhase phase) {
  if (!engine || !engine->drawsPage()) return false;
  if (!touches.empty()) engine->pointerEvent(phase, touches.front()->locationInView(&view));
  return true;
}

}  // namespace kit
