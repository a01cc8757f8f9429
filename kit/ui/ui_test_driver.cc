// Touch and keyboard drivers for tests.
#include "kit/ui/ui_test_driver.h"

#include "kit/foundation/composed_characters.h"
#include "kit/ui/button.h"
#include "kit/ui/touch.h"

namespace kit::test {

bool touchDown(Window& window, Point point, int touchId) {
  window.sendTouch(TouchPhase::Began, point, touchId);
  return true;
}

bool touchMove(Window& window, Point point, int touchId) {
  window.sendTouch(TouchPhase::Moved, point, touchId);
  return true;
}

bool touchUp(Window& window, Point point, int touchId) {
  window.sendTouch(TouchPhase::Ended, point, touchId);
  return true;
}

bool touchCancel(Window& window, Point point, int touchId) {
  window.sendTouch(TouchPhase::Cancelled, point, touchId);
  return true;
}

bool tapAt(Window& window, Point point) {
  touchDown(window, point);
  touchUp(window, point);
  return true;
}

Rect frameInWindow(const View& view) { return view.convertRectToView(view.bounds(), nullptr); }

bool tap(View& view) {
  Ref<Window> window = view.window();
  if (!window) return false;
  window->layoutIfNeeded();
  const Rect f = frameInWindow(view);
  return tapAt(*window, {f.midX(), f.midY()});
}

bool tap(const Ref<View>& view) { return view && tap(*view); }

bool drag(Window& window, Point from, Point to, int steps) {
  steps = std::max(1, steps);
  touchDown(window, from);
  for (int i = 1; i <= steps; ++i) {
    const double f = static_cast<double>(i) / steps;
    touchMove(window, {from.x + (to.x - from.x) * f, from.y + (to.y - from.y) * f});
  }
  touchUp(window, to);
  return true;
}

bool pressAlertAction(AlertController& alert, const std::string& title) {
  for (const auto& action : alert.actions()) {
    if (action->title() != title) continue;
    if (alert.isViewLoaded() && alert.viewIfLoaded()->window()) {
      if (auto button = alert.buttonForAction(action.get())) return tap(*button);
    }
    return alert.press(action);
  }
  return false;
}

bool typeText(TextField& field, const std::string& text) {
  if (!field.becomeFirstResponder()) return false;
  return field.insertText(text);
}

namespace {

// The composed characters of a text, as the keys that type it.
std::vector<std::string> keys(const std::string& text) {
  std::vector<std::string> out;
  const Ref<String> s = String::make(text);
  const std::u16string units = utf8ToUTF16(text);
  for (size_t i = 0; i < units.size();) {
    Range r = rangeOfComposedCharacterSequenceAtIndex(*s, i);
    if (r.length == 0) r = {i, 1};
    out.push_back(utf16ToUTF8(std::u16string_view(units).substr(r.location, r.length)));
    i = r.location + r.length;
  }
  return out;
}

}  // namespace

bool type(TextField& field, const std::string& text) {
  if (!field.becomeFirstResponder()) return false;
  bool all = true;
  for (const std::string& key : keys(text)) all = field.insertText(key) && all;
  return all;
}

bool type(TextView& view, const std::string& text) {
  if (!view.becomeFirstResponder()) return false;
  bool all = true;
  for (const std::string& key : keys(text)) all = view.insertText(key) && all;
  return all;
}

bool pressBackspace(TextField& field) { return field.deleteBackward(); }

void pressReturn(TextField& field) { field.pressReturn(); }

std::vector<Ref<View>> findViews(View& root, const std::function<bool(View&)>& match) {
  std::vector<Ref<View>> out;
  std::function<void(View&)> walk = [&](View& v) {
    if (match(v)) out.push_back(std::static_pointer_cast<View>(v.weak_from_this().lock()));
    for (const auto& sub : v.subviews()) walk(*sub);
  };
  walk(root);
  return out;
}

Ref<Label> findLabel(View& root, const std::string& text) {
  auto found = findViews(root, [&](View& v) {
    auto label = dynamic_cast<Label*>(&v);
    return label && label->text() == text;
  });
  return found.empty() ? nullptr : std::static_pointer_cast<Label>(found.front());
}

Ref<Button> findButton(View& root, const std::string& title) {
  auto found = findViews(root, [&](View& v) {
    auto button = dynamic_cast<Button*>(&v);
    return button && button->currentTitle() == title;
  });
  return found.empty() ? nullptr : std::static_pointer_cast<Button>(found.front());
}

}  // namespace kit::test
