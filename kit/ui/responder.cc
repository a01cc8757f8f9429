// The responder chain and the first responder.
#include "kit/ui/responder.h"

namespace kit {

namespace {
Weak<Responder>& firstResponderSlot() {
  static Weak<Responder> slot;
  return slot;
}
}  // namespace

Ref<Responder> Responder::currentFirstResponder() { return firstResponderSlot().lock(); }

bool Responder::isFirstResponder() const { return currentFirstResponder().get() == this; }

bool Responder::becomeFirstResponder() {
  if (isFirstResponder()) return true;
  if (!canBecomeFirstResponder()) return false;
  if (auto current = currentFirstResponder()) {
    if (!current->resignFirstResponder()) return false;
  }
  firstResponderSlot() = std::static_pointer_cast<Responder>(shared_from_this());
  firstResponderDidChange(true);
  return true;
}

bool Responder::resignFirstResponder() {
  if (!isFirstResponder()) return true;
  if (!canResignFirstResponder()) return false;
  firstResponderSlot().reset();
  firstResponderDidChange(false);
  return true;
}

void Responder::touchesBegan(const TouchSet& touches, const Event* event) {
  if (auto next = nextResponder()) next->touchesBegan(touches, event);
}
void Responder::touchesMoved(const TouchSet& touches, const Event* event) {
  if (auto next = nextResponder()) next->touchesMoved(touches, event);
}
void Responder::touchesEnded(const TouchSet& touches, const Event* event) {
  if (auto next = nextResponder()) next->touchesEnded(touches, event);
}
void Responder::touchesCancelled(const TouchSet& touches, const Event* event) {
  if (auto next = nextResponder()) next->touchesCancelled(touches, event);
}

}  // namespace kit
