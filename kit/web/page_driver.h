// kit::PageDriver: the default page engine, which plays the page's part
// for tests and the demo. It keeps the loaded document (title, text),
// answers the scripts clients commonly evaluate ("document.title",
// "location.href", "navigator.userAgent", calls of page functions with
// literal arguments) itself, runs any other script in a JavaScript context
// of the document (page_script_context.h), records every script it is
// given and decodes the callbacks among them, and acts as the page's
// script would: posting script messages, raising panels, following links.
//
//   auto driver = webView->pageDriver();
//   driver->postMessage("eventComplete", kit::str(R"({"action":"login"})"));
//   ... the client answers with evaluateJavaScript("CallbackFromIOS('...')")
//   auto replies = driver->callbacks();           // the decoded JSON, in order
//   driver->raisePrompt("名字", "默认", [&](auto text) { answer = text; });
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "kit/web/page_engine.h"
#include "kit/web/page_script_context.h"
#include "kit/web/script_call.h"

namespace kit {

class PageDriver : public PageEngine {
 public:
  static Ref<PageDriver> make() { return kit::make<PageDriver>(); }

  // ---- The page's side (each false when the view has gone)
  // Posts a script message; false when no handler has the name.
  bool postMessage(const std::string& name, Id body);
  void raiseAlert(const std::string& message, std::function<void()> done = {});
  void raiseConfirm(const std::string& message, std::function<void(bool)> done);
  void raisePrompt(const std::string& prompt, std::optional<std::string> defaultText,
                   std::function<void(std::optional<std::string>)> done);
  // A tap on a link: `url` is read against the document's address.
  bool followLink(const std::string& url);
  // The document's size changes (a page that grows as it loads content).
  void setContentSize(Size size);
  // document.title = ...
  void setTitle(std::string title);
  // The process running the page ends: the document is gone, the view
  // hears of it, and scripts fail with the content process's error until a
  // document loads again.
  void terminateContentProcess();

  // ---- The page's functions. In a script of literal calls, calls of other
  // names throw a ReferenceError once any function is defined; until then
  // every call is accepted and answers undefined. Other scripts see the
  // defined functions only, as a page's scripts would.
  using PageFunction = std::function<Id(const std::vector<Id>& arguments)>;
  void defineFunction(const std::string& name, PageFunction function = {});
  // Answers scripts before the driver reads them (nullopt: the driver
  // reads the script, or runs it in the document's context).
  std::function<std::optional<Id>(const std::string& script)> scriptAnswer;
  // Told of every script and its outcome, in order (the demo prints them).
  std::function<void(const std::string& script, const ScriptResult& result)> onScript;

  // ---- What the client did to the page
  struct Evaluation {
    std::string script;
    std::vector<ScriptCall> calls;  // the calls of page functions it made
    Ref<Error> error;               // the script's error, if it failed
  };
  const std::vector<Evaluation>& evaluations() const { return evaluations_; }
  std::vector<std::string> evaluatedScripts() const;
  // The JSON passed to `function` in every successful script, in order.
  std::vector<Id> callbacks(const std::string& function = "CallbackFromIOS") const;
  void clearRecord() { evaluations_.clear(); }

  // ---- The document
  const Ref<URL>& url() const { return document_.url; }
  const std::string& html() const { return document_.html; }
  const Ref<URLResponse>& response() const { return document_.response; }
  int documentsLoaded() const { return loads_; }
  std::string userAgent() const;

  // ---- PageEngine
  void loadDocument(const PageDocument& document, LoadCompletion loaded) override;
  void unloadDocument() override;
  // Both answer before returning.
  void evaluateScript(const std::string& script, ScriptCompletion completion) override;
  ScriptResult evaluateScriptAndWait(const std::string& script) override;
  std::string documentTitle() const override { return title_; }
  Size contentSize() const override { return contentSize_; }
  std::string visibleText() const override { return text_; }

 private:
  ScriptResult run(const std::string& script, std::vector<ScriptCall>& calls);
  ScriptResult runInContext(const std::string& script, std::vector<ScriptCall>& calls);

  PageDocument document_;
  std::string title_, text_;
  Size contentSize_;
  int loads_ = 0;
  bool processEnded_ = false;
  std::map<std::string, PageFunction> functions_;
  std::vector<Evaluation> evaluations_;
  // The document's script context, made for the first script the driver
  // does not read itself, and the calls of the script it runs.
  std::unique_ptr<PageScriptContext> context_;
  std::vector<ScriptCall>* recording_ = nullptr;
};

}  // namespace kit
