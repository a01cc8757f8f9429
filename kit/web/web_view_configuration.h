// The configuration of a web view and its user content controller: the
// named script message handlers a page posts to, and user scripts. A page
// posts a message with
// `window.webkit.messageHandlers.<name>.postMessage(body)`; the handler
// registered under that name receives it on the main thread.
//
// The controller holds its handlers weakly: a screen that owns its web view
// and registers itself as a handler is released when its owners let go,
// instead of being kept alive by its own web view. A message for a handler
// that has gone is dropped.
//
//   auto configuration = kit::WebViewConfiguration::make();
//   configuration->userContentController()->addScriptMessageHandler(self, "eventComplete");
//   auto webView = kit::WebView::make(bounds, configuration);
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "kit/foundation/object.h"

namespace kit {

class WebView;
class UserContentController;
class PageEngine;

// The frame a script ran in (pages here have one frame).
struct FrameInfo {
  bool isMainFrame = true;
  std::string url;
};

class ScriptMessage : public Object {
 public:
  ScriptMessage(std::string name, Id body, Weak<WebView> webView, FrameInfo frame)
      : name_(std::move(name)), body_(std::move(body)), webView_(std::move(webView)), frame_(std::move(frame)) {}
  const std::string& name() const { return name_; }
  // What the page posted: a String, Number, Array, Dictionary or Null.
  const Id& body() const { return body_; }
  Ref<WebView> webView() const { return webView_.lock(); }
  const FrameInfo& frameInfo() const { return frame_; }

 private:
  std::string name_;
  Id body_;
  Weak<WebView> webView_;
  FrameInfo frame_;
};

class ScriptMessageHandler {
 public:
  virtual ~ScriptMessageHandler() = default;
  virtual void didReceiveScriptMessage(UserContentController& controller, const Ref<ScriptMessage>& message) = 0;
};

enum class UserScriptInjectionTime { AtDocumentStart = 0, AtDocumentEnd };

class UserScript : public Object {
 public:
  static Ref<UserScript> make(std::string source, UserScriptInjectionTime time, bool forMainFrameOnly) {
    auto s = kit::make<UserScript>();
    s->source = std::move(source);
    s->injectionTime = time;
    s->forMainFrameOnly = forMainFrameOnly;
    return s;
  }
  std::string source;
  UserScriptInjectionTime injectionTime = UserScriptInjectionTime::AtDocumentEnd;
  bool forMainFrameOnly = true;
};

class UserContentController : public Object {
 public:
  static Ref<UserContentController> make() { return kit::make<UserContentController>(); }

  // Registers `handler` under `name` (held weakly). Raises the platform's
  // invalid-argument exception when a live handler has that name already.
  void addScriptMessageHandler(const std::shared_ptr<ScriptMessageHandler>& handler, const std::string& name);
  void removeScriptMessageHandlerForName(const std::string& name);
  void removeAllScriptMessageHandlers() { handlers_.clear(); }
  // The live handler of a name, else nil.
  std::shared_ptr<ScriptMessageHandler> handlerForName(const std::string& name) const;
  std::vector<std::string> handlerNames() const;

  void addUserScript(Ref<UserScript> script) { scripts_.push_back(std::move(script)); }
  void removeAllUserScripts() { scripts_.clear(); }
  const std::vector<Ref<UserScript>>& userScripts() const { return scripts_; }

  // Hands a posted message to its handler; false when no live handler has
  // the name (the page's postMessage then throws).
  bool deliver(const Ref<ScriptMessage>& message);

 private:
  std::map<std::string, std::weak_ptr<ScriptMessageHandler>> handlers_;
  std::vector<Ref<UserScript>> scripts_;
};

class Preferences : public Object {
 public:
  bool javaScriptEnabled = true;
  bool javaScriptCanOpenWindowsAutomatically = false;
  double minimumFontSize = 0;
};

class WebViewConfiguration : public Object {
 public:
  static Ref<WebViewConfiguration> make() { return kit::make<WebViewConfiguration>(); }
  WebViewConfiguration();

  const Ref<UserContentController>& userContentController() const { return userContentController_; }
  void setUserContentController(Ref<UserContentController> c);
  const Ref<Preferences>& preferences() const { return preferences_; }
  void setPreferences(Ref<Preferences> p) { preferences_ = p ? std::move(p) : kit::make<Preferences>(); }
  bool allowsInlineMediaPlayback = false;
  bool mediaPlaybackRequiresUserAction = true;
  std::string applicationNameForUserAgent = "Mobile/15E148";

  // Makes the page engine of each web view made with this configuration
  // (the page driver when unset).
  std::function<Ref<PageEngine>()> pageEngineFactory;

 private:
  Ref<UserContentController> userContentController_;
  Ref<Preferences> preferences_;
};

}  // namespace kit
