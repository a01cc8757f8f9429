// The page engine interface: what runs a page's script side for a web
// view. The web view fetches the page over kit networking and hands the
// document to its engine; scripts the client evaluates go to the engine,
// and the engine acts for the page through the view (its page host):
// posting script messages, raising alert, confirm and prompt panels,
// following links, changing its size or title. The default engine is the
// page driver (page_driver.h), which tests and the demo use to play the
// page; a real browser engine can sit behind the same interface.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "kit/foundation/error.h"
#include "kit/foundation/object.h"
#include "kit/foundation/url.h"
#include "kit/graphics/geometry.h"
#include "kit/net/url_request.h"
#include "kit/net/url_response.h"

namespace kit {

// Why a navigation happens (the platform's values).
enum class NavigationType : long {
  LinkActivated = 0,
  FormSubmitted = 1,
  BackForward = 2,
  Reload = 3,
  FormResubmitted = 4,
  Other = -1,
};

// The web content's error domain and codes, and the frame-load domain.
inline constexpr const char* WebErrorDomain = "WKErrorDomain";
enum WebError : long {
  WebErrorUnknown = 1,
  WebErrorWebContentProcessTerminated = 2,
  WebErrorWebViewInvalidated = 3,
  WebErrorJavaScriptExceptionOccurred = 4,
  WebErrorJavaScriptResultTypeIsUnsupported = 5,
};
inline constexpr const char* WebKitErrorDomain = "WebKitErrorDomain";
enum WebKitError : long {
  WebKitErrorCannotShowMIMEType = 100,
  WebKitErrorCannotShowURL = 101,
  WebKitErrorFrameLoadInterruptedByPolicyChange = 102,
};
// The user info key of a script exception's message.
inline constexpr const char* JavaScriptExceptionMessageKey = "WKJavaScriptExceptionMessage";

// A loaded document as the engine receives it.
struct PageDocument {
  Ref<URL> url;
  std::string html;  // the body as UTF-8 text
  Ref<URLResponse> response;
};

// The outcome of a script: a value (nil for undefined) or an error.
struct ScriptResult {
  Id value;
  Ref<Error> error;
};

// What the view offers the page.
class PageHost {
 public:
  virtual ~PageHost() = default;
  // window.webkit.messageHandlers.<name>.postMessage(body); false when the
  // view has no such handler (the page's call throws). The handler hears
  // the message on the main thread after the call.
  virtual bool postScriptMessage(const std::string& name, Id body) = 0;
  // The page's alert(), confirm() and prompt(): each completion runs
  // exactly once, whatever the view's delegate does.
  virtual void runAlertPanel(const std::string& message, std::function<void()> completion) = 0;
  virtual void runConfirmPanel(const std::string& message, std::function<void(bool)> completion) = 0;
  virtual void runTextInputPanel(const std::string& prompt, const std::optional<std::string>& defaultText,
                                 std::function<void(std::optional<std::string>)> completion) = 0;
  // A navigation the page starts (a link, a location change, a form).
  virtual void pageNavigate(const Ref<URLRequest>& request, NavigationType type) = 0;
  virtual void pageContentSizeDidChange(Size size) = 0;
  virtual void pageTitleDidChange() = 0;
};

class PageEngine : public Object {
 public:
  // The view the engine runs the page for (held weakly).
  void setHost(std::weak_ptr<PageHost> host) { host_ = std::move(host); }
  std::shared_ptr<PageHost> host() const { return host_.lock(); }

  // A new document replaces the current one.
  virtual void loadDocument(const PageDocument& document) = 0;
  // The view is leaving the document (a new navigation committed, or the
  // view goes).
  virtual void unloadDocument() {}
  // Runs a script in the document, on the main thread.
  virtual ScriptResult evaluateScript(const std::string& script) = 0;
  virtual std::string documentTitle() const = 0;
  // The document's size; zero means the viewport's.
  virtual Size contentSize() const { return {}; }
  // The text a reader of the page sees (for pictures of the screen).
  virtual std::string visibleText() const { return {}; }

 private:
  std::weak_ptr<PageHost> host_;
};

// An error of a script, as engines report it.
Ref<Error> scriptExceptionError(const std::string& message);

}  // namespace kit
