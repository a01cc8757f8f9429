// The game page's side of the script bridge, as text: reading an
// "eventComplete" message ({"action", "data"} as JSON text), building the
// role report and order texts the channel core takes from it, and writing
// the "CallbackFromIOS('...')" call that answers the page.
//
// Values are read as their "%@" texts, a missing key and a JSON null both
// reading as "(null)" (unset). A message that cannot be read leaves one log
// line with the reason and matches no action. The answer's JSON text goes
// into the call through kit::scriptCall, so the page function receives
// that text (bytes that are not UTF-8 replaced) and nothing in it can end
// the literal and run as script.
#pragma once

#include "kit/foundation/dictionary.h"
#include "kit/foundation/object.h"
#include "kit/foundation/string.h"

class PageMessage {
 public:
  // A message body's "%@" text parsed as JSON (loose Unicode: malformed
  // UTF-8 reads as U+FFFD). When there is no body or its text is not JSON
  // the codec can read (a number beyond 64 bits or beyond a double is not),
  // the object is nil and one line is logged naming the reason.
  static PageMessage parse(const kit::Id& body);

  // The "%@" text of "action" ("(null)" when there is none).
  const kit::Ref<kit::String>& action() const { return action_; }
  // The "%@" text of a key of "data".
  kit::Ref<kit::String> field(const char* key) const;
  const kit::Id& object() const { return object_; }

  // The order text for the channel core: pretty-printed JSON of the page's
  // goods, order number, money and remark with the role fields and the
  // channel user (left out when nil). No field is tested here.
  kit::Ref<kit::String> orderJSON(const kit::Ref<kit::String>& superUserId) const;
  // The role report text, or nil when "role_id", "service_id",
  // "service_name" or "role_name" is unset (the report is then dropped).
  kit::Ref<kit::String> roleJSON(const kit::Ref<kit::String>& superUserId) const;

  // "CallbackFromIOS('<the compact JSON text of message>')", written by
  // kit::scriptCall.
  static kit::Ref<kit::String> callbackScript(const kit::Ref<kit::Dictionary>& message);

 private:
  kit::Id object_;
  kit::Ref<kit::String> action_;
};
