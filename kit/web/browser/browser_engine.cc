// The browser engine: a WebKitGTK web view in an offscreen window, and
// what passes between it and the kit web view. See browser_engine.h.
#include "kit/web/browser/browser_engine.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "kit/dispatch/thread_check.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/log.h"
#include "kit/foundation/values.h"
#include "kit/ui/main_loop.h"
#include "kit/ui/screen.h"
#include "kit/web/browser/browser_runtime.h"
#include "kit/web/browser/glib_pump.h"
#include "kit/web/browser/browser_values.h"
#include "kit/web/browser/first_paint.h"

namespace kit {

namespace {

// An asynchronous call into WebKit (a script, a snapshot) whose answer
// comes back through a GLib callback. The callback owns the record; the
// engine keeps a weak reference to answer it if the engine goes first.
template <class Completion>
struct AsyncCall {
  Weak<BrowserEngine> owner;
  Completion completion;
  bool direct = false;  // answered inside GLib's dispatch (a synchronous wait)
  bool done = false;
};
using ScriptCall = AsyncCall<PageEngine::ScriptCompletion>;
using SnapshotCall = AsyncCall<PageEngine::SnapshotCompletion>;

NavigationType navigationTypeOf(WebKitNavigationType type) {
  switch (type) {
    case WEBKIT_NAVIGATION_TYPE_LINK_CLICKED: return NavigationType::LinkActivated;
    case WEBKIT_NAVIGATION_TYPE_FORM_SUBMITTED: return NavigationType::FormSubmitted;
    case WEBKIT_NAVIGATION_TYPE_BACK_FORWARD: return NavigationType::BackForward;
    case WEBKIT_NAVIGATION_TYPE_RELOAD: return NavigationType::Reload;
    case WEBKIT_NAVIGATION_TYPE_FORM_RESUBMITTED: return NavigationType::FormResubmitted;
    default: return NavigationType::Other;
  }
}

// Schemes WebKit loads inside the page (frames of about:blank, data:,
// blob:, javascript: URLs) without asking the view.
bool loadsInPage(const std::string& url) {
  for (const char* scheme : {"about:", "data:", "blob:", "javascript:"})
    if (url.rfind(scheme, 0) == 0) return true;
  return false;
}

// The display's keyboard, which the key and focus events given to a page
// come from.
GdkDevice* defaultKeyboard() { return gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())); }

bool isWebScheme(const std::string& url) { return url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0; }

}  // namespace

struct BrowserEngine::Native {
  struct Handler {
    BrowserEngine::Native* native;
    std::string name;
    gulong signal = 0;
  };

  Weak<BrowserEngine> owner;
  GtkWidget* window = nullptr;
  WebKitWebView* view = nullptr;
  WebKitUserContentManager* content = nullptr;
  GCancellable* cancellable = nullptr;
  Size size;
  double scale = 0;
  std::map<std::string, std::unique_ptr<Handler>> handlers;
  std::vector<Ref<UserScript>> userScripts;
  // The document the view handed over, while WebKit loads it, and how far
  // WebKit has taken it: asked for, its navigation accepted, started.
  // WebKit reports the end of a load from the content process, late: a
  // load the page began for the same address, ended by the engine when it
  // went to the view, can fail after the view handed its document over.
  // Only events after the document's own start are its.
  enum class Stage { None, Asked, Accepted, Started };
  std::string loadingURL;
  Stage stage = Stage::None;
  // A load the engine ended failed: the finish WebKit reports next is its.
  bool endedLoadFinishes = false;
  LoadCompletion loaded;
  std::vector<std::pair<std::string, ScriptCompletion>> waitingScripts;
  std::vector<std::weak_ptr<ScriptCall>> scripts;
  std::vector<std::weak_ptr<SnapshotCall>> snapshots;
  std::set<WebKitScriptDialog*> dialogs;
  // The kinds of the navigations the page started, by address, until
  // their responses show which frame they load in.
  std::map<std::string, NavigationType> pageNavigations;
  std::string title;
  bool pointerDown = false;
  // The content process ended and no document has been loaded since:
  // scripts have no page to run in.
  bool processEnded = false;
  // The current document's first paint (made with the window, gone before
  // it).
  std::unique_ptr<detail::FirstPaint> firstPaint;

  ~Native();
  void create();
  void configure(const Ref<WebViewConfiguration>& configuration, const std::string& userAgent);
  void syncHandlers(const Ref<WebViewConfiguration>& configuration);
  void finishLoad(Ref<Error> error);
  void runScript(const std::string& script, ScriptCompletion completion, bool direct);
  // Calls `fn` with the engine and its page host on a later main run loop
  // pass, outside GLib's dispatch (when both are still there).
  void toHost(std::function<void(BrowserEngine&, PageHost&)> fn) const;

  // Signals.
  static void onMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, Handler* handler);
  static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                 Native* native);
  static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, Native* native);
  static gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error, Native* native);
  static gboolean onScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, Native* native);
  static void onTitle(GObject*, GParamSpec*, Native* native);
  static void onTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason, Native* native);
  static void onScriptDone(GObject* source, GAsyncResult* result, gpointer data);
  static void onSnapshotDone(GObject* source, GAsyncResult* result, gpointer data);
};

// ---- Life -----------------------------------------------------------------------------

Ref<BrowserEngine> BrowserEngine::make() {
  KIT_CHECK_MAIN_THREAD();
  if (!browserEngineAvailable()) return nullptr;
  auto engine = kit::make<BrowserEngine>();
  engine->native_->owner = engine;
  return engine;
}

BrowserEngine::BrowserEngine() : native_(std::make_unique<Native>()) {
  // GDK gives a window the display's scale when it is made.
  native_->scale = Screen::main()->scale();
  detail::setBrowserDisplayScale(native_->scale);
  native_->create();
}

BrowserEngine::~BrowserEngine() = default;

void BrowserEngine::Native::create() {
  content = webkit_user_content_manager_new();
  view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", detail::browserWebContext(),
                                      "user-content-manager", content, nullptr));
  g_object_ref_sink(view);
  cancellable = g_cancellable_new();
  g_signal_connect(view, "decide-policy", G_CALLBACK(onDecidePolicy), this);
  g_signal_connect(view, "load-changed", G_CALLBACK(onLoadChanged), this);
  g_signal_connect(view, "load-failed", G_CALLBACK(onLoadFailed), this);
  g_signal_connect(view, "script-dialog", G_CALLBACK(onScriptDialog), this);
  g_signal_connect(view, "notify::title", G_CALLBACK(onTitle), this);
  g_signal_connect(view, "web-process-terminated", G_CALLBACK(onTerminated), this);
  window = gtk_offscreen_window_new();
  firstPaint = std::make_unique<detail::FirstPaint>(
      window, view, cancellable, PaintWaitSeconds,
      [this] { toHost([](BrowserEngine&, PageHost& host) { host.pageDidPaint(); }); });
  gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(view));
  gtk_widget_show_all(window);
  GLibPump::shared().poke();
}

BrowserEngine::Native::~Native() {
  // Whatever the page still waits for is answered; whatever the client
  // still waits for hears that the view went.
  g_cancellable_cancel(cancellable);
  g_signal_handlers_disconnect_by_data(view, this);
  firstPaint.reset();
  for (auto& [name, handler] : handlers) {
    g_signal_handler_disconnect(content, handler->signal);
    webkit_user_content_manager_unregister_script_message_handler(content, name.c_str());
  }
  for (WebKitScriptDialog* dialog : dialogs) {
    webkit_script_dialog_close(dialog);
    webkit_script_dialog_unref(dialog);
  }
  std::vector<std::function<void()>> answers;
  if (loaded) answers.push_back([loaded = std::move(loaded)] { loaded(webViewInvalidatedError()); });
  for (auto& waiting : waitingScripts)
    if (ScriptCompletion completion = waiting.second)
      answers.push_back([completion] { completion(ScriptResult{nullptr, webViewInvalidatedError()}); });
  for (auto& weak : scripts)
    if (auto call = weak.lock(); call && !call->done && call->completion) {
      call->done = true;
      answers.push_back([c = std::move(call->completion)] { c(ScriptResult{nullptr, webViewInvalidatedError()}); });
    }
  for (auto& weak : snapshots)
    if (auto call = weak.lock(); call && !call->done && call->completion) {
      call->done = true;
      answers.push_back([c = std::move(call->completion)] { c(nullptr, webViewInvalidatedError()); });
    }
  for (auto& answer : answers) runOnMainSoon(std::move(answer));
  gtk_widget_destroy(window);
  g_object_unref(view);
  g_object_unref(content);
  g_object_unref(cancellable);
  GLibPump::shared().poke();
}

void BrowserEngine::Native::toHost(std::function<void(BrowserEngine&, PageHost&)> fn) const {
  runOnMainSoon([weak = owner, fn = std::move(fn)] {
    auto engine = weak.lock();
    auto host = engine ? engine->host() : nullptr;
    if (host) fn(*engine, *host);
  });
}

// ---- Configuration --------------------------------------------------------------------

void BrowserEngine::Native::configure(const Ref<WebViewConfiguration>& configuration, const std::string& userAgent) {
  WebKitSettings* settings = webkit_web_view_get_settings(view);
  if (configuration) {
    const Ref<Preferences>& preferences = configuration->preferences();
    webkit_settings_set_enable_javascript(settings, preferences->javaScriptEnabled);
    webkit_settings_set_javascript_can_open_windows_automatically(settings,
                                                                   preferences->javaScriptCanOpenWindowsAutomatically);
    webkit_settings_set_minimum_font_size(settings, static_cast<guint32>(std::max(0.0, preferences->minimumFontSize)));
    webkit_settings_set_media_playback_requires_user_gesture(settings,
                                                             configuration->mediaPlaybackRequiresUserAction);
    webkit_settings_set_media_playback_allows_inline(settings, configuration->allowsInlineMediaPlayback);
  }
  if (!userAgent.empty()) {
    webkit_settings_set_user_agent(settings, userAgent.c_str());
  } else {
    // WebKit's own agent, with the application's name as the platform adds it.
    webkit_settings_set_user_agent(settings, nullptr);
    std::string agent = webkit_settings_get_user_agent(settings);
    const std::string name = configuration ? configuration->applicationNameForUserAgent : std::string();
    if (!name.empty()) webkit_settings_set_user_agent(settings, (agent + " " + name).c_str());
  }
  webkit_settings_set_enable_write_console_messages_to_stdout(settings, std::getenv("KIT_BROWSER_CONSOLE") != nullptr);

  const std::vector<Ref<UserScript>> scripts =
      configuration ? configuration->userContentController()->userScripts() : std::vector<Ref<UserScript>>{};
  if (scripts != userScripts) {
    userScripts = scripts;
    webkit_user_content_manager_remove_all_scripts(content);
    for (const Ref<UserScript>& s : scripts) {
      WebKitUserScript* script = webkit_user_script_new(
          s->source.c_str(),
          s->forMainFrameOnly ? WEBKIT_USER_CONTENT_INJECT_TOP_FRAME : WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
          s->injectionTime == UserScriptInjectionTime::AtDocumentStart ? WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START
                                                                       : WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_END,
          nullptr, nullptr);
      webkit_user_content_manager_add_script(content, script);
      webkit_user_script_unref(script);
    }
  }
  syncHandlers(configuration);
}

void BrowserEngine::Native::syncHandlers(const Ref<WebViewConfiguration>& configuration) {
  std::set<std::string> wanted;
  if (configuration)
    for (const std::string& name : configuration->userContentController()->handlerNames()) wanted.insert(name);
  for (auto it = handlers.begin(); it != handlers.end();) {
    if (wanted.count(it->first)) {
      ++it;
      continue;
    }
    g_signal_handler_disconnect(content, it->second->signal);
    webkit_user_content_manager_unregister_script_message_handler(content, it->first.c_str());
    it = handlers.erase(it);
  }
  for (const std::string& name : wanted) {
    if (handlers.count(name)) continue;
    auto handler = std::make_unique<Handler>(Handler{this, name, 0});
    const std::string signal = "script-message-received::" + name;
    handler->signal = g_signal_connect(content, signal.c_str(), G_CALLBACK(onMessage), handler.get());
    webkit_user_content_manager_register_script_message_handler(content, name.c_str());
    handlers[name] = std::move(handler);
  }
}

// ---- Documents ------------------------------------------------------------------------

void BrowserEngine::loadDocument(const PageDocument& document, LoadCompletion loaded) {
  KIT_CHECK_MAIN_THREAD();
  Native& n = *native_;
  if (n.loaded) {
    auto replaced = std::move(n.loaded);
    runOnMainSoon([replaced] {
      replaced(Error::make(URLErrorDomain, URLErrorCancelled, dict({{LocalizedDescriptionKey, "cancelled"}})));
    });
  }
  auto h = host();
  n.configure(h ? h->pageConfiguration() : nullptr, h ? h->pageUserAgent() : std::string());
  n.loadingURL = document.url ? document.url->absoluteText() : "about:blank";
  n.firstPaint->documentHandedOver(n.processEnded);
  n.loaded = std::move(loaded);
  n.processEnded = false;
  n.stage = Native::Stage::Asked;
  n.pageNavigations.clear();
  webkit_web_view_load_html(n.view, document.html.c_str(), n.loadingURL.c_str());
  GLibPump::shared().poke();
}

void BrowserEngine::Native::finishLoad(Ref<Error> error) {
  stage = Stage::None;
  // A document that failed to load may still show (WebKit keeps what it
  // drew); one whose process ended shows nothing.
  if (!processEnded) firstPaint->awaitFirstPaint();
  auto completion = std::move(loaded);
  loaded = nullptr;
  auto waiting = std::move(waitingScripts);
  waitingScripts.clear();
  if (completion) runOnMainSoon([completion, error] { completion(error); });
  // Scripts given while the document loaded run in it now (or hear why
  // there is none).
  for (auto& [script, done] : waiting) {
    if (!error) {
      runScript(script, std::move(done), false);
    } else if (ScriptCompletion completion = done) {
      runOnMainSoon([completion, error] { completion(ScriptResult{nullptr, error}); });
    }
  }
}

std::string BrowserEngine::documentTitle() const {
  const char* title = webkit_web_view_get_title(native_->view);
  return title ? title : "";
}

// ---- Scripts --------------------------------------------------------------------------

void BrowserEngine::evaluateScript(const std::string& script, ScriptCompletion completion) {
  KIT_CHECK_MAIN_THREAD();
  Native& n = *native_;
  if (n.processEnded) {
    if (completion)
      runOnMainSoon([completion] { completion(ScriptResult{nullptr, webContentProcessTerminatedError()}); });
    return;
  }
  if (n.loaded) {
    n.waitingScripts.emplace_back(script, std::move(completion));
    return;
  }
  n.runScript(script, std::move(completion), false);
}

ScriptResult BrowserEngine::evaluateScriptAndWait(const std::string& script) {
  KIT_CHECK_MAIN_THREAD();
  Native& n = *native_;
  if (n.processEnded) return ScriptResult{nullptr, webContentProcessTerminatedError()};
  auto result = std::make_shared<std::optional<ScriptResult>>();
  bool started = false;
  const bool answered = GLibPump::shared().waitUntil(
      [&] {
        if (n.loaded) return false;  // the document is still loading
        if (!started) {
          started = true;
          n.runScript(script, [result](const ScriptResult& r) { *result = r; }, true);
        }
        return result->has_value();
      },
      SynchronousScriptSeconds);
  if (answered) return **result;
  return ScriptResult{nullptr, scriptExceptionError("The script did not finish in time")};
}

void BrowserEngine::Native::runScript(const std::string& script, ScriptCompletion completion, bool direct) {
  auto call = std::make_shared<ScriptCall>();
  call->owner = owner;
  call->completion = std::move(completion);
  call->direct = direct;
  scripts.erase(std::remove_if(scripts.begin(), scripts.end(), [](auto& w) { return w.expired(); }), scripts.end());
  scripts.push_back(call);
  webkit_web_view_evaluate_javascript(view, script.data(), static_cast<gssize>(script.size()), nullptr, nullptr,
                                      cancellable, onScriptDone, new std::shared_ptr<ScriptCall>(call));
  GLibPump::shared().poke();
}

void BrowserEngine::Native::onScriptDone(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<std::shared_ptr<ScriptCall>> holder(static_cast<std::shared_ptr<ScriptCall>*>(data));
  ScriptCall& call = **holder;
  GError* error = nullptr;
  JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
  ScriptResult outcome;
  if (value) {
    outcome = scriptResultFromJSC(value);
    g_object_unref(value);
  } else {
    // A script whose page's process ended fails for that reason, whatever
    // WebKit's error says.
    auto engine = call.owner.lock();
    outcome.error = engine && engine->native_->processEnded ? webContentProcessTerminatedError()
                                                            : scriptErrorFromGError(error);
  }
  if (error) g_error_free(error);
  if (call.done) return;
  call.done = true;
  auto completion = std::move(call.completion);
  if (!completion) return;
  if (call.direct) completion(outcome);
  else runOnMainSoon([completion, outcome] { completion(outcome); });
}

// ---- The page's acts ------------------------------------------------------------------

void BrowserEngine::Native::onMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, Handler* handler) {
  Id body = valueFromJSC(webkit_javascript_result_get_js_value(result), nullptr);
  handler->native->toHost(
      [name = handler->name, body](BrowserEngine&, PageHost& host) { host.postScriptMessage(name, body); });
}

gboolean BrowserEngine::Native::onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                               WebKitPolicyDecisionType type, Native* n) {
  if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    // A window the page opens: nothing is loaded (the view has no second
    // window to give).
    webkit_policy_decision_ignore(decision);
    return TRUE;
  }
  if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) {
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    WebKitURIRequest* request = webkit_navigation_action_get_request(action);
    const std::string url = webkit_uri_request_get_uri(request);
    if (n->stage == Stage::Asked && url == n->loadingURL) {
      // The document the view handed over.
      n->stage = Stage::Accepted;
      webkit_policy_decision_use(decision);
      return TRUE;
    }
    const NavigationType kind = navigationTypeOf(webkit_navigation_action_get_navigation_type(action));
    if (loadsInPage(url)) {
      webkit_policy_decision_use(decision);
    } else if (isWebScheme(url)) {
      // Which frame it loads in shows with its response: a frame's page
      // loads here, the main frame's goes to the view.
      n->pageNavigations[url] = kind;
      webkit_policy_decision_use(decision);
    } else {
      // Another scheme (an application's): the view decides what it means.
      webkit_policy_decision_ignore(decision);
      n->toHost([url, kind](BrowserEngine&, PageHost& host) {
        if (auto target = URL::URLWithString(url)) host.pageNavigate(URLRequest::make(target), kind);
      });
    }
    return TRUE;
  }
  // A response.
  auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
  if (!webkit_response_policy_decision_is_main_frame_main_resource(response) ||
      (n->stage != Stage::None &&
       n->loadingURL == webkit_uri_request_get_uri(webkit_response_policy_decision_get_request(response)))) {
    webkit_policy_decision_use(decision);
    return TRUE;
  }
  // The page navigates its main frame: the view loads the address over
  // kit networking after its own decision; WebKit's load ends here.
  const std::string url = webkit_uri_request_get_uri(webkit_response_policy_decision_get_request(response));
  NavigationType kind = NavigationType::Other;
  if (auto it = n->pageNavigations.find(url); it != n->pageNavigations.end()) kind = it->second;
  n->pageNavigations.clear();
  webkit_policy_decision_ignore(decision);
  n->toHost([url, kind](BrowserEngine&, PageHost& host) {
    if (auto target = URL::URLWithString(url)) host.pageNavigate(URLRequest::make(target), kind);
  });
  return TRUE;
}

void BrowserEngine::Native::onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, Native* n) {
  // WebKit reports a failed load's finish right after its failure.
  if (event == WEBKIT_LOAD_FINISHED && std::exchange(n->endedLoadFinishes, false)) return;
  if (!n->loaded) return;
  // The first start after the document's navigation was accepted is its
  // own; a finish before it ends a load that it replaced.
  if (event == WEBKIT_LOAD_STARTED && n->stage == Stage::Accepted) n->stage = Stage::Started;
  if (event != WEBKIT_LOAD_FINISHED || n->stage != Stage::Started) return;
  const char* uri = webkit_web_view_get_uri(view);
  if (uri && n->loadingURL == uri) n->finishLoad(nullptr);
}

gboolean BrowserEngine::Native::onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error, Native* n) {
  // Loads the engine ended itself (a main-frame navigation handed to the
  // view: its response ignored, or the load cancelled by the next) fail
  // quietly, as interrupted by a policy change or as cancelled. WebKit
  // reports them from the content process, late: perhaps after the view
  // handed over a document for the same address and WebKit took it up. Not
  // that document's, neither the failure nor the finish reported with it:
  // the engine never ignores the document's own response. The view's own
  // document failing otherwise fails its load.
  if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
      g_error_matches(error, WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE)) {
    n->endedLoadFinishes = true;
    return TRUE;
  }
  const bool own = n->stage == Stage::Accepted || n->stage == Stage::Started;
  if (n->loaded && own && uri && n->loadingURL == uri) {
    n->finishLoad(Error::make(WebKitErrorDomain, WebKitErrorCannotShowURL,
                              dict({{LocalizedDescriptionKey, error ? error->message : "The page did not load"}})));
  }
  return TRUE;  // no error page of WebKit's own
}

gboolean BrowserEngine::Native::onScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, Native* n) {
  const WebKitScriptDialogType type = webkit_script_dialog_get_dialog_type(dialog);
  if (type == WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM) {
    webkit_script_dialog_confirm_set_confirmed(dialog, TRUE);
    return TRUE;
  }
  // The page waits until the panel is answered.
  webkit_script_dialog_ref(dialog);
  n->dialogs.insert(dialog);
  const std::string message = webkit_script_dialog_get_message(dialog);
  std::optional<std::string> defaultText;
  if (type == WEBKIT_SCRIPT_DIALOG_PROMPT) {
    const char* text = webkit_script_dialog_prompt_get_default_text(dialog);
    if (text) defaultText = text;
  }
  // The answer closes the dialog, unless the engine went first (it closed
  // every dialog then).
  Weak<BrowserEngine> weak = n->owner;
  auto close = [weak, dialog](std::function<void(WebKitScriptDialog*)> answer) {
    auto engine = weak.lock();
    if (!engine || !engine->native_->dialogs.erase(dialog)) return;
    answer(dialog);
    webkit_script_dialog_close(dialog);
    webkit_script_dialog_unref(dialog);
    GLibPump::shared().poke();
  };
  n->toHost([type, message, defaultText, close](BrowserEngine&, PageHost& host) {
    switch (type) {
      case WEBKIT_SCRIPT_DIALOG_ALERT:
        host.runAlertPanel(message, [close] { close([](WebKitScriptDialog*) {}); });
        break;
      case WEBKIT_SCRIPT_DIALOG_CONFIRM:
        host.runConfirmPanel(message, [close](bool ok) {
          close([ok](WebKitScriptDialog* d) { webkit_script_dialog_confirm_set_confirmed(d, ok); });
        });
        break;
      default:
        host.runTextInputPanel(message, defaultText, [close](std::optional<std::string> text) {
          close([text](WebKitScriptDialog* d) {
            if (text) webkit_script_dialog_prompt_set_text(d, text->c_str());
          });
        });
        break;
    }
  });
  return TRUE;
}

void BrowserEngine::Native::onTitle(GObject*, GParamSpec*, Native* n) {
  n->toHost([](BrowserEngine&, PageHost& host) { host.pageTitleDidChange(); });
}

void BrowserEngine::Native::onTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason, Native* n) {
  log("kit: the page's content process ended (%s)",
      reason == WEBKIT_WEB_PROCESS_CRASHED ? "crashed"
      : reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT ? "out of memory"
                                                          : "terminated");
  n->processEnded = true;
  n->firstPaint->processEnded();
  if (n->loaded) n->finishLoad(webContentProcessTerminatedError());
  n->toHost([](BrowserEngine&, PageHost& host) { host.pageContentProcessDidTerminate(); });
}

// ---- Pictures and pointers ------------------------------------------------------------

void BrowserEngine::setViewport(Size size, double scale) {
  KIT_CHECK_MAIN_THREAD();
  Native& n = *native_;
  size.width = std::max(1.0, std::round(size.width));
  size.height = std::max(1.0, std::round(size.height));
  if (size == n.size && scale == n.scale) return;
  n.size = size;
  n.scale = scale;
  detail::setBrowserDisplayScale(scale);
  gtk_widget_set_size_request(GTK_WIDGET(n.view), static_cast<int>(size.width), static_cast<int>(size.height));
  gtk_window_resize(GTK_WINDOW(n.window), static_cast<int>(size.width), static_cast<int>(size.height));
  GLibPump::shared().poke();
}

Ref<Bitmap> BrowserEngine::currentPicture() {
  KIT_CHECK_MAIN_THREAD();
  return native_->firstPaint->picture();
}

bool BrowserEngine::documentPainted() const {
  KIT_CHECK_MAIN_THREAD();
  return native_->firstPaint->painted();
}

void BrowserEngine::takeSnapshot(SnapshotCompletion completion) {
  KIT_CHECK_MAIN_THREAD();
  Native& n = *native_;
  auto call = std::make_shared<SnapshotCall>();
  call->owner = native_->owner;
  call->completion = std::move(completion);
  n.snapshots.erase(std::remove_if(n.snapshots.begin(), n.snapshots.end(), [](auto& w) { return w.expired(); }),
                    n.snapshots.end());
  n.snapshots.push_back(call);
  webkit_web_view_get_snapshot(n.view, WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, n.cancellable,
                               Native::onSnapshotDone, new std::shared_ptr<SnapshotCall>(call));
  GLibPump::shared().poke();
}

void BrowserEngine::Native::onSnapshotDone(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<std::shared_ptr<SnapshotCall>> holder(static_cast<std::shared_ptr<SnapshotCall>*>(data));
  SnapshotCall& call = **holder;
  GError* error = nullptr;
  cairo_surface_t* surface = webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), result, &error);
  Ref<Bitmap> picture;
  Ref<Error> failure;
  if (surface) {
    picture = bitmapFromSurface(surface, cairo_image_surface_get_width(surface),
                                cairo_image_surface_get_height(surface), 1);
    cairo_surface_destroy(surface);
  } else {
    failure = Error::make(WebErrorDomain, WebErrorUnknown,
                          dict({{LocalizedDescriptionKey, error ? error->message : "No snapshot"}}));
  }
  if (error) g_error_free(error);
  if (call.done || !call.completion) return;
  call.done = true;
  runOnMainSoon([completion = std::move(call.completion), picture, failure] { completion(picture, failure); });
}

void BrowserEngine::pointerEvent(PointerPhase phase, Point location) {
  KIT_CHECK_MAIN_THREAD();
  Native& n = *native_;
  GdkWindow* target = gtk_widget_get_window(GTK_WIDGET(n.view));
  if (!target) return;
  GdkDevice* pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default()));
  const guint32 time = static_cast<guint32>(g_get_monotonic_time() / 1000);
  GdkEvent* event = nullptr;
  switch (phase) {
    case PointerPhase::Down:
      event = gdk_event_new(GDK_BUTTON_PRESS);
      n.pointerDown = true;
      break;
    case PointerPhase::Move:
      event = gdk_event_new(GDK_MOTION_NOTIFY);
      break;
    case PointerPhase::Up:
    case PointerPhase::Cancel:
      if (!n.pointerDown) return;
      event = gdk_event_new(GDK_BUTTON_RELEASE);
      n.pointerDown = false;
      break;
  }
  if (event->type == GDK_MOTION_NOTIFY) {
    event->motion.window = GDK_WINDOW(g_object_ref(target));
    event->motion.send_event = TRUE;
    event->motion.time = time;
    event->motion.x = location.x;
    event->motion.y = location.y;
    event->motion.state = n.pointerDown ? GDK_BUTTON1_MASK : 0;
  } else {
    event->button.window = GDK_WINDOW(g_object_ref(target));
    event->button.send_event = TRUE;
    event->button.time = time;
    event->button.x = location.x;
    event->button.y = location.y;
    event->button.button = GDK_BUTTON_PRIMARY;
    event->button.state = event->type == GDK_BUTTON_RELEASE ? GDK_BUTTON1_MASK : 0;
  }
  gdk_event_set_device(event, pointer);
  gtk_main_do_event(event);
  gdk_event_free(event);
  GLibPump::shared().poke();
}

void BrowserEngine::setKeyboardFocus(bool focused) {
  KIT_CHECK_MAIN_THREAD();
  GtkWidget* view = GTK_WIDGET(native_->view);
  GdkWindow* target = gtk_widget_get_window(view);
  if (!target || static_cast<bool>(gtk_widget_has_focus(view)) == focused) return;
  // The offscreen window never has the display's focus: the view hears
  // that it gained or lost it, as the focused widget of an active window.
  if (focused) gtk_widget_grab_focus(view);
  GdkEvent* event = gdk_event_new(GDK_FOCUS_CHANGE);
  event->focus_change.window = GDK_WINDOW(g_object_ref(target));
  event->focus_change.send_event = TRUE;
  event->focus_change.in = focused;
  gdk_event_set_device(event, defaultKeyboard());
  gtk_widget_send_focus_change(view, event);
  gdk_event_free(event);
  GLibPump::shared().poke();
}

bool BrowserEngine::keyEvent(const Key& key) {
  KIT_CHECK_MAIN_THREAD();
  GtkWidget* view = GTK_WIDGET(native_->view);
  GdkWindow* target = gtk_widget_get_window(view);
  if (!target) return false;
  setKeyboardFocus(true);
  GdkEvent* event = gdk_event_new(key.pressed ? GDK_KEY_PRESS : GDK_KEY_RELEASE);
  event->key.window = GDK_WINDOW(g_object_ref(target));
  event->key.send_event = TRUE;
  event->key.time = static_cast<guint32>(g_get_monotonic_time() / 1000);
  event->key.state = key.state;
  event->key.keyval = key.keyval;
  event->key.hardware_keycode = static_cast<guint16>(key.keycode);
  event->key.string = g_strdup("");
  gdk_event_set_device(event, defaultKeyboard());
  const bool handled = gtk_widget_event(view, event);
  gdk_event_free(event);
  GLibPump::shared().poke();
  return handled;
}

}  // namespace kit
