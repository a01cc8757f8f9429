// kit::LegacyWebView: the platform's older in-app web view. It loads pages
// for real over kit networking and asks its delegate before every load
// starts (the first request, each redirect, each link the page follows,
// each step back or forward), then tells it the load started, finished or
// failed (a load finishes once the page engine has loaded the document).
// It keeps a history for going back and forward, evaluates scripts
// synchronously in its page engine (the browser engine where the program
// installed it, else the page driver), so "document.title" answers the
// fetched page's title, and shows the page (the engine's picture of it, or
// its text in a scroll view whose bouncing can be turned off); touches on
// a drawn page reach it as pointer events. A page whose content process
// ended is loaded again as a reload, by the rule WebView follows
// (page_recovery.h).
//
//   auto web = kit::LegacyWebView::make(view()->bounds());
//   web->delegate = self;
//   web->loadRequest(kit::URLRequest::make(kit::URL::URLWithString(payURL)));
//   std::string title = web->stringByEvaluatingJavaScriptFromString("document.title");
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kit/ui/label.h"
#include "kit/ui/scroll_view.h"
#include "kit/web/page_driver.h"
#include "kit/web/page_fetcher.h"
#include "kit/web/page_recovery.h"
#include "kit/web/page_surface.h"

namespace kit {

class LegacyWebView;

enum class LegacyNavigationType { LinkClicked = 0, FormSubmitted, BackForward, Reload, FormResubmitted, Other };

class LegacyWebViewDelegate {
 public:
  virtual ~LegacyWebViewDelegate() = default;
  virtual bool shouldStartLoadWithRequest(LegacyWebView&, const Ref<URLRequest>&, LegacyNavigationType) {
    return true;
  }
  virtual void webViewDidStartLoad(LegacyWebView&) {}
  virtual void webViewDidFinishLoad(LegacyWebView&) {}
  virtual void didFailLoadWithError(LegacyWebView&, const Ref<Error>&) {}
};

class LegacyWebView : public View, public PageHost, public PageFetcher::Client {
 public:
  static Ref<LegacyWebView> make(const Rect& frame = {}) { return kit::make<LegacyWebView>(frame); }
  explicit LegacyWebView(const Rect& frame = {});
  ~LegacyWebView() override;

  Weak<LegacyWebViewDelegate> delegate;
  const Ref<ScrollView>& scrollView() const { return scrollView_; }

  // ---- Loading (the delegate is asked on the next main run loop pass)
  void loadRequest(const Ref<URLRequest>& request);
  void loadHTMLString(const std::string& html, const Ref<URL>& baseURL);
  void reload();
  // Ends the load in progress without a failure report.
  void stopLoading();
  bool isLoading() const { return static_cast<bool>(load_); }
  // The request of the page shown (or being loaded).
  const Ref<URLRequest>& request() const { return request_; }
  // True once the page shown has been drawn: a document has loaded and the
  // engine has drawn it (at once, for an engine that does not draw). A new
  // document shows the view's background, or the page shown before it,
  // until its first paint.
  bool documentPainted() const { return historyIndex_ >= 0 && engine_ && engine_->documentPainted(); }

  // ---- History: the pages that finished loading
  bool canGoBack() const { return historyIndex_ > 0; }
  bool canGoForward() const { return historyIndex_ + 1 < static_cast<long>(history_.size()); }
  void goBack();
  void goForward();
  std::vector<Ref<URL>> historyList() const { return history_; }
  long historyIndex() const { return historyIndex_; }

  // ---- Scripts: the result as text ("" when the script fails)
  std::string stringByEvaluatingJavaScriptFromString(const std::string& script);

  // ---- Settings kept for those who read them
  bool scalesPageToFit = false;
  bool allowsInlineMediaPlayback = false;
  bool mediaPlaybackRequiresUserAction = true;
  bool keyboardDisplayRequiresUserAction = true;
  bool suppressesIncrementalRendering = false;
  unsigned long dataDetectorTypes = 0;

  const Ref<PageEngine>& pageEngine();
  Ref<PageDriver> pageDriver();

  // ---- PageHost (the older view has no script message handlers; its
  // panels answer at once: done, no, no text)
  bool postScriptMessage(const std::string& name, Id body) override;
  void runAlertPanel(const std::string& message, std::function<void()> completion) override;
  void runConfirmPanel(const std::string& message, std::function<void(bool)> completion) override;
  void runTextInputPanel(const std::string& prompt, const std::optional<std::string>& defaultText,
                         std::function<void(std::optional<std::string>)> completion) override;
  void pageNavigate(const Ref<URLRequest>& request, NavigationType type) override;
  void pageContentSizeDidChange(Size size) override;
  void pageTitleDidChange() override {}
  void pageContentProcessDidTerminate() override;
  void pageDidPaint() override;

  // ---- PageFetcher::Client
  void fetchWillRedirect(const Ref<HTTPURLResponse>& response, const Ref<URLRequest>& next,
                         std::function<void(bool)> decide) override;
  void fetchDidReceiveResponse(const Ref<URLResponse>& response, std::function<void(bool)> decide) override;
  void fetchDidReceiveData(int64_t, int64_t) override {}
  void fetchDidFinish(const Ref<URLResponse>& response, const Ref<Data>& body) override;
  void fetchDidFail(const Ref<Error>& error) override;

  void layoutSubviews() override;
  Ref<View> hitTest(Point p, const Event* event) override;
  void touchesBegan(const TouchSet& touches, const Event* event) override;
  void touchesMoved(const TouchSet& touches, const Event* event) override;
  void touchesEnded(const TouchSet& touches, const Event* event) override;
  void touchesCancelled(const TouchSet& touches, const Event* event) override;

 protected:
  bool drawContent(Canvas& canvas) override;

 private:
  struct Load {
    Ref<URLRequest> request;
    std::optional<std::string> html;
    long historyTarget = -1;
    uint64_t generation = 0;
  };
  void ensureAttached();
  void navigate(const Ref<URLRequest>& request, LegacyNavigationType type, std::optional<std::string> html,
                long historyTarget);
  void finish(const Ref<URLResponse>& response, const std::string& html);
  void documentDidLoad(const Ref<URL>& url);
  void fail(const Ref<Error>& error);
  void updatePageView();
  Ref<LegacyWebView> strongSelf() { return std::static_pointer_cast<LegacyWebView>(weak_from_this().lock()); }

  Ref<ScrollView> scrollView_;
  Ref<Label> pageText_;
  Ref<PageEngine> engine_;
  std::shared_ptr<PageFetcher> fetcher_;
  std::optional<Load> load_;
  uint64_t generation_ = 0;
  Ref<URLRequest> request_;
  std::vector<Ref<URL>> history_;
  long historyIndex_ = -1;
  PageRecovery recovery_;
};

}  // namespace kit
