// Values between JavaScriptCore and kit, for every engine that runs
// script: a script's value as kit values (through JavaScriptCore's
// value-to-JSON, as the platform hands values over) and kit values as
// script values.
#pragma once

#include "kit/web/page_engine.h"

typedef struct _JSCContext JSCContext;
typedef struct _JSCValue JSCValue;

namespace kit {

// A script value as kit values: strings, numbers, booleans, null, arrays and
// dictionaries; nil for undefined. `unsupported` (when given) is set for a
// value that has no JSON form (a function, a symbol).
Id valueFromJSC(JSCValue* value, bool* unsupported);
// The outcome of a script that returned `value`.
ScriptResult scriptResultFromJSC(JSCValue* value);
// `value` as a script value of `context` (a new reference): undefined for
// nil and for what has no JSON form.
JSCValue* jscValueFromKit(JSCContext* context, const Id& value);

}  // namespace kit
