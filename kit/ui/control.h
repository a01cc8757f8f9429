// kit::Control: the platform's control. It tracks touches (highlighted while
// a finger is down inside it, with 70 points of slack around it), reports
// control events to its actions, and keeps enabled, selected and
// highlighted states. Target-action is a callback:
//
//   button->addAction(kit::ControlEvent::TouchUpInside, [weak] {
//     if (auto self = weak.lock()) self->close();
//   });
//
// A control keeps single taps for itself: tap recognizers of its ancestors
// do not begin on a touch that lands on it.
#pragma once

#include <functional>
#include <vector>

#include "kit/ui/view.h"

namespace kit {

class Control : public View {
 public:
  using Action = std::function<void()>;
  using SenderAction = std::function<void(Control&)>;
  using ActionId = unsigned long;

  static Ref<Control> make(const Rect& frame = {}) { return kit::make<Control>(frame); }
  explicit Control(const Rect& frame = {}) : View(frame) {}

  bool isEnabled() const { return enabled_; }
  virtual void setEnabled(bool v);
  bool isSelected() const { return selected_; }
  virtual void setSelected(bool v);
  bool isHighlighted() const { return highlighted_; }
  virtual void setHighlighted(bool v);
  // The state as ControlState flags.
  unsigned state() const;
  bool isTracking() const { return tracking_; }
  bool isTouchInside() const { return touchInside_; }

  // Actions for one event or for a mask of ControlEvent bits.
  ActionId addAction(ControlEvent event, Action action);
  ActionId addAction(ControlEvent event, SenderAction action);
  ActionId addActionForEvents(unsigned eventMask, SenderAction action);
  void removeAction(ActionId id);
  void removeAllActions();
  // The number of actions that an event runs.
  size_t actionCount(ControlEvent event) const;
  bool hasActions() const { return !actions_.empty(); }
  // Runs the actions of an event, in the order they were added.
  void sendActions(ControlEvent event);

  // Tracking hooks (the base does the highlighting and the events).
  virtual bool beginTracking(Touch& touch, const Event* event);
  virtual bool continueTracking(Touch& touch, const Event* event);
  virtual void endTracking(Touch* touch, const Event* event);
  virtual void cancelTracking(const Event* event);

  void touchesBegan(const TouchSet& touches, const Event* event) override;
  void touchesMoved(const TouchSet& touches, const Event* event) override;
  void touchesEnded(const TouchSet& touches, const Event* event) override;
  void touchesCancelled(const TouchSet& touches, const Event* event) override;
  bool gestureRecognizerShouldBegin(GestureRecognizer& recognizer) override;

 protected:
  // Called after enabled, selected or highlighted change.
  virtual void stateDidChange() {}

 private:
  struct Entry {
    ActionId id;
    unsigned mask;
    SenderAction action;
  };
  bool inside(const Touch& touch) const;

  bool enabled_ = true, selected_ = false, highlighted_ = false;
  bool tracking_ = false, touchInside_ = false;
  std::vector<Entry> actions_;
  ActionId nextId_ = 1;
};

}  // namespace kit
