// Touch delivery through hit testing to recognizers and views.
#include "kit/ui/touch_dispatcher.h"

#include <algorithm>
#include <cmath>

#include "kit/dispatch/clock.h"
#include "kit/ui/view.h"
#include "kit/ui/window.h"

namespace kit {

// ---- Touch and Event ----------------------------------------------------------

Point Touch::locationInView(const View* view) const {
  if (!view) return location_;
  return view->convertPointFromView(location_, nullptr);
}

Point Touch::previousLocationInView(const View* view) const {
  if (!view) return previous_;
  return view->convertPointFromView(previous_, nullptr);
}

std::vector<Ref<GestureRecognizer>> Touch::gestureRecognizers() const {
  std::vector<Ref<GestureRecognizer>> out;
  for (auto& w : recognizers_)
    if (auto r = w.lock()) out.push_back(r);
  return out;
}

TouchSet Event::touchesForView(const View* view) const {
  TouchSet out;
  for (const auto& t : touches_)
    if (t->view().get() == view) out.push_back(t);
  return out;
}

// ---- Arena ----------------------------------------------------------------------

bool TouchArena::mayRecognize(GestureRecognizer& candidate) {
  if (!winner || winner == &candidate) return true;
  if (auto d = candidate.delegate.lock(); d && d->shouldRecognizeSimultaneously(candidate, *winner)) return true;
  if (auto d = winner->delegate.lock(); d && d->shouldRecognizeSimultaneously(*winner, candidate)) return true;
  return false;
}

void TouchArena::failOthers() {
  for (auto& r : recognizers) {
    if (r.get() == winner || r->state() != GestureRecognizerState::Possible) continue;
    if (!mayRecognize(*r)) r->setState(GestureRecognizerState::Failed);
  }
}

// ---- Dispatcher -----------------------------------------------------------------

TouchDispatcher::~TouchDispatcher() {
  for (auto& [id, s] : active_)
    for (auto& r : s.arena.recognizers) r->setArena(nullptr);
}

Ref<View> TouchDispatcher::touchedView(int touchId) const {
  auto it = active_.find(touchId);
  return it == active_.end() ? nullptr : it->second.touch->view();
}

void TouchDispatcher::deliver(TouchPhase phase, Point location, int touchId) {
  window_.layoutIfNeeded();
  const double now = Clock::now();
  auto event = kit::make<Event>();
  event->timestamp_ = now;

  if (phase == TouchPhase::Began) {
    if (active_.count(touchId)) deliver(TouchPhase::Cancelled, location, touchId);
    Ref<View> hit = window_.hitTest(location, event.get());
    if (!hit) return;
    Sequence s;
    s.touch = kit::make<Touch>();
    Touch& t = *s.touch;
    t.phase_ = TouchPhase::Began;
    t.view_ = hit;
    t.window_ = std::static_pointer_cast<Window>(window_.weak_from_this().lock());
    t.location_ = t.previous_ = location;
    t.timestamp_ = now;
    t.id_ = touchId;
    // Quick taps at one spot count up, as the platform's tap count does.
    auto last = lastTap_.find(touchId);
    if (last != lastTap_.end() && now - last->second.time < 0.35 &&
        std::hypot(location.x - last->second.point.x, location.y - last->second.point.y) < 20) {
      t.tapCount_ = last->second.count + 1;
    }
    for (View* v = hit.get(); v; v = v->superview().get()) {
      for (const auto& r : v->gestureRecognizers()) {
        if (!r->isEnabled()) continue;
        if (auto d = r->delegate.lock(); d && !d->shouldReceiveTouch(*r, t)) continue;
        s.arena.recognizers.push_back(r);
        t.recognizers_.push_back(r);
      }
      if (v->superview() == nullptr) break;
    }
    auto [it, inserted] = active_.emplace(touchId, std::move(s));
    Sequence& seq = it->second;
    event->touches_ = {seq.touch};
    for (auto& r : seq.arena.recognizers) {
      r->setArena(&seq.arena);
      r->touchesBegan(event->touches_, *event);
    }
    bool delayed = false;
    for (auto& r : seq.arena.recognizers)
      if (r->delaysTouchesBegan() && r->state() == GestureRecognizerState::Possible) delayed = true;
    if (!delayed) hit->touchesBegan(event->touches_, event.get());
    return;
  }

  auto it = active_.find(touchId);
  if (it == active_.end()) return;
  Sequence& seq = it->second;
  Touch& t = *seq.touch;
  t.previous_ = t.location_;
  t.location_ = location;
  t.phase_ = phase;
  t.timestamp_ = now;
  event->touches_ = {seq.touch};
  Ref<View> view = t.view_;

  for (auto& r : std::vector<Ref<GestureRecognizer>>(seq.arena.recognizers)) {
    const auto st = r->state();
    if (st == GestureRecognizerState::Failed || st == GestureRecognizerState::Cancelled ||
        (st == GestureRecognizerState::Ended && phase != TouchPhase::Cancelled)) {
      continue;
    }
    switch (phase) {
      case TouchPhase::Moved:
      case TouchPhase::Stationary: r->touchesMoved(event->touches_, *event); break;
      case TouchPhase::Ended: r->touchesEnded(event->touches_, *event); break;
      case TouchPhase::Cancelled: r->touchesCancelled(event->touches_, *event); break;
      case TouchPhase::Began: break;
    }
  }

  // A recognizer that took the touch cancels it for the view.
  bool taken = false;
  for (auto& r : seq.arena.recognizers) {
    const auto st = r->state();
    if (r->cancelsTouchesInView() && (st == GestureRecognizerState::Began || st == GestureRecognizerState::Changed ||
                                      st == GestureRecognizerState::Ended))
      taken = true;
  }
  if (!seq.viewCancelled) {
    if (taken || phase == TouchPhase::Cancelled) {
      seq.viewCancelled = true;
      view->touchesCancelled(event->touches_, event.get());
    } else if (phase == TouchPhase::Ended) {
      view->touchesEnded(event->touches_, event.get());
    } else {
      view->touchesMoved(event->touches_, event.get());
    }
  }
  if (phase == TouchPhase::Ended || phase == TouchPhase::Cancelled) {
    if (phase == TouchPhase::Ended) lastTap_[touchId] = {location, now, t.tapCount_};
    Sequence done = std::move(seq);
    active_.erase(it);
    finish(done);
  }
}

void TouchDispatcher::finish(Sequence& s) {
  for (auto& r : s.arena.recognizers) {
    // A recognizer still possible when its touch is gone has failed.
    r->setArena(nullptr);
    r->reset();
  }
}

}  // namespace kit
