// How a window delivers touches: hit testing picks the view, the
// recognizers of that view and its ancestors (deepest first) form the
// touch's arena, and each phase goes to the recognizers and then, unless a
// recognizer took the touch, to the view.
#pragma once

#include <map>
#include <vector>

#include "kit/foundation/object.h"
#include "kit/graphics/geometry.h"
#include "kit/ui/gesture_recognizer.h"
#include "kit/ui/touch.h"

namespace kit {

class Window;

// The recognizers competing for one touch.
class TouchArena {
 public:
  std::vector<Ref<GestureRecognizer>> recognizers;  // deepest first
  GestureRecognizer* winner = nullptr;
  // Whether `candidate` may begin or recognize now.
  bool mayRecognize(GestureRecognizer& candidate);
  // After a recognizer won: the others that may not share fail.
  void failOthers();
};

class TouchDispatcher {
 public:
  explicit TouchDispatcher(Window& window) : window_(window) {}
  ~TouchDispatcher();
  void deliver(TouchPhase phase, Point location, int touchId);
  // The view that the touch with this id is delivered to, if one is down.
  Ref<View> touchedView(int touchId) const;

 private:
  struct Sequence {
    Ref<Touch> touch;
    TouchArena arena;
    bool viewCancelled = false;
  };
  void finish(Sequence& s);
  Window& window_;
  std::map<int, Sequence> active_;
  struct LastTap {
    Point point;
    double time;
    int count;
  };
  std::map<int, LastTap> lastTap_;
};

}  // namespace kit
