// Writing and reading the scripts a client evaluates in a page, when they
// are calls of page functions with literal arguments:
//
//   CallbackFromIOS('{"action":"loginNotify","data":{"token":"t"}}');
//
// scriptCall() is the one way to build such a call with a text argument:
// it writes the text as a single-quoted literal that nothing in the text
// can end, in plain UTF-8, so every engine reads the same string. Bytes
// that are not UTF-8 are replaced before the script is built (one U+FFFD
// per ill-formed sequence, counted as the WHATWG decoder counts them), so
// the page never reads what one engine or another guesses from them.
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

// ---- Writing ----------------------------------------------------------------

// `bytes` with each ill-formed UTF-8 sequence replaced by one U+FFFD: a
// byte that starts no sequence, or the longest start of a sequence that
// breaks off (its lead and the continuation bytes that fit it, so
// E2 82 41 is U+FFFD "A" and C0 AF is two). A lone surrogate in its
// 3-byte form, as kit::String holds one, is text and stays.
std::string replacingInvalidUTF8(std::string_view bytes);

// The text as a JavaScript single-quoted string literal, quotes included,
// that reads as `text` after replacingInvalidUTF8. Quote and backslash
// are escaped, line terminators and other control characters written as
// escapes, a lone surrogate as a Unicode escape; all else is copied.
std::string javaScriptStringLiteral(std::string_view text);

// "function('text')": a call of a page function with one text argument,
// the text written by javaScriptStringLiteral.
std::string scriptCall(std::string_view function, std::string_view text);

// ---- Reading ----------------------------------------------------------------

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

// Raw text in a literal is read as UTF-8, an ill-formed sequence as one
// U+FFFD (as replacingInvalidUTF8 does and as browsers decode pages).
ScriptCallParse parseScriptCalls(std::string_view script);

// The JSON objects passed to `function` in a script of calls: each call of
// it with one string argument that reads as JSON gives that value (the
// string itself when it is not JSON). nullopt when the script is not a
// sequence of calls.
std::optional<std::vector<Id>> decodeCallbackArguments(std::string_view script,
                                                       std::string_view function = "CallbackFromIOS");

}  // namespace kit
