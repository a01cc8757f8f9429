// Fuzz target for reading the scripts a client evaluates in its pages:
// calls of page functions with literal arguments, and the JSON of the
// page's callbacks among them. A script either reads whole or reports a
// syntax error, and the callbacks of a script that reads are exactly its
// one-string-argument calls of the callback function.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "kit/foundation/string.h"
#include "kit/web/script_call.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view script(reinterpret_cast<const char*>(data), size);
  const kit::ScriptCallParse parse = kit::parseScriptCalls(script);
  check(parse.ok() || parse.error.find("Error") != std::string::npos);
  if (!parse.ok()) check(parse.calls.size() <= 1000);
  const auto callbacks = kit::decodeCallbackArguments(script);
  check(callbacks.has_value() == parse.ok());
  if (!parse.ok()) return 0;
  size_t expected = 0;
  for (const kit::ScriptCall& call : parse.calls) {
    check(!call.function.empty());
    check(call.arguments.size() <= 64);
    if (call.function == "CallbackFromIOS" && call.arguments.size() == 1 && call.firstString()) ++expected;
  }
  check(callbacks->size() == expected);
  for (const kit::Id& value : *callbacks) check(static_cast<bool>(value));
  return 0;
}
