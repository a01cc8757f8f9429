// The page driver: documents, the scripts it reads, and the page's acts.
#include "kit/web/page_driver.h"

#include <utility>

#include "kit/foundation/dictionary.h"
#include "kit/foundation/string.h"
#include "kit/foundation/values.h"
#include "kit/web/html_text.h"

namespace kit {

namespace {

std::string trimmed(std::string_view s) {
  size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\n' || s[a] == '\t' || s[a] == '\r')) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\n' || s[b - 1] == '\t' || s[b - 1] == '\r' || s[b - 1] == ';'))
    --b;
  return std::string(s.substr(a, b - a));
}

}  // namespace

// ---- The page's side ---------------------------------------------------------------

bool PageDriver::postMessage(const std::string& name, Id body) {
  auto h = host();
  return h && h->postScriptMessage(name, std::move(body));
}

void PageDriver::raiseAlert(const std::string& message, std::function<void()> done) {
  if (auto h = host()) h->runAlertPanel(message, done ? std::move(done) : [] {});
}

void PageDriver::raiseConfirm(const std::string& message, std::function<void(bool)> done) {
  if (auto h = host()) h->runConfirmPanel(message, done ? std::move(done) : [](bool) {});
}

void PageDriver::raisePrompt(const std::string& prompt, std::optional<std::string> defaultText,
                             std::function<void(std::optional<std::string>)> done) {
  if (auto h = host())
    h->runTextInputPanel(prompt, defaultText, done ? std::move(done) : [](std::optional<std::string>) {});
}

bool PageDriver::followLink(const std::string& url) {
  auto h = host();
  if (!h) return false;
  Ref<URL> target = document_.url ? URL::URLWithString(url, document_.url) : URL::URLWithString(url);
  if (!target) return false;
  h->pageNavigate(URLRequest::make(target), NavigationType::LinkActivated);
  return true;
}

void PageDriver::setContentSize(Size size) {
  contentSize_ = size;
  if (auto h = host()) h->pageContentSizeDidChange(size);
}

void PageDriver::setTitle(std::string title) {
  title_ = std::move(title);
  if (auto h = host()) h->pageTitleDidChange();
}

void PageDriver::terminateContentProcess() {
  unloadDocument();
  processEnded_ = true;
  if (auto h = host()) h->pageContentProcessDidTerminate();
}

void PageDriver::defineFunction(const std::string& name, PageFunction function) {
  functions_[name] = function ? std::move(function) : [](const std::vector<Id>&) { return Id(); };
}

// ---- Records ---------------------------------------------------------------------

std::vector<std::string> PageDriver::evaluatedScripts() const {
  std::vector<std::string> out;
  for (const auto& e : evaluations_) out.push_back(e.script);
  return out;
}

std::vector<Id> PageDriver::callbacks(const std::string& function) const {
  std::vector<Id> out;
  for (const auto& e : evaluations_) {
    if (e.error) continue;
    auto decoded = decodeCallbackArguments(e.script, function);
    if (decoded) out.insert(out.end(), decoded->begin(), decoded->end());
  }
  return out;
}

std::string PageDriver::userAgent() const {
  return "Mozilla/5.0 (iPhone; CPU iPhone OS 12_4 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) "
         "Mobile/15E148";
}

// ---- PageEngine --------------------------------------------------------------------

void PageDriver::loadDocument(const PageDocument& document, LoadCompletion loaded) {
  document_ = document;
  title_ = htmlTitle(document.html);
  text_ = htmlVisibleText(document.html);
  contentSize_ = {};
  processEnded_ = false;
  context_.reset();
  ++loads_;
  if (loaded) loaded(nullptr);
}

void PageDriver::unloadDocument() {
  document_ = {};
  context_.reset();
  title_.clear();
  text_.clear();
  contentSize_ = {};
}

ScriptResult PageDriver::run(const std::string& script, std::vector<ScriptCall>& calls) {
  const std::string s = trimmed(script);
  const std::string href = document_.url ? document_.url->absoluteText() : "about:blank";
  if (s == "document.title") return {String::make(title_), nullptr};
  if (s == "location.href" || s == "window.location.href" || s == "document.URL" || s == "document.location.href")
    return {String::make(href), nullptr};
  if (s == "navigator.userAgent") return {String::make(userAgent()), nullptr};
  if (s == "document.readyState") return {String::make(document_.url ? "complete" : "loading"), nullptr};
  if (s == "document.body.scrollHeight" || s == "document.documentElement.scrollHeight")
    return {Number::fromDouble(contentSize_.height), nullptr};
  if (scriptAnswer) {
    if (std::optional<Id> answer = scriptAnswer(script)) return {*answer, nullptr};
  }
  ScriptCallParse parse = parseScriptCalls(script);
  if (!parse.ok()) return runInContext(script, calls);
  calls = parse.calls;
  Id last;
  for (const ScriptCall& call : parse.calls) {
    if (functions_.empty()) {
      last = nullptr;
      continue;
    }
    auto it = functions_.find(call.function);
    if (it == functions_.end())
      return {nullptr, scriptExceptionError("ReferenceError: Can't find variable: " + call.function)};
    last = it->second(call.arguments);
  }
  return {last, nullptr};
}

ScriptResult PageDriver::runInContext(const std::string& script, std::vector<ScriptCall>& calls) {
  if (!context_) context_ = std::make_unique<PageScriptContext>(document_.html, userAgent());
  for (const auto& entry : functions_) {
    const std::string name = entry.first;
    context_->define(name, [this, name](const std::vector<Id>& arguments) -> Id {
      if (recording_) recording_->push_back(ScriptCall{name, arguments});
      auto it = functions_.find(name);
      return it != functions_.end() ? it->second(arguments) : nullptr;
    });
  }
  const std::string href = document_.url ? document_.url->absoluteText() : "about:blank";
  PageScriptContext::Page page{href, title_, document_.url ? "complete" : "loading", contentSize_};
  std::vector<ScriptCall>* outer = std::exchange(recording_, &calls);  // a page function may run a script
  ScriptResult result = context_->run(script, page);
  recording_ = outer;
  // What the script changed of the page: its title, and where it sent it.
  if (page.title != title_) setTitle(page.title);
  if (page.url != href) followLink(page.url);
  return result;
}

void PageDriver::evaluateScript(const std::string& script, ScriptCompletion completion) {
  ScriptResult result = evaluateScriptAndWait(script);
  if (completion) completion(result);
}

ScriptResult PageDriver::evaluateScriptAndWait(const std::string& script) {
  Ref<Object> keep = weak_from_this().lock();
  Evaluation evaluation;
  evaluation.script = script;
  // A page whose process ended runs nothing until a document loads.
  ScriptResult result =
      processEnded_ ? ScriptResult{nullptr, webContentProcessTerminatedError()} : run(script, evaluation.calls);
  evaluation.error = result.error;
  evaluations_.push_back(std::move(evaluation));
  if (onScript) onScript(script, result);
  return result;
}

}  // namespace kit
