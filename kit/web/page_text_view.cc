// The page text view shared by the web views.

#include "kit/web/page_text_view.h"

#include <algorithm>

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

}  // namespace kit
