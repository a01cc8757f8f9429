// Controls: states, actions and touch tracking.
#include "kit/ui/control.h"

#include "kit/ui/gesture_recognizer.h"
#include "kit/ui/touch.h"

namespace kit {

namespace {
unsigned bit(ControlEvent e) { return static_cast<unsigned>(e); }
constexpr double kTrackingSlack = 70;
}  // namespace

void Control::setEnabled(bool v) {
  if (enabled_ == v) return;
  enabled_ = v;
  if (!v) highlighted_ = false;
  stateDidChange();
}

void Control::setSelected(bool v) {
  if (selected_ == v) return;
  selected_ = v;
  stateDidChange();
}

void Control::setHighlighted(bool v) {
  if (highlighted_ == v) return;
  highlighted_ = v;
  stateDidChange();
}

unsigned Control::state() const {
  unsigned s = ControlStateNormal;
  if (highlighted_) s |= ControlStateHighlighted;
  if (!enabled_) s |= ControlStateDisabled;
  if (selected_) s |= ControlStateSelected;
  return s;
}

Control::ActionId Control::addAction(ControlEvent event, Action action) {
  if (!action) return 0;
  return addActionForEvents(bit(event), [action = std::move(action)](Control&) { action(); });
}

Control::ActionId Control::addAction(ControlEvent event, SenderAction action) {
  return addActionForEvents(bit(event), std::move(action));
}

Control::ActionId Control::addActionForEvents(unsigned eventMask, SenderAction action) {
  if (!action || eventMask == 0) return 0;
  const ActionId id = nextId_++;
  actions_.push_back({id, eventMask, std::move(action)});
  return id;
}

void Control::removeAction(ActionId id) {
  std::erase_if(actions_, [&](const Entry& e) { return e.id == id; });
}

void Control::removeAllActions() { actions_.clear(); }

size_t Control::actionCount(ControlEvent event) const {
  size_t n = 0;
  for (const auto& e : actions_)
    if (e.mask & bit(event)) ++n;
  return n;
}

void Control::sendActions(ControlEvent event) {
  Ref<Object> keep = weak_from_this().lock();
  std::vector<SenderAction> due;
  for (const auto& e : actions_)
    if (e.mask & bit(event)) due.push_back(e.action);
  for (auto& action : due) action(*this);
}

bool Control::inside(const Touch& touch) const {
  const Point p = touch.locationInView(this);
  return bounds().insetBy(-kTrackingSlack, -kTrackingSlack).contains(p);
}

bool Control::beginTracking(Touch&, const Event*) { return true; }
bool Control::continueTracking(Touch&, const Event*) { return true; }
void Control::endTracking(Touch*, const Event*) {}
void Control::cancelTracking(const Event*) {}

void Control::touchesBegan(const TouchSet& touches, const Event* event) {
  if (!enabled_ || touches.empty()) {
    View::touchesBegan(touches, event);
    return;
  }
  Ref<Object> keep = weak_from_this().lock();
  Touch& touch = *touches.front();
  touchInside_ = true;
  tracking_ = beginTracking(touch, event);
  setHighlighted(true);
  if (touch.tapCount() > 1) sendActions(ControlEvent::TouchDownRepeat);
  else sendActions(ControlEvent::TouchDown);
}

void Control::touchesMoved(const TouchSet& touches, const Event* event) {
  if (!enabled_ || touches.empty()) {
    View::touchesMoved(touches, event);
    return;
  }
  Touch& touch = *touches.front();
  const bool was = touchInside_;
  touchInside_ = inside(touch);
  if (tracking_) tracking_ = continueTracking(touch, event);
  setHighlighted(touchInside_);
  if (touchInside_ && !was) sendActions(ControlEvent::TouchDragEnter);
  if (!touchInside_ && was) sendActions(ControlEvent::TouchDragExit);
  sendActions(touchInside_ ? ControlEvent::TouchDragInside : ControlEvent::TouchDragOutside);
}

void Control::touchesEnded(const TouchSet& touches, const Event* event) {
  if (!enabled_ || touches.empty()) {
    View::touchesEnded(touches, event);
    return;
  }
  Ref<Object> keep = weak_from_this().lock();
  Touch& touch = *touches.front();
  touchInside_ = inside(touch);
  tracking_ = false;
  endTracking(&touch, event);
  setHighlighted(false);
  if (touchInside_) {
    sendActions(ControlEvent::TouchUpInside);
    sendActions(ControlEvent::PrimaryActionTriggered);
  } else {
    sendActions(ControlEvent::TouchUpOutside);
  }
  touchInside_ = false;
}

void Control::touchesCancelled(const TouchSet& touches, const Event* event) {
  if (!enabled_) {
    View::touchesCancelled(touches, event);
    return;
  }
  Ref<Object> keep = weak_from_this().lock();
  tracking_ = false;
  touchInside_ = false;
  cancelTracking(event);
  setHighlighted(false);
  sendActions(ControlEvent::TouchCancel);
}

bool Control::gestureRecognizerShouldBegin(GestureRecognizer& recognizer) {
  if (!enabled_ || recognizer.viewPointer() == this) return true;
  auto tap = dynamic_cast<TapGestureRecognizer*>(&recognizer);
  return !(tap && tap->numberOfTapsRequired == 1 && tap->numberOfTouchesRequired == 1);
}

}  // namespace kit
