// Values between JavaScriptCore and kit. See javascript_values.h.
#include "kit/web/javascript_values.h"

#include <jsc/jsc.h>

#include <string_view>

#include "kit/foundation/json_serialization.h"

namespace kit {

Id valueFromJSC(JSCValue* value, bool* unsupported) {
  if (unsupported) *unsupported = false;
  if (!value || jsc_value_is_undefined(value)) return nullptr;
  char* json = jsc_value_to_json(value, 0);
  if (!json) {
    if (unsupported) *unsupported = true;
    return nullptr;
  }
  Id parsed = JSONSerialization::JSONObjectWithData(Data::make(std::string_view(json)), JSONReadingFragmentsAllowed);
  g_free(json);
  if (!parsed && unsupported) *unsupported = true;
  return parsed;
}

ScriptResult scriptResultFromJSC(JSCValue* value) {
  bool unsupported = false;
  Id result = valueFromJSC(value, &unsupported);
  if (unsupported) return ScriptResult{nullptr, scriptResultUnsupportedError()};
  return ScriptResult{result, nullptr};
}

JSCValue* jscValueFromKit(JSCContext* context, const Id& value) {
  Ref<Data> json = value ? JSONSerialization::dataWithJSONObject(value, JSONWritingFragmentsAllowed) : nullptr;
  if (!json) return jsc_value_new_undefined(context);
  const std::string text(json->view());
  JSCValue* parsed = jsc_value_new_from_json(context, text.c_str());
  return parsed ? parsed : jsc_value_new_undefined(context);
}

}  // namespace kit
