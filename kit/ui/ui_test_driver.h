// Driving screens in tests as a player would: touches go through the
// window's hit testing to recognizers, controls and views, exactly as the
// system delivers them. Every call returns whether the touch reached a
// window at all.
//
//   ASSERT_TRUE(kit::test::tap(sureButton));          // touch down and up at its centre
//   kit::test::drag(*window, {300, 100}, {40, 400});   // a pan in ten steps
//   kit::test::pressAlertAction(*alert, "确认");
//   kit::test::typeText(*nameField, "player01");
//   kit::test::type(*phoneField, "13800138000");       // key by key, through the delegate
//   kit::test::pressReturn(*phoneField);
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "kit/graphics/geometry.h"
#include "kit/ui/alert_controller.h"
#include "kit/ui/application.h"
#include "kit/ui/button.h"
#include "kit/ui/label.h"
#include "kit/ui/text_field.h"
#include "kit/ui/text_view.h"
#include "kit/ui/view.h"
#include "kit/ui/view_controller.h"
#include "kit/ui/window.h"

namespace kit::test {

// A tap at the centre of the view, in its window. False when the view is
// in no window. Whatever lies on top at that point receives it.
bool tap(View& view);
bool tap(const Ref<View>& view);
// A tap at a point of the window's space.
bool tapAt(Window& window, Point point);
// A finger put down at `from`, moved to `to` in `steps` moves, lifted.
bool drag(Window& window, Point from, Point to, int steps = 10);
// The parts of a gesture, for gestures that need the clock between them
// (long presses) or several fingers.
bool touchDown(Window& window, Point point, int touchId = 0);
bool touchMove(Window& window, Point point, int touchId = 0);
bool touchUp(Window& window, Point point, int touchId = 0);
bool touchCancel(Window& window, Point point, int touchId = 0);

// Presses the alert's action with that title: its button is tapped when the
// alert is on screen, else the action is pressed directly. False when the
// alert has no such action.
bool pressAlertAction(AlertController& alert, const std::string& title);
// Focuses the field and types the text at its caret (the end of the text
// when the field was not editing yet); false when the field cannot become
// first responder or the delegate refuses the change.
bool typeText(TextField& field, const std::string& text);
// Types as a keyboard does: focuses the input, then one key press per
// composed character, each asked of the delegate on its own. Returns true
// when every character was taken (a refused one is dropped and typing goes
// on with the next).
bool type(TextField& field, const std::string& text);
bool type(TextView& view, const std::string& text);
// The backspace key: deletes the character before the caret.
bool pressBackspace(TextField& field);
// The return key: asks textFieldShouldReturn and sends EditingDidEndOnExit.
void pressReturn(TextField& field);

// The views under `root` (itself included, depth first) that satisfy `match`.
std::vector<Ref<View>> findViews(View& root, const std::function<bool(View&)>& match);
// The first label under `root` that shows exactly `text`.
Ref<Label> findLabel(View& root, const std::string& text);
// The first button under `root` whose current title is `title`.
Ref<Button> findButton(View& root, const std::string& title);
template <class T>
std::vector<Ref<T>> findViewsOfType(View& root) {
  std::vector<Ref<T>> out;
  for (auto& v : findViews(root, [](View& v) { return dynamic_cast<T*>(&v) != nullptr; }))
    out.push_back(std::static_pointer_cast<T>(v));
  return out;
}

// A controller of class C at or under `from`: itself, a child or a
// presented controller, at any depth; nil when there is none.
template <class C>
Ref<C> findController(const Ref<ViewController>& from) {
  if (!from) return nullptr;
  if (auto found = std::dynamic_pointer_cast<C>(from)) return found;
  for (const auto& child : from->childViewControllers())
    if (auto found = findController<C>(child)) return found;
  return findController<C>(from->presentedViewController());
}
// The same under the root controller of any of the application's windows.
template <class C>
Ref<C> findController() {
  for (const auto& window : Application::shared()->windows())
    if (auto found = findController<C>(window->rootViewController())) return found;
  return nullptr;
}

// The frame of a view in its window's space.
Rect frameInWindow(const View& view);

}  // namespace kit::test
