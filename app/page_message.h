// The game page's side of the script bridge, as text: reading an
// "eventComplete" message ({"action", "data"} as JSON text), building the
// role report and order texts the channel core takes from it, and writing
// the "CallbackFromIOS('...')" call that answers the page.
//
// Values are read as their "%@" texts, a missing key and a JSON null both
// reading as "(null)" (unset). The answer's JSON text is written as a
// JavaScript single-quoted string literal, so the page function receives
// exactly that text and nothing in it can end the literal and run as script.
#pragma once

#include "kit/foundation/dictionary.h"
#include "kit/foundation/object.h"
#include "kit/foundation/string.h"

class PageMessage {
 public:
  // A message body parsed as JSON (loose Unicode: malformed UTF-8 reads as
  // U+FFFD); nil when it is not a JSON text.
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

  // "CallbackFromIOS('<the compact JSON text of message>')" with the text
  // escaped for a single-quoted string literal.
  static kit::Ref<kit::String> callbackScript(const kit::Ref<kit::Dictionary>& message);
  // A text as the body of a JavaScript single-quoted string literal.
  static std::string javaScriptStringBody(std::string_view text);

 private:
  kit::Id object_;
  kit::Ref<kit::String> action_;
};
