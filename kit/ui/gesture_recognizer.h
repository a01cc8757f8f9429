// Gesture recognizers: the platform's tap, pan and long-press recognizers
// with their states and target-action callbacks. A recognizer attached to a
// view sees the touches that begin on that view or its descendants before
// the view does. Among the recognizers a touch reaches, the one attached
// deepest in the tree is asked first; once one recognizes, the others fail
// unless their delegate lets them recognize together, and the touched view
// gets touchesCancelled when the winner cancels touches in view.
//
//   auto tap = kit::TapGestureRecognizer::make([weak](kit::GestureRecognizer&) {
//     if (auto self = weak.lock()) self->close();
//   });
//   closeImage->addGestureRecognizer(tap);
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kit/foundation/object.h"
#include "kit/graphics/geometry.h"
#include "kit/ui/key_value_observing.h"
#include "kit/ui/touch.h"

namespace kit {

class View;
class GestureRecognizer;
class TouchArena;

enum class GestureRecognizerState { Possible = 0, Began, Changed, Ended, Cancelled, Failed };
inline constexpr GestureRecognizerState GestureRecognizerStateRecognized = GestureRecognizerState::Ended;

class GestureRecognizerDelegate {
 public:
  virtual ~GestureRecognizerDelegate() = default;
  virtual bool gestureRecognizerShouldBegin(GestureRecognizer&) { return true; }
  virtual bool shouldRecognizeSimultaneously(GestureRecognizer&, GestureRecognizer& /*other*/) { return false; }
  virtual bool shouldReceiveTouch(GestureRecognizer&, Touch&) { return true; }
};

class GestureRecognizer : public Object {
 public:
  using Action = std::function<void(GestureRecognizer&)>;
  explicit GestureRecognizer(Action action = {});
  ~GestureRecognizer() override;

  void addAction(Action action);
  void removeAllActions() { actions_.clear(); }
  // The recognizer's target-action pairs, as callbacks: another recognizer
  // can be given the same ones (the platform's "_targets").
  const std::vector<Action>& actions() const { return actions_; }

  GestureRecognizerState state() const { return state_; }
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool v);
  Ref<View> view() const;
  View* viewPointer() const { return view_; }
  bool cancelsTouchesInView() const { return cancelsTouchesInView_; }
  void setCancelsTouchesInView(bool v) { cancelsTouchesInView_ = v; }
  bool delaysTouchesBegan() const { return delaysTouchesBegan_; }
  void setDelaysTouchesBegan(bool v) { delaysTouchesBegan_ = v; }
  const std::string& name() const { return name_; }
  void setName(std::string n) { name_ = std::move(n); }
  Weak<GestureRecognizerDelegate> delegate;
  // Observation of "state" (the new and old state as long values).
  void addObserver(const Id& observer, const std::string& keyPath, KeyValueHandler handler) {
    observers_.add(observer, keyPath, std::move(handler));
  }
  // Raises RangeException when `observer` does not observe `keyPath`.
  void removeObserver(const Object* observer, const std::string& keyPath) { observers_.remove(observer, keyPath); }
  // This recognizer waits until `other` has failed.
  void requireGestureRecognizerToFail(const Ref<GestureRecognizer>& other) { mustFail_.push_back(other); }

  // The centroid of the touches, in a view's space (nil: the window's).
  Point locationInView(const View* view) const;
  Point locationOfTouch(size_t index, const View* view) const;
  size_t numberOfTouches() const { return touches_.size(); }

  // Touch handling; subclasses call the base first.
  virtual void touchesBegan(const TouchSet& touches, const Event& event);
  virtual void touchesMoved(const TouchSet& touches, const Event& event);
  virtual void touchesEnded(const TouchSet& touches, const Event& event);
  virtual void touchesCancelled(const TouchSet& touches, const Event& event);
  // Back to Possible after a gesture.
  virtual void reset();

  // Used by views and the touch dispatcher.
  void attachTo(View* view) { view_ = view; }
  void setArena(TouchArena* arena) { arena_ = arena; }
  // Moves to a state: recognizing states ask the delegate and the arena
  // first and may end in Failed; Began, Changed, Ended and Cancelled run
  // the actions.
  void setState(GestureRecognizerState state);

 protected:
  std::vector<Ref<Touch>> touches_;

 private:
  // Moves to `state` and tells the observers when it changed.
  void assignState(GestureRecognizerState state);
  std::vector<Action> actions_;
  KeyValueObservers observers_;
  GestureRecognizerState state_ = GestureRecognizerState::Possible;
  bool enabled_ = true;
  View* view_ = nullptr;
  bool cancelsTouchesInView_ = true;
  bool delaysTouchesBegan_ = false;
  std::string name_;
  std::vector<Weak<GestureRecognizer>> mustFail_;
  TouchArena* arena_ = nullptr;
};

class TapGestureRecognizer : public GestureRecognizer {
 public:
  static Ref<TapGestureRecognizer> make(Action action = {}) { return kit::make<TapGestureRecognizer>(std::move(action)); }
  using GestureRecognizer::GestureRecognizer;
  int numberOfTapsRequired = 1;
  int numberOfTouchesRequired = 1;
  // Movement beyond this many points makes the tap fail.
  static constexpr double AllowableMovement = 10;

  void touchesBegan(const TouchSet& touches, const Event& event) override;
  void touchesMoved(const TouchSet& touches, const Event& event) override;
  void touchesEnded(const TouchSet& touches, const Event& event) override;
  void reset() override;

 private:
  Point start_;
  int taps_ = 0;
  double lastEnd_ = -1;
};

class PanGestureRecognizer : public GestureRecognizer {
 public:
  static Ref<PanGestureRecognizer> make(Action action = {}) { return kit::make<PanGestureRecognizer>(std::move(action)); }
  using GestureRecognizer::GestureRecognizer;
  size_t minimumNumberOfTouches = 1;
  size_t maximumNumberOfTouches = SIZE_MAX;
  // Movement before the pan begins.
  static constexpr double Hysteresis = 10;

  // The movement since the pan began, in a view's space.
  Point translationInView(const View* view) const;
  void setTranslation(Point translation, const View* view);
  // Points per second of the last move.
  Point velocityInView(const View* view) const;

  void touchesBegan(const TouchSet& touches, const Event& event) override;
  void touchesMoved(const TouchSet& touches, const Event& event) override;
  void touchesEnded(const TouchSet& touches, const Event& event) override;
  void touchesCancelled(const TouchSet& touches, const Event& event) override;
  void reset() override;

 private:
  Point start_;        // window space
  Point offset_;       // from setTranslation, window space
  Point lastPoint_, velocity_;
  double lastTime_ = 0;
};

class LongPressGestureRecognizer : public GestureRecognizer {
 public:
  static Ref<LongPressGestureRecognizer> make(Action action = {}) {
    return kit::make<LongPressGestureRecognizer>(std::move(action));
  }
  using GestureRecognizer::GestureRecognizer;
  ~LongPressGestureRecognizer() override;
  double minimumPressDuration = 0.5;
  double allowableMovement = 10;

  void touchesBegan(const TouchSet& touches, const Event& event) override;
  void touchesMoved(const TouchSet& touches, const Event& event) override;
  void touchesEnded(const TouchSet& touches, const Event& event) override;
  void touchesCancelled(const TouchSet& touches, const Event& event) override;
  void reset() override;

 private:
  void cancelTimer();
  Point start_;
  Ref<class Timer> timer_;
};

}  // namespace kit
