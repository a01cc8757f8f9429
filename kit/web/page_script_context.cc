// The page driver's JavaScript context. See page_script_context.h.
#include "kit/web/page_script_context.h"

#include <jsc/jsc.h>

#include "kit/dispatch/thread_check.h"
#include "kit/foundation/values.h"
#include "kit/web/html_text.h"
#include "kit/web/javascript_values.h"

namespace kit {

namespace {

// Builds the page's model from its description (the elements of the
// document and the user agent) and answers two functions: `update` writes
// what the driver knows of the page into the model before a script runs,
// `read` gives the title and address the script left.
constexpr const char* kPageModel = R"JS((function (model) {
  "use strict";
  var elements = model.elements.map(function (e) {
    var attributes = {};
    e.attributes.forEach(function (a) { attributes[a[0]] = a[1]; });
    var has = function (n) { return Object.prototype.hasOwnProperty.call(attributes, n); };
    var element = {
      tagName: e.name.toUpperCase(),
      getAttribute: function (n) { n = String(n).toLowerCase(); return has(n) ? attributes[n] : null; },
      setAttribute: function (n, v) { attributes[String(n).toLowerCase()] = String(v); },
    };
    Object.keys(attributes).forEach(function (n) {
      Object.defineProperty(element, n === "class" ? "className" : n, {
        get: function () { return attributes[n]; },
        set: function (v) { attributes[n] = String(v); },
        enumerable: true, configurable: true,
      });
    });
    return element;
  });
  var location = {href: "", toString: function () { return this.href; }};
  var body = {scrollWidth: 0, scrollHeight: 0}, root = {scrollWidth: 0, scrollHeight: 0};
  var document = {
    title: "", URL: "", readyState: "complete", body: body, documentElement: root,
    getElementsByName: function (n) {
      n = String(n);
      return elements.filter(function (e) { return e.getAttribute("name") === n; });
    },
    getElementById: function (id) {
      id = String(id);
      return elements.find(function (e) { return e.getAttribute("id") === id; }) || null;
    },
  };
  var locationProperty = {
    get: function () { return location; },
    set: function (v) { location.href = String(v); },
    enumerable: true,
  };
  Object.defineProperty(document, "location", locationProperty);
  Object.defineProperty(globalThis, "location", locationProperty);
  globalThis.window = globalThis;
  globalThis.self = globalThis;
  globalThis.document = document;
  globalThis.navigator = {userAgent: model.userAgent};
  return {
    update: function (page) {
      document.title = page.title;
      document.URL = page.url;
      document.readyState = page.readyState;
      location.href = page.url;
      body.scrollWidth = root.scrollWidth = page.width;
      body.scrollHeight = root.scrollHeight = page.height;
    },
    read: function () { return {title: String(document.title), href: String(location.href)}; },
  };
}))JS";

// The exception the last call left in `context` as the script's error (nil
// when none), cleared.
Ref<Error> takeException(JSCContext* context) {
  JSCException* exception = jsc_context_get_exception(context);
  if (!exception) return nullptr;
  const char* name = jsc_exception_get_name(exception);
  const char* message = jsc_exception_get_message(exception);
  std::string text = name ? name : "Error";
  if (message && *message) text += std::string(": ") + message;
  jsc_context_clear_exception(context);
  return scriptExceptionError(text);
}

JSCValue* callFunction(JSCValue* function, JSCValue* argument) {
  JSCValue* arguments[] = {argument};
  return jsc_value_function_callv(function, argument ? 1 : 0, argument ? arguments : nullptr);
}

JSCValue* callPageFunction(GPtrArray* arguments, gpointer data) {
  auto& function = *static_cast<PageScriptContext::Function*>(data);
  std::vector<Id> values;
  for (guint i = 0; arguments && i < arguments->len; ++i)
    values.push_back(valueFromJSC(static_cast<JSCValue*>(g_ptr_array_index(arguments, i)), nullptr));
  return jscValueFromKit(jsc_context_get_current(), function(values));
}

}  // namespace

PageScriptContext::PageScriptContext(std::string_view html, const std::string& userAgent) {
  KIT_CHECK_MAIN_THREAD();
  // A machine of its own, which goes with the context: everything the
  // document's scripts made is freed with it.
  context_ = jsc_context_new();
  auto elements = MutableArray::make();
  for (const HTMLElement& element : htmlElements(html)) {
    auto attributes = MutableArray::make();
    for (const auto& [name, value] : element.attributes) attributes->addObject(array({name, value}));
    elements->addObject(dict({{"name", element.name}, {"attributes", attributes}}));
  }
  JSCValue* builder = jsc_context_evaluate(context_, kPageModel, -1);
  JSCValue* model = jscValueFromKit(context_, dict({{"elements", elements}, {"userAgent", userAgent}}));
  JSCValue* functions = callFunction(builder, model);
  update_ = jsc_value_object_get_property(functions, "update");
  read_ = jsc_value_object_get_property(functions, "read");
  g_object_unref(functions);
  g_object_unref(model);
  g_object_unref(builder);
  jsc_context_clear_exception(context_);
}

PageScriptContext::~PageScriptContext() {
  g_object_unref(read_);
  g_object_unref(update_);
  g_object_unref(context_);
}

void PageScriptContext::define(const std::string& name, Function function) {
  if (!defined_.insert(name).second) return;
  JSCValue* value = jsc_value_new_function_variadic(
      context_, name.c_str(), G_CALLBACK(callPageFunction), new Function(std::move(function)),
      [](gpointer data) { delete static_cast<Function*>(data); }, JSC_TYPE_VALUE);
  jsc_context_set_value(context_, name.c_str(), value);
  g_object_unref(value);
}

ScriptResult PageScriptContext::run(const std::string& script, Page& page) {
  KIT_CHECK_MAIN_THREAD();
  JSCValue* state = jscValueFromKit(context_, dict({{"url", page.url},
                                                    {"title", page.title},
                                                    {"readyState", page.readyState},
                                                    {"width", page.contentSize.width},
                                                    {"height", page.contentSize.height}}));
  g_object_unref(callFunction(update_, state));
  g_object_unref(state);
  jsc_context_clear_exception(context_);

  JSCValue* value = jsc_context_evaluate_with_source_uri(context_, script.data(), static_cast<gssize>(script.size()),
                                                         page.url.c_str(), 1);
  ScriptResult result;
  if (Ref<Error> error = takeException(context_)) result.error = error;
  else result = scriptResultFromJSC(value);
  g_object_unref(value);

  JSCValue* left = callFunction(read_, nullptr);
  Id after = valueFromJSC(left, nullptr);
  g_object_unref(left);
  jsc_context_clear_exception(context_);
  if (isKind<String>(after["title"])) page.title = describe(after["title"]);
  if (isKind<String>(after["href"])) page.url = describe(after["href"]);
  return result;
}

}  // namespace kit
