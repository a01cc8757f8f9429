// The older in-app web view: loads asked of the delegate, history, and
// synchronous scripts.
#include "kit/web/legacy_web_view.h"

#include "kit/dispatch/thread_check.h"
#include "kit/foundation/values.h"
#include "kit/ui/main_loop.h"
#include "kit/ui/screen.h"
#include "kit/web/html_text.h"

namespace kit {

namespace {

LegacyNavigationType legacyType(NavigationType type) {
  switch (type) {
    case NavigationType::LinkActivated: return LegacyNavigationType::LinkClicked;
    case NavigationType::FormSubmitted: return LegacyNavigationType::FormSubmitted;
    case NavigationType::BackForward: return LegacyNavigationType::BackForward;
    case NavigationType::Reload: return LegacyNavigationType::Reload;
    case NavigationType::FormResubmitted: return LegacyNavigationType::FormResubmitted;
    case NavigationType::Other: return LegacyNavigationType::Other;
  }
  return LegacyNavigationType::Other;
}

Ref<Error> interruptedError() {
  return Error::make(WebKitErrorDomain, WebKitErrorFrameLoadInterruptedByPolicyChange,
                     dict({{LocalizedDescriptionKey, "Frame load interrupted"}}));
}

}  // namespace

LegacyWebView::LegacyWebView(const Rect& frame) : View(frame) {
  addPageTextView(*this, scrollView_, pageText_);
}

LegacyWebView::~LegacyWebView() {
  fetcher_.reset();
  if (engine_) engine_->setHost({});
}

void LegacyWebView::ensureAttached() {
  Ref<LegacyWebView> self = strongSelf();
  if (!fetcher_ && self) fetcher_ = std::make_shared<PageFetcher>(std::weak_ptr<PageFetcher::Client>(self));
  pageEngine();
}

const Ref<PageEngine>& LegacyWebView::pageEngine() {
  if (!engine_) {
    engine_ = makeDefaultPageEngine();
    engine_->setViewport(bounds().size, Screen::main()->scale());
  }
  if (!engine_->host())
    if (Ref<LegacyWebView> self = strongSelf()) engine_->setHost(std::weak_ptr<PageHost>(self));
  return engine_;
}

Ref<PageDriver> LegacyWebView::pageDriver() { return as<PageDriver>(pageEngine()); }

// ---- Loading -------------------------------------------------------------------------

void LegacyWebView::loadRequest(const Ref<URLRequest>& request) {
  KIT_CHECK_MAIN_THREAD();
  if (request && request->URL()) navigate(request, LegacyNavigationType::Other, std::nullopt, -1);
}

void LegacyWebView::loadHTMLString(const std::string& html, const Ref<URL>& baseURL) {
  KIT_CHECK_MAIN_THREAD();
  navigate(URLRequest::make(baseURL ? baseURL : URL::URLWithString("about:blank")), LegacyNavigationType::Other,
           html, -1);
}

void LegacyWebView::reload() {
  KIT_CHECK_MAIN_THREAD();
  if (historyIndex_ < 0) return;
  navigate(URLRequest::make(history_[static_cast<size_t>(historyIndex_)]), LegacyNavigationType::Reload, std::nullopt,
           historyIndex_);
}

void LegacyWebView::goBack() {
  KIT_CHECK_MAIN_THREAD();
  if (canGoBack())
    navigate(URLRequest::make(history_[static_cast<size_t>(historyIndex_ - 1)]), LegacyNavigationType::BackForward,
             std::nullopt, historyIndex_ - 1);
}

void LegacyWebView::goForward() {
  KIT_CHECK_MAIN_THREAD();
  if (canGoForward())
    navigate(URLRequest::make(history_[static_cast<size_t>(historyIndex_ + 1)]), LegacyNavigationType::BackForward,
             std::nullopt, historyIndex_ + 1);
}

void LegacyWebView::pageNavigate(const Ref<URLRequest>& request, NavigationType type) {
  KIT_CHECK_MAIN_THREAD();
  if (request && request->URL()) navigate(request, legacyType(type), std::nullopt, -1);
}

void LegacyWebView::navigate(const Ref<URLRequest>& request, LegacyNavigationType type,
                             std::optional<std::string> html, long historyTarget) {
  ensureAttached();
  Weak<LegacyWebView> weak = strongSelf();
  runOnMainSoon([weak, request, type, html = std::move(html), historyTarget] {
    auto self = weak.lock();
    if (!self) return;
    if (auto d = self->delegate.lock(); d && !d->shouldStartLoadWithRequest(*self, request, type)) return;
    // A new load ends the one in progress, which fails as cancelled.
    if (self->load_) {
      self->fetcher_->cancel();
      self->load_.reset();
      if (auto d = self->delegate.lock())
        d->didFailLoadWithError(*self, Error::make(URLErrorDomain, URLErrorCancelled,
                                                   dict({{LocalizedDescriptionKey, "cancelled"}})));
    }
    self->load_ = Load{request, html, historyTarget, ++self->generation_};
    self->request_ = request;
    const uint64_t generation = self->generation_;
    if (auto d = self->delegate.lock()) d->webViewDidStartLoad(*self);
    if (!self->load_ || self->load_->generation != generation) return;
    if (html || request->URL()->absoluteText() == "about:blank") {
      runOnMainSoon([weak, generation] {
        auto view = weak.lock();
        if (view && view->load_ && view->load_->generation == generation)
          view->finish(nullptr, view->load_->html.value_or(""));
      });
      return;
    }
    self->fetcher_->start(request);
  });
}

void LegacyWebView::fetchWillRedirect(const Ref<HTTPURLResponse>&, const Ref<URLRequest>& next,
                                      std::function<void(bool)> decide) {
  KIT_CHECK_MAIN_THREAD();
  if (!load_) {
    decide(false);
    return;
  }
  Ref<LegacyWebView> keep = strongSelf();
  if (auto d = delegate.lock(); d && !d->shouldStartLoadWithRequest(*this, next, LegacyNavigationType::Other)) {
    decide(false);
    fail(interruptedError());
    return;
  }
  decide(true);
  if (load_) {
    load_->request = next;
    request_ = next;
  }
}

void LegacyWebView::fetchDidReceiveResponse(const Ref<URLResponse>&, std::function<void(bool)> decide) {
  KIT_CHECK_MAIN_THREAD();
  decide(static_cast<bool>(load_));
}

void LegacyWebView::fetchDidFinish(const Ref<URLResponse>& response, const Ref<Data>& body) {
  KIT_CHECK_MAIN_THREAD();
  if (!load_) return;
  finish(response, htmlDocumentText(*body, response && response->textEncodingName()
                                               ? response->textEncodingName()->utf8()
                                               : std::string()));
}

void LegacyWebView::fetchDidFail(const Ref<Error>& error) {
  KIT_CHECK_MAIN_THREAD();
  fail(error);
}

void LegacyWebView::finish(const Ref<URLResponse>& response, const std::string& html) {
  Ref<LegacyWebView> keep = strongSelf();
  Ref<URL> url = response && response->URL() ? response->URL() : load_->request->URL();
  // The load finishes once the engine has loaded the document.
  Weak<LegacyWebView> weak = keep;
  const uint64_t generation = load_->generation;
  pageEngine()->loadDocument(PageDocument{url, html, response}, [weak, generation, url](Ref<Error> error) {
    auto self = weak.lock();
    if (!self || !self->load_ || self->load_->generation != generation) return;
    if (error) self->fail(error);
    else self->documentDidLoad(url);
  });
}

void LegacyWebView::documentDidLoad(const Ref<URL>& url) {
  Ref<LegacyWebView> keep = strongSelf();
  Load load = *load_;
  load_.reset();
  if (load.historyTarget >= 0 && load.historyTarget < static_cast<long>(history_.size())) {
    historyIndex_ = load.historyTarget;
  } else {
    if (historyIndex_ + 1 < static_cast<long>(history_.size())) history_.resize(static_cast<size_t>(historyIndex_ + 1));
    history_.push_back(url);
    historyIndex_ = static_cast<long>(history_.size()) - 1;
  }
  updatePageView();
  recovery_.pageDidLoad();
  if (auto d = delegate.lock()) d->webViewDidFinishLoad(*this);
}

void LegacyWebView::fail(const Ref<Error>& error) {
  if (!load_) return;
  Ref<LegacyWebView> keep = strongSelf();
  load_.reset();
  if (fetcher_) fetcher_->cancel();
  if (historyIndex_ >= 0) request_ = URLRequest::make(history_[static_cast<size_t>(historyIndex_)]);
  if (auto d = delegate.lock()) d->didFailLoadWithError(*this, error);
}

void LegacyWebView::stopLoading() {
  KIT_CHECK_MAIN_THREAD();
  if (!load_) return;
  load_.reset();
  if (fetcher_) fetcher_->cancel();
}

// ---- Scripts and the page's acts ------------------------------------------------------

std::string LegacyWebView::stringByEvaluatingJavaScriptFromString(const std::string& script) {
  KIT_CHECK_MAIN_THREAD();
  ScriptResult result = pageEngine()->evaluateScriptAndWait(script);
  if (result.error || !result.value || isKind<Null>(result.value)) return {};
  return describe(result.value);
}

bool LegacyWebView::postScriptMessage(const std::string&, Id) { return false; }

void LegacyWebView::runAlertPanel(const std::string&, std::function<void()> completion) {
  KIT_CHECK_MAIN_THREAD();
  if (completion) completion();
}

void LegacyWebView::runConfirmPanel(const std::string&, std::function<void(bool)> completion) {
  KIT_CHECK_MAIN_THREAD();
  if (completion) completion(false);
}

void LegacyWebView::runTextInputPanel(const std::string&, const std::optional<std::string>&,
                                      std::function<void(std::optional<std::string>)> completion) {
  KIT_CHECK_MAIN_THREAD();
  if (completion) completion(std::nullopt);
}

void LegacyWebView::pageContentSizeDidChange(Size) {
  KIT_CHECK_MAIN_THREAD();
  updatePageView();
}

void LegacyWebView::pageContentProcessDidTerminate() {
  KIT_CHECK_MAIN_THREAD();
  // The older view has no delegate call for it: it loads its page again
  // as WebView does by itself (page_recovery.h), through the delegate's
  // decision as any reload. A retry after a pause is dropped when the view
  // goes or another load starts first.
  setNeedsDisplay();
  if (historyIndex_ < 0) return;
  Weak<LegacyWebView> weak = strongSelf();
  const uint64_t generation = generation_;
  recovery_.pageProcessEnded("LegacyWebView", history_[static_cast<size_t>(historyIndex_)], [weak, generation] {
    auto self = weak.lock();
    if (!self || self->generation_ != generation || self->historyIndex_ < 0) return false;
    self->reload();
    return true;
  });
}

void LegacyWebView::pageDidPaint() {
  KIT_CHECK_MAIN_THREAD();
  setNeedsDisplay();
}

// ---- What the view shows -----------------------------------------------------------

void LegacyWebView::updatePageView() { updatePageTextView(*this, engine_.get(), *scrollView_, *pageText_); }

void LegacyWebView::layoutSubviews() {
  View::layoutSubviews();
  if (engine_) engine_->setViewport(bounds().size, Screen::main()->scale());
}

bool LegacyWebView::drawContent(Canvas& canvas) {
  return drawPagePicture(engine_.get(), canvas, bounds()) || View::drawContent(canvas);
}

Ref<View> LegacyWebView::hitTest(Point p, const Event* event) {
  Ref<View> hit = View::hitTest(p, event);
  if (engine_ && engine_->drawsPage() && (hit == scrollView_ || hit == pageText_)) return strongSelf();
  return hit;
}

void LegacyWebView::touchesBegan(const TouchSet& touches, const Event* event) {
  if (!sendTouchesToPage(engine_.get(), *this, touches, PointerPhase::Down)) View::touchesBegan(touches, event);
}
void LegacyWebView::touchesMoved(const TouchSet& touches, const Event* event) {
  if (!sendTouchesToPage(engine_.get(), *this, touches, PointerPhase::Move)) View::touchesMoved(touches, event);
}
void LegacyWebView::touchesEnded(const TouchSet& touches, const Event* event) {
  if (!sendTouchesToPage(engine_.get(), *this, touches, PointerPhase::Up)) View::touchesEnded(touches, event);
}
void LegacyWebView::touchesCancelled(const TouchSet& touches, const Event* event) {
  if (!sendTouchesToPage(engine_.get(), *this, touches, PointerPhase::Cancel)) View::touchesCancelled(touches, event);
}

}  // namespace kit
