// kit::Responder: the platform's responder. Views, view controllers, windows
// and the application answer touches and editing requests; what one does
// not handle it passes to its next responder.
#pragma once

#include <vector>

#include "kit/foundation/object.h"

namespace kit {

class Touch;
class Event;
using TouchSet = std::vector<Ref<Touch>>;

class Responder : public Object {
 public:
  // The next responder in the chain, or nil at its end.
  virtual Ref<Responder> nextResponder() const { return nullptr; }

  virtual bool canBecomeFirstResponder() const { return false; }
  virtual bool canResignFirstResponder() const { return true; }
  // Makes this the first responder when it can be one (and the current one
  // agrees to resign).
  virtual bool becomeFirstResponder();
  virtual bool resignFirstResponder();
  bool isFirstResponder() const;
  // The current first responder, if any.
  static Ref<Responder> currentFirstResponder();

  // The default bodies pass the touches to the next responder.
  virtual void touchesBegan(const TouchSet& touches, const Event* event);
  virtual void touchesMoved(const TouchSet& touches, const Event* event);
  virtual void touchesEnded(const TouchSet& touches, const Event* event);
  virtual void touchesCancelled(const TouchSet& touches, const Event* event);

 protected:
  // Called when becoming or ceasing to be the first responder.
  virtual void firstResponderDidChange(bool /*isFirst*/) {}
};

}  // namespace kit
