// kit::Touch and kit::Event: one finger on the screen and the event that
// carries the touches of one moment. Locations are kept in the window's
// space and converted for any view on request.
#pragma once

#include <vector>

#include "kit/foundation/object.h"
#include "kit/graphics/geometry.h"
#include "kit/ui/responder.h"

namespace kit {

class View;
class Window;
class GestureRecognizer;

enum class TouchPhase { Began = 0, Moved, Stationary, Ended, Cancelled };

class Touch : public Object {
 public:
  TouchPhase phase() const { return phase_; }
  // The view hit when the touch began (it keeps receiving the touch).
  Ref<View> view() const { return view_; }
  Ref<Window> window() const { return window_.lock(); }
  int tapCount() const { return tapCount_; }
  double timestamp() const { return timestamp_; }
  int identifier() const { return id_; }
  // The location in a view's space (nil: the window's).
  Point locationInView(const View* view) const;
  Point previousLocationInView(const View* view) const;
  Point windowLocation() const { return location_; }
  // The recognizers this touch is delivered to.
  std::vector<Ref<GestureRecognizer>> gestureRecognizers() const;

 private:
  friend class TouchDispatcher;
  TouchPhase phase_ = TouchPhase::Began;
  Ref<View> view_;
  Weak<Window> window_;
  Point location_, previous_;
  int tapCount_ = 1;
  double timestamp_ = 0;
  int id_ = 0;
  std::vector<Weak<GestureRecognizer>> recognizers_;
};

class Event : public Object {
 public:
  double timestamp() const { return timestamp_; }
  const TouchSet& allTouches() const { return touches_; }
  TouchSet touchesForView(const View* view) const;

 private:
  friend class TouchDispatcher;
  double timestamp_ = 0;
  TouchSet touches_;
};

}  // namespace kit
