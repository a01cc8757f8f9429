// Web views: navigations over the page fetcher, the delegates' decisions,
// history, scripts through the page engine, and the page's acts.
#include "kit/web/web_view.h"

#include <algorithm>
#include <cstdio>
#include <type_traits>

#include "kit/dispatch/runloop.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/values.h"
#include "kit/ui/main_loop.h"
#include "kit/ui/screen.h"
#include "kit/web/html_text.h"

namespace kit {

namespace {

// A completion the page waits on: the first call answers, later calls are
// ignored, and one dropped without a call answers `fallback`.
template <class... Args>
std::function<void(Args...)> answerOnce(std::type_identity_t<std::function<void(Args...)>> answer,
                                        std::function<void()> fallback, const char* what) {
  struct State {
    std::function<void(Args...)> answer;
    std::function<void()> fallback;
    const char* what;
    bool done = false;
    ~State() {
      if (done || !fallback) return;
      std::fprintf(stderr, "kit: the %s completion handler was never called; the page gets the default answer\n",
                   what);
      fallback();
    }
  };
  auto state = std::make_shared<State>();
  state->answer = std::move(answer);
  state->fallback = std::move(fallback);
  state->what = what;
  return [state](Args... args) {
    if (state->done) {
      std::fprintf(stderr, "kit: the %s completion handler was called more than once; later calls are ignored\n",
                   state->what);
      return;
    }
    state->done = true;
    auto answer = std::move(state->answer);
    state->answer = nullptr;
    state->fallback = nullptr;
    if (answer) answer(args...);
  };
}

bool isBlank(const Ref<URL>& url) { return url && url->absoluteText() == "about:blank"; }

std::string charsetOf(const Ref<URLResponse>& response) {
  if (response && response->textEncodingName()) return response->textEncodingName()->utf8();
  return {};
}

}  // namespace

bool NavigationResponse::canShowMIMEType() const {
  if (!response_ || !response_->MIMEType()) return true;
  const std::string& type = response_->MIMEType()->utf8();
  return type.starts_with("text/") || type.starts_with("image/") || type == "application/xhtml+xml" ||
         type == "application/json" || type == "application/javascript";
}

WebView::WebView(const Rect& frame, Ref<WebViewConfiguration> configuration)
    : View(frame), configuration_(configuration ? std::move(configuration) : WebViewConfiguration::make()) {
  addPageTextView(*this, scrollView_, pageText_);
}

WebView::~WebView() {
  // The fetcher's session goes with the view; nothing more is reported.
  fetcher_.reset();
  if (engine_) engine_->setHost({});
}

void WebView::ensureAttached() {
  Ref<WebView> self = strongSelf();
  if (!fetcher_ && self) fetcher_ = std::make_shared<PageFetcher>(std::weak_ptr<PageFetcher::Client>(self));
  pageEngine();
}

const Ref<PageEngine>& WebView::pageEngine() {
  if (!engine_) {
    if (configuration_->pageEngineFactory) engine_ = configuration_->pageEngineFactory();
    if (!engine_) engine_ = makeDefaultPageEngine();
    engine_->setViewport(bounds().size, Screen::main()->scale());
  }
  if (!engine_->host())
    if (Ref<WebView> self = strongSelf()) engine_->setHost(std::weak_ptr<PageHost>(self));
  return engine_;
}

Ref<PageDriver> WebView::pageDriver() { return as<PageDriver>(pageEngine()); }

// ---- Observed state ----------------------------------------------------------------

void WebView::setProgress(double progress) {
  if (progress == progress_) return;
  const double old = progress_;
  progress_ = progress;
  observers_.notify("estimatedProgress", old, progress);
}

void WebView::setLoading(bool loading) {
  if (loading == loading_) return;
  loading_ = loading;
  observers_.notify("loading", static_cast<long>(!loading), static_cast<long>(loading));
}

void WebView::setURL(Ref<kit::URL> url) {
  const std::string old = url_ ? url_->absoluteText() : std::string();
  url_ = std::move(url);
  const std::string now = url_ ? url_->absoluteText() : std::string();
  if (old != now) observers_.notify("URL", old, now);
}

void WebView::setTitle(std::string title) {
  if (title == title_) return;
  std::string old = std::move(title_);
  title_ = std::move(title);
  if (auto item = currentItem()) item->setTitle(title_);
  observers_.notify("title", old, title_);
}

void WebView::updateCanGoBack(bool before) {
  if (before != canGoBack()) observers_.notify("canGoBack", static_cast<long>(before), static_cast<long>(canGoBack()));
}

Ref<BackForwardListItem> WebView::currentItem() const {
  if (historyIndex_ < 0 || historyIndex_ >= static_cast<long>(history_.size())) return nullptr;
  return history_[static_cast<size_t>(historyIndex_)];
}

// ---- Navigations -------------------------------------------------------------------

Ref<Navigation> WebView::loadRequest(const Ref<URLRequest>& request) {
  KIT_CHECK_MAIN_THREAD();
  if (!request || !request->URL()) return nullptr;
  return startNavigation(request, NavigationType::Other, std::nullopt, -1);
}

Ref<Navigation> WebView::loadHTMLString(const std::string& html, const Ref<kit::URL>& baseURL) {
  KIT_CHECK_MAIN_THREAD();
  Ref<kit::URL> url = baseURL ? baseURL : kit::URL::URLWithString("about:blank");
  return startNavigation(URLRequest::make(url), NavigationType::Other, html, -1);
}

Ref<Navigation> WebView::reload() {
  KIT_CHECK_MAIN_THREAD();
  auto item = currentItem();
  if (!item) return nullptr;
  return startNavigation(URLRequest::make(item->URL()), NavigationType::Reload, std::nullopt, historyIndex_);
}

Ref<Navigation> WebView::goBack() {
  KIT_CHECK_MAIN_THREAD();
  if (!canGoBack()) return nullptr;
  auto item = history_[static_cast<size_t>(historyIndex_ - 1)];
  return startNavigation(URLRequest::make(item->URL()), NavigationType::BackForward, std::nullopt, historyIndex_ - 1);
}

Ref<Navigation> WebView::goForward() {
  KIT_CHECK_MAIN_THREAD();
  if (!canGoForward()) return nullptr;
  auto item = history_[static_cast<size_t>(historyIndex_ + 1)];
  return startNavigation(URLRequest::make(item->URL()), NavigationType::BackForward, std::nullopt, historyIndex_ + 1);
}

void WebView::pageNavigate(const Ref<URLRequest>& request, NavigationType type) {
  KIT_CHECK_MAIN_THREAD();
  if (request && request->URL()) startNavigation(request, type, std::nullopt, -1);
}

Ref<Navigation> WebView::startNavigation(const Ref<URLRequest>& request, NavigationType type,
                                         std::optional<std::string> html, long historyTarget) {
  ensureAttached();
  abandonLoad(true);
  Load load;
  load.navigation = kit::make<Navigation>(request);
  load.request = request;
  load.type = type;
  load.html = std::move(html);
  load.historyTarget = historyTarget;
  load.generation = ++generation_;
  load_ = load;
  // The policy is asked on the next pass, as the platform asks it after
  // the call returns.
  Weak<WebView> weak = strongSelf();
  const uint64_t generation = load.generation;
  FrameInfo source{true, url_ ? url_->absoluteText() : std::string()};
  runOnMainSoon([weak, generation, request, type, source] {
    auto self = weak.lock();
    if (!self || !self->isCurrent(generation)) return;
    auto decide = answerOnce<NavigationActionPolicy>(
        [weak, generation](NavigationActionPolicy policy) {
          auto view = weak.lock();
          if (!view || !view->isCurrent(generation)) return;
          if (policy == NavigationActionPolicy::Allow) view->beginLoad();
          else view->load_.reset();
        },
        [weak, generation] {
          if (auto view = weak.lock(); view && view->isCurrent(generation)) view->load_.reset();
        },
        "navigation action decision");
    auto action = kit::make<NavigationAction>(request, type, source);
    if (auto d = self->navigationDelegate()) d->decidePolicyForNavigationAction(*self, action, decide);
    else decide(NavigationActionPolicy::Allow);
  });
  return load.navigation;
}

void WebView::beginLoad() {
  if (!load_) return;
  Ref<WebView> keep = strongSelf();
  load_->started = true;
  setLoading(true);
  setProgress(0.1);
  setURL(load_->request->URL());
  Ref<Navigation> navigation = load_->navigation;
  const uint64_t generation = load_->generation;
  if (auto d = navigationDelegate()) d->didStartProvisionalNavigation(*this, navigation);
  if (!isCurrent(generation)) return;
  if (load_->html || isBlank(load_->request->URL())) {
    // A page from text needs no fetch; it commits and finishes on the next
    // pass, as loads do.
    Weak<WebView> weak = keep;
    runOnMainSoon([weak, generation] {
      auto self = weak.lock();
      if (!self || !self->isCurrent(generation)) return;
      self->commitLoad();
      if (!self->isCurrent(generation)) return;
      const std::string html = self->load_->html.value_or("");
      self->finishLoad(nullptr, html);
    });
    return;
  }
  fetcher_->start(load_->request);
}

template <class Policy>
std::function<void(Policy)> WebView::fetchPolicyAnswer(std::function<void(bool)> decide,
                                                       std::function<void(WebView&)> allowed, const char* what) {
  const uint64_t generation = load_->generation;
  Weak<WebView> weak = strongSelf();
  return answerOnce<Policy>(
      [weak, generation, decide, allowed = std::move(allowed)](Policy policy) {
        auto self = weak.lock();
        if (!self || !self->isCurrent(generation)) {
          decide(false);
          return;
        }
        if (policy != Policy::Allow) {
          decide(false);
          self->failLoad(Error::make(WebKitErrorDomain, WebKitErrorFrameLoadInterruptedByPolicyChange,
                                     dict({{LocalizedDescriptionKey, "Frame load interrupted"}})));
          return;
        }
        decide(true);
        allowed(*self);
      },
      [decide] { decide(false); }, what);
}

void WebView::fetchWillRedirect(const Ref<HTTPURLResponse>&, const Ref<URLRequest>& next,
                                std::function<void(bool)> decide) {
  KIT_CHECK_MAIN_THREAD();
  if (!load_) {
    decide(false);
    return;
  }
  Ref<WebView> keep = strongSelf();
  auto answer = fetchPolicyAnswer<NavigationActionPolicy>(
      decide,
      [next](WebView& self) {
        self.load_->request = next;
        self.setURL(next->URL());
        if (auto d = self.navigationDelegate())
          d->didReceiveServerRedirectForProvisionalNavigation(self, self.load_->navigation);
      },
      "navigation action decision");
  auto action = kit::make<NavigationAction>(next, NavigationType::Other,
                                            FrameInfo{true, load_->request->URL()->absoluteText()});
  if (auto d = navigationDelegate()) d->decidePolicyForNavigationAction(*this, action, answer);
  else answer(NavigationActionPolicy::Allow);
}

void WebView::fetchDidReceiveResponse(const Ref<URLResponse>& response, std::function<void(bool)> decide) {
  KIT_CHECK_MAIN_THREAD();
  if (!load_) {
    decide(false);
    return;
  }
  Ref<WebView> keep = strongSelf();
  auto answer = fetchPolicyAnswer<NavigationResponsePolicy>(
      decide, [](WebView& self) { self.commitLoad(); }, "navigation response decision");
  if (auto d = navigationDelegate())
    d->decidePolicyForNavigationResponse(*this, kit::make<NavigationResponse>(response), answer);
  else answer(NavigationResponsePolicy::Allow);
}

void WebView::commitLoad() {
  if (!load_ || load_->committed) return;
  load_->committed = true;
  if (engine_) engine_->unloadDocument();
  setProgress(std::max(progress_, 0.5));
  if (auto d = navigationDelegate()) d->didCommitNavigation(*this, load_->navigation);
}

void WebView::fetchDidReceiveData(int64_t received, int64_t expected) {
  KIT_CHECK_MAIN_THREAD();
  if (!load_ || expected <= 0) return;
  setProgress(std::max(progress_, 0.5 + 0.4 * std::min(1.0, static_cast<double>(received) / expected)));
}

void WebView::fetchDidFinish(const Ref<URLResponse>& response, const Ref<Data>& body) {
  KIT_CHECK_MAIN_THREAD();
  if (!load_) return;
  commitLoad();
  if (!load_) return;
  finishLoad(response, htmlDocumentText(*body, charsetOf(response)));
}

void WebView::finishLoad(const Ref<URLResponse>& response, const std::string& html) {
  Ref<WebView> keep = strongSelf();
  Ref<kit::URL> url = response && response->URL() ? response->URL() : load_->request->URL();
  // The navigation finishes once the engine has loaded the document (the
  // page driver at once; the browser when the page's load event fired).
  Weak<WebView> weak = keep;
  const uint64_t generation = load_->generation;
  pageEngine()->loadDocument(PageDocument{url, html, response}, [weak, generation, url](Ref<Error> error) {
    auto self = weak.lock();
    if (!self || !self->isCurrent(generation)) return;
    if (error) self->failLoad(error);
    else self->documentDidLoad(url);
  });
}

void WebView::documentDidLoad(const Ref<kit::URL>& url) {
  Ref<WebView> keep = strongSelf();
  Load load = *load_;
  load_.reset();
  const bool couldGoBack = canGoBack();
  if (load.historyTarget >= 0 && load.historyTarget < static_cast<long>(history_.size())) {
    historyIndex_ = load.historyTarget;
  } else {
    if (historyIndex_ + 1 < static_cast<long>(history_.size())) history_.resize(static_cast<size_t>(historyIndex_ + 1));
    history_.push_back(kit::make<BackForwardListItem>(url, load.navigation->request()->URL()));
    historyIndex_ = static_cast<long>(history_.size()) - 1;
  }
  setURL(url);
  setTitle(engine_->documentTitle());
  updatePageView();
  updateCanGoBack(couldGoBack);
  setProgress(1.0);
  setLoading(false);
  recovery_.pageDidLoad();
  if (auto d = navigationDelegate()) d->didFinishNavigation(*this, load.navigation);
}

void WebView::fetchDidFail(const Ref<Error>& error) {
  KIT_CHECK_MAIN_THREAD();
  failLoad(error);
}

void WebView::failLoad(const Ref<Error>& error) {
  if (!load_) return;
  Ref<WebView> keep = strongSelf();
  Load load = *load_;
  load_.reset();
  if (fetcher_) fetcher_->cancel();
  setLoading(false);
  setProgress(0);
  if (auto current = currentItem(); current && !load.committed) setURL(current->URL());
  if (auto d = navigationDelegate()) {
    if (load.committed) d->didFailNavigation(*this, load.navigation, error);
    else d->didFailProvisionalNavigation(*this, load.navigation, error);
  }
}

void WebView::abandonLoad(bool report) {
  if (!load_) return;
  if (report && load_->started) {
    failLoad(Error::make(URLErrorDomain, URLErrorCancelled, dict({{LocalizedDescriptionKey, "cancelled"}})));
    return;
  }
  load_.reset();
  if (fetcher_) fetcher_->cancel();
}

void WebView::stopLoading() {
  KIT_CHECK_MAIN_THREAD();
  const bool was = load_.has_value();
  abandonLoad(false);
  if (was) {
    setLoading(false);
    setProgress(0);
  }
}

// ---- Scripts -------------------------------------------------------------------------

void WebView::evaluateJavaScript(const std::string& script, ScriptCompletion completion) {
  KIT_CHECK_MAIN_THREAD();
  ensureAttached();
  Weak<WebView> weak = strongSelf();
  runOnMainSoon([weak, script, completion = std::move(completion)] {
    auto self = weak.lock();
    if (!self) {
      if (completion) completion(nullptr, webViewInvalidatedError());
      return;
    }
    if (!self->configuration_->preferences()->javaScriptEnabled) {
      if (completion) completion(nullptr, scriptExceptionError("JavaScript is disabled"));
      return;
    }
    self->pageEngine()->evaluateScript(script, [completion](const ScriptResult& result) {
      if (completion) completion(result.value, result.error);
    });
  });
}

// ---- The page's acts ---------------------------------------------------------------

bool WebView::postScriptMessage(const std::string& name, Id body) {
  KIT_CHECK_MAIN_THREAD();
  Ref<UserContentController> controller = configuration_->userContentController();
  if (!controller->handlerForName(name)) return false;
  auto message = kit::make<ScriptMessage>(name, std::move(body), strongSelf(),
                                          FrameInfo{true, url_ ? url_->absoluteText() : std::string()});
  runOnMainSoon([controller, message] { controller->deliver(message); });
  return true;
}

void WebView::runAlertPanel(const std::string& message, std::function<void()> completion) {
  KIT_CHECK_MAIN_THREAD();
  auto answer = answerOnce<>(completion, completion, "alert panel");
  const FrameInfo frame{true, url_ ? url_->absoluteText() : std::string()};
  if (auto d = uiDelegate()) d->runJavaScriptAlertPanel(*this, message, frame, answer);
  else answer();
}

void WebView::runConfirmPanel(const std::string& message, std::function<void(bool)> completion) {
  KIT_CHECK_MAIN_THREAD();
  auto answer = answerOnce<bool>(completion, [completion] { completion(false); }, "confirm panel");
  const FrameInfo frame{true, url_ ? url_->absoluteText() : std::string()};
  if (auto d = uiDelegate()) d->runJavaScriptConfirmPanel(*this, message, frame, answer);
  else answer(false);
}

void WebView::runTextInputPanel(const std::string& prompt, const std::optional<std::string>& defaultText,
                                std::function<void(std::optional<std::string>)> completion) {
  KIT_CHECK_MAIN_THREAD();
  auto answer = answerOnce<std::optional<std::string>>(completion, [completion] { completion(std::nullopt); },
                                                       "text input panel");
  const FrameInfo frame{true, url_ ? url_->absoluteText() : std::string()};
  if (auto d = uiDelegate()) d->runJavaScriptTextInputPanel(*this, prompt, defaultText, frame, answer);
  else answer(std::nullopt);
}

void WebView::pageContentSizeDidChange(Size) {
  KIT_CHECK_MAIN_THREAD();
  updatePageView();
}

void WebView::pageTitleDidChange() {
  KIT_CHECK_MAIN_THREAD();
  if (engine_) setTitle(engine_->documentTitle());
}

void WebView::pageContentProcessDidTerminate() {
  KIT_CHECK_MAIN_THREAD();
  Ref<WebView> keep = strongSelf();
  setNeedsDisplay();
  if (auto d = navigationDelegate()) d->webViewWebContentProcessDidTerminate(*this);
  else reloadAfterContentProcessTermination();
}

void WebView::pageDidPaint() {
  KIT_CHECK_MAIN_THREAD();
  setNeedsDisplay();
}

void WebView::reloadAfterContentProcessTermination() {
  KIT_CHECK_MAIN_THREAD();
  if (!currentItem()) return;
  // A retry after a pause is dropped when the view goes or another
  // navigation starts first.
  Weak<WebView> weak = strongSelf();
  const uint64_t generation = generation_;
  recovery_.pageProcessEnded("WebView", url_, [weak, generation] {
    auto self = weak.lock();
    if (!self || self->generation_ != generation || !self->currentItem()) return false;
    self->reload();
    return true;
  });
}

void NavigationDelegate::webViewWebContentProcessDidTerminate(WebView& webView) {
  webView.reloadAfterContentProcessTermination();
}

// ---- What the view shows -----------------------------------------------------------

void WebView::updatePageView() { updatePageTextView(*this, engine_.get(), *scrollView_, *pageText_); }

void WebView::layoutSubviews() {
  KIT_CHECK_MAIN_THREAD();
  View::layoutSubviews();
  if (engine_) engine_->setViewport(bounds().size, Screen::main()->scale());
  if (pageText_->frame().width() != std::max(0.0, bounds().width() - 16)) updatePageView();
}

bool WebView::drawContent(Canvas& canvas) {
  return drawPagePicture(engine_.get(), canvas, bounds()) || View::drawContent(canvas);
}

Ref<View> WebView::hitTest(Point p, const Event* event) {
  Ref<View> hit = View::hitTest(p, event);
  // A drawn page lies under the text view, which shows nothing then.
  if (engine_ && engine_->drawsPage() && (hit == scrollView_ || hit == pageText_)) return strongSelf();
  return hit;
}

void WebView::touchesBegan(const TouchSet& touches, const Event* event) {
  if (!sendTouchesToPage(engine_.get(), *this, touches, PointerPhase::Down)) View::touchesBegan(touches, event);
}
void WebView::touchesMoved(const TouchSet& touches, const Event* event) {
  if (!sendTouchesToPage(engine_.get(), *this, touches, PointerPhase::Move)) View::touchesMoved(touches, event);
}
void WebView::touchesEnded(const TouchSet& touches, const Event* event) {
  if (!sendTouchesToPage(engine_.get(), *this, touches, PointerPhase::Up)) View::touchesEnded(touches, event);
}
void WebView::touchesCancelled(const TouchSet& touches, const Event* event) {
  if (!sendTouchesToPage(engine_.get(), *this, touches, PointerPhase::Cancel)) View::touchesCancelled(touches, event);
}

}  // namespace kit
