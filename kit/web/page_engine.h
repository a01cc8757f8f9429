// The page engine interface: what runs a page for a web view. The web view
// fetches the main document over kit networking (its decisions, redirects
// and errors stay the view's) and hands it to its engine; scripts the
// client evaluates go to the engine, and the engine acts for the page
// through the view (its page host): posting script messages, raising
// alert, confirm and prompt panels, following links, changing its size or
// title, losing its content process. Two engines sit behind it: the
// browser engine (kit/web/browser, WebKitGTK), which runs the page's own
// HTML, CSS and script, draws it and takes pointer input, and the page
// driver (page_driver.h), which plays a page's part in unit tests. Loading
// and script evaluation are asynchronous, as the browser is; the page
// driver answers at once.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "kit/foundation/error.h"
#include "kit/foundation/object.h"
#include "kit/foundation/url.h"
#include "kit/graphics/bitmap.h"
#include "kit/graphics/geometry.h"
#include "kit/net/url_request.h"
#include "kit/net/url_response.h"
#include "kit/web/web_view_configuration.h"

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
  // The process that ran the page ended (crashed or was killed); the page
  // is gone until the view loads a document again.
  virtual void pageContentProcessDidTerminate() {}
  // The engine drew the current document for the first time (engines that
  // draw the page: see PageEngine::documentPainted()).
  virtual void pageDidPaint() {}
  // What the page is given: the view's configuration (handler names, user
  // scripts, preferences; nil for a view without one) and user agent ("":
  // the engine's own).
  virtual Ref<WebViewConfiguration> pageConfiguration() const { return nullptr; }
  virtual std::string pageUserAgent() const { return {}; }
};

// Where a pointer is in a touch's life.
enum class PointerPhase { Down, Move, Up, Cancel };

class PageEngine : public Object {
 public:
  // The view the engine runs the page for (held weakly).
  void setHost(std::weak_ptr<PageHost> host) { host_ = std::move(host); }
  std::shared_ptr<PageHost> host() const { return host_.lock(); }

  // A new document replaces the current one; `loaded` hears, on the main
  // thread, that it has loaded (its scripts ran and its load event fired)
  // or why it could not be (nil: loaded). The page driver answers before
  // the call returns.
  using LoadCompletion = std::function<void(Ref<Error> error)>;
  virtual void loadDocument(const PageDocument& document, LoadCompletion loaded) = 0;
  // The view is leaving the document (a new navigation committed, or the
  // view goes).
  virtual void unloadDocument() {}
  // Runs a script in the document; `completion` hears its outcome on the
  // main thread, after the script ran (scripts run in the order given).
  using ScriptCompletion = std::function<void(const ScriptResult& result)>;
  virtual void evaluateScript(const std::string& script, ScriptCompletion completion) = 0;
  // The same, returning the outcome: for the older web view, whose scripts
  // are synchronous. An engine whose page runs elsewhere waits for it
  // without running the caller's other work.
  virtual ScriptResult evaluateScriptAndWait(const std::string& script) = 0;
  virtual std::string documentTitle() const = 0;
  // The document's size; zero means the viewport's.
  virtual Size contentSize() const { return {}; }
  // The text a reader of the page sees (for pictures of an engine that
  // does not draw).
  virtual std::string visibleText() const { return {}; }

  // ---- Engines that draw the page and take pointer input
  // True when the engine draws the page itself: the view then shows the
  // engine's picture and sends it the touches that land on it.
  virtual bool drawsPage() const { return false; }
  // The size of the view in points and the screen's scale.
  virtual void setViewport(Size /*size*/, double /*scale*/) {}
  // The page as shown now, in device pixels (nil when nothing is shown).
  // Until the current document's first paint, that is the picture of the
  // document shown before it (nil when there was none), never the engine's
  // empty window.
  virtual Ref<Bitmap> currentPicture() { return nullptr; }
  // True once the engine has drawn the current document: false from the
  // moment a new document is handed over, and after the content process
  // ended, until the engine has drawn the document it gets (the host hears
  // pageDidPaint() then). An engine that does not draw has nothing to wait
  // for.
  virtual bool documentPainted() const { return true; }
  // A picture of the page rendered for the call, delivered on the main
  // thread; nil with an error when none can be taken.
  using SnapshotCompletion = std::function<void(Ref<Bitmap> picture, Ref<Error> error)>;
  virtual void takeSnapshot(SnapshotCompletion completion);
  // A pointer at `location` (points, in the view's space), as a finger
  // touching the page would press, move and lift.
  virtual void pointerEvent(PointerPhase /*phase*/, Point /*location*/) {}
  // The page has a desktop's keyboard (its focused element shows a caret
  // and hears the keys), or has it no longer.
  virtual void setKeyboardFocus(bool /*focused*/) {}
  // A key pressed or let go while the page has the keyboard, named as X11
  // and GDK name keys: `keyval` the key's symbol, `keycode` its hardware
  // code, `state` the modifier mask. The engine's own input method turns
  // keys into text, and its own editing takes the clipboard. True when the
  // engine took the key.
  struct Key {
    bool pressed = true;
    unsigned keyval = 0;
    unsigned keycode = 0;
    unsigned state = 0;
  };
  virtual bool keyEvent(const Key& /*key*/) { return false; }

 private:
  std::weak_ptr<PageHost> host_;
};

// The engine a web view makes when its configuration names none: what the
// program installed (kit::useBrowserEngine() installs the browser engine),
// else, or when that makes none, the page driver. Main thread only.
using PageEngineFactory = std::function<Ref<PageEngine>()>;
void setDefaultPageEngineFactory(PageEngineFactory factory);
Ref<PageEngine> makeDefaultPageEngine();

// An error of a script, as engines report it.
Ref<Error> scriptExceptionError(const std::string& message);
// The error of a script whose result has no value form.
Ref<Error> scriptResultUnsupportedError();
// The error of a call on a view that has gone.
Ref<Error> webViewInvalidatedError();
// The error of a page whose content process ended.
Ref<Error> webContentProcessTerminatedError();

}  // namespace kit
