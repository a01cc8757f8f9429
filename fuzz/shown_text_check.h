// What the reply fuzz targets check of the screen once a reply has been
// taken: no text a player can see (labels, text views, text fields, button
// titles, in every window, the toasts' included) reads "(null)" or
// "<null>", the texts of a value the reply did not set, or "NaN", the text
// of an amount that is no number. A reply that carries one of those texts
// itself may show it, so it is not checked.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "kit/ui/application.h"
#include "kit/ui/button.h"
#include "kit/ui/label.h"
#include "kit/ui/text_field.h"
#include "kit/ui/text_view.h"
#include "kit/ui/view.h"
#include "kit/ui/window.h"

namespace shownfuzz {

inline bool readsNull(std::string_view text) {
  return text.find("(null)") != std::string_view::npos || text.find("<null>") != std::string_view::npos ||
         text.find("NaN") != std::string_view::npos;
}

inline void checkView(const kit::View& view) {
  std::string text;
  if (auto label = dynamic_cast<const kit::Label*>(&view)) text = label->text();
  if (auto field = dynamic_cast<const kit::TextField*>(&view)) text = field->text();
  if (auto textView = dynamic_cast<const kit::TextView*>(&view)) text = textView->text();
  if (auto button = dynamic_cast<const kit::Button*>(&view)) text = button->currentTitle();
  if (readsNull(text)) std::abort();
  for (const auto& subview : view.subviews()) checkView(*subview);
}

inline bool replyReadsNull(const uint8_t* data, size_t size) {
  return readsNull(std::string_view(reinterpret_cast<const char*>(data), size));
}

// Checks the view tree of a view not on screen, unless the reply itself
// holds one of the texts.
inline void checkTree(const kit::View& root, const uint8_t* data, size_t size) {
  if (!replyReadsNull(data, size)) checkView(root);
}

// Checks every window's view tree, likewise.
inline void checkScreen(const uint8_t* data, size_t size) {
  if (replyReadsNull(data, size)) return;
  for (const auto& window : kit::Application::shared()->windows()) checkView(*window);
}

}  // namespace shownfuzz
