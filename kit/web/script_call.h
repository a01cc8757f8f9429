// Reading the scripts a client evaluates in a page, when they are calls of
// page functions with literal arguments, as clients write them:
//
//   CallbackFromIOS('{"action":"loginNotify","data":{"token":"t"}}');
//
// The parser reads a sequence of such calls (separated by semicolons and
// white space) the way a script engine would: JavaScript string literals
// in single or double quotes with their escapes, numbers, true, false,
// null and undefined. Anything else is a syntax error with the message an
// engine gives, so an argument that breaks its quotes (a single quote put
// into a single-quoted literal unescaped) is caught as the page would.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/object.h"

namespace kit {

struct ScriptCall {
  // The called name as written ("CallbackFromIOS", "window.onPay").
  std::string function;
  // String, Number, Number::yes()/no(), Null; undefined is nil.
  std::vector<Id> arguments;
  // The first argument's text when it is a string, else nullopt.
  std::optional<std::string> firstString() const;
};

struct ScriptCallParse {
  std::vector<ScriptCall> calls;
  // Empty when the whole script was read.
  std::string error;
  bool ok() const { return error.empty(); }
};

ScriptCallParse parseScriptCalls(std::string_view script);

// The JSON objects passed to `function` in a script of calls: each call of
// it with one string argument that reads as JSON gives that value (the
// string itself when it is not JSON). nullopt when the script is not a
// sequence of calls.
std::optional<std::vector<Id>> decodeCallbackArguments(std::string_view script,
                                                       std::string_view function = "CallbackFromIOS");

}  // namespace kit
