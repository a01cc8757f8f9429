// The view both web views show: a scroll view filling the web view with the
// page's visible text in a label, since kit draws no HTML.
#pragma once

#include "kit/foundation/object.h"
#include "kit/ui/label.h"
#include "kit/ui/scroll_view.h"

namespace kit {

// Adds the scroll view and its text label to `host` and hands them back.
void addPageTextView(View& host, Ref<ScrollView>& scrollView, Ref<Label>& pageText);

}  // namespace kit
