// kit::WebView: the platform's script-bridge web view. It loads pages for
// real over kit networking (its page fetcher) and tells its navigation
// delegate each step on the main thread: a navigation finishes on any HTTP
// answer (an error page is a page) once the page engine has loaded the
// document; an unreachable, refused or timed-out host fails it
// provisionally with kit networking's error code. The page runs in its
// page engine (the browser engine where the program installed it, else the
// page driver that unit tests use to play the page): scripts the client
// evaluates go there, and what the page does (script messages to the
// configuration's named handlers, alert/confirm/prompt panels for the UI
// delegate, links, its content process ending) comes from there. An engine
// that draws the page is shown in every picture of the view, and touches
// on the view reach the page as pointer events. Loading progress, title, address and loading state can
// be observed ("estimatedProgress", "title", "URL", "loading",
// "canGoBack").
//
//   auto webView = kit::WebView::make(bounds, configuration);
//   webView->setNavigationDelegate(self);
//   webView->setUIDelegate(self);
//   webView->loadRequest(kit::URLRequest::make(kit::URL::URLWithString(address)));
//   webView->evaluateJavaScript("CallbackFromIOS('{...}')", [](kit::Id, kit::Ref<kit::Error>) {});
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kit/ui/key_value_observing.h"
#include "kit/ui/label.h"
#include "kit/ui/scroll_view.h"
#include "kit/web/page_driver.h"
#include "kit/web/page_fetcher.h"
#include "kit/web/page_recovery.h"
#include "kit/web/page_surface.h"
#include "kit/web/web_view_configuration.h"
#include "kit/web/web_view_delegates.h"

namespace kit {

class WebView : public View, public PageHost, public PageFetcher::Client {
 public:
  static Ref<WebView> make(const Rect& frame, Ref<WebViewConfiguration> configuration = nullptr) {
    return kit::make<WebView>(frame, std::move(configuration));
  }
  WebView(const Rect& frame, Ref<WebViewConfiguration> configuration);
  ~WebView() override;

  const Ref<WebViewConfiguration>& configuration() const { return configuration_; }
  const Ref<ScrollView>& scrollView() const { return scrollView_; }
  Ref<NavigationDelegate> navigationDelegate() const { return navigationDelegate_.lock(); }
  void setNavigationDelegate(Weak<NavigationDelegate> d) { navigationDelegate_ = std::move(d); }
  Ref<UIDelegate> uiDelegate() const { return uiDelegate_.lock(); }
  void setUIDelegate(Weak<UIDelegate> d) { uiDelegate_ = std::move(d); }

  // ---- Loading (each returns the navigation the delegate will hear of)
  Ref<Navigation> loadRequest(const Ref<URLRequest>& request);
  // A page from text; relative links are read against `baseURL`.
  Ref<Navigation> loadHTMLString(const std::string& html, const Ref<kit::URL>& baseURL);
  Ref<Navigation> reload();
  // Ends the load in progress; the delegate hears of no failure.
  void stopLoading();
  bool isLoading() const { return loading_; }
  double estimatedProgress() const { return progress_; }
  // The address of the page shown or being loaded.
  Ref<kit::URL> URL() const { return url_; }
  std::string title() const { return title_; }
  // True once the page shown has been drawn: a document has loaded and the
  // engine has drawn it (at once, for an engine that does not draw). A new
  // document shows the view's background, or the page shown before it,
  // until its first paint.
  bool documentPainted() const { return currentItem() && engine_ && engine_->documentPainted(); }

  // What the view does when its page's content process ends and no
  // navigation delegate handles it: reloads the page at once, up to
  // MaxReloadsAfterTermination times in a row (a page that has stayed up
  // ReloadCountResetSeconds since it loaded starts the count again); past
  // that, it tries again after a pause (kit::Clock) that starts at
  // FirstRetryPauseSeconds and doubles with every further end, up to
  // MaxRetryPauseSeconds, so that a page that keeps ending is neither
  // reloaded in a tight loop nor left blank for good (page_recovery.h).
  // Any navigation started meanwhile takes the waiting retry's place.
  void reloadAfterContentProcessTermination();
  static constexpr int MaxReloadsAfterTermination = PageRecovery::MaxReloadsInARow;
  static constexpr double ReloadCountResetSeconds = PageRecovery::CountResetSeconds;
  static constexpr double FirstRetryPauseSeconds = PageRecovery::FirstRetryPauseSeconds;
  static constexpr double MaxRetryPauseSeconds = PageRecovery::MaxRetryPauseSeconds;

  // ---- History
  bool canGoBack() const { return historyIndex_ > 0; }
  bool canGoForward() const { return historyIndex_ + 1 < static_cast<long>(history_.size()); }
  Ref<Navigation> goBack();
  Ref<Navigation> goForward();
  const std::vector<Ref<BackForwardListItem>>& backForwardList() const { return history_; }
  Ref<BackForwardListItem> currentItem() const;

  // ---- Scripts
  using ScriptCompletion = std::function<void(Id result, Ref<Error> error)>;
  // Runs the script in the page on the next main run loop pass; the
  // completion hears its value or error then.
  void evaluateJavaScript(const std::string& script, ScriptCompletion completion = {});
  const std::string& customUserAgent() const { return customUserAgent_; }
  void setCustomUserAgent(std::string agent) { customUserAgent_ = std::move(agent); }
  bool allowsBackForwardNavigationGestures() const { return backForwardGestures_; }
  void setAllowsBackForwardNavigationGestures(bool v) { backForwardGestures_ = v; }

  // ---- The page's engine
  const Ref<PageEngine>& pageEngine();
  // The engine as a page driver; nil when the configuration made another.
  Ref<PageDriver> pageDriver();

  // ---- Observation (see key_value_observing.h)
  void addObserver(const Id& observer, const std::string& keyPath, KeyValueHandler handler) {
    observers_.add(observer, keyPath, std::move(handler));
  }
  void removeObserver(const Object* observer, const std::string& keyPath) { observers_.remove(observer, keyPath); }

  // ---- PageHost
  bool postScriptMessage(const std::string& name, Id body) override;
  void runAlertPanel(const std::string& message, std::function<void()> completion) override;
  void runConfirmPanel(const std::string& message, std::function<void(bool)> completion) override;
  void runTextInputPanel(const std::string& prompt, const std::optional<std::string>& defaultText,
                         std::function<void(std::optional<std::string>)> completion) override;
  void pageNavigate(const Ref<URLRequest>& request, NavigationType type) override;
  void pageContentSizeDidChange(Size size) override;
  void pageTitleDidChange() override;
  void pageContentProcessDidTerminate() override;
  void pageDidPaint() override;
  Ref<WebViewConfiguration> pageConfiguration() const override { return configuration_; }
  std::string pageUserAgent() const override { return customUserAgent_; }

  // ---- PageFetcher::Client
  void fetchWillRedirect(const Ref<HTTPURLResponse>& response, const Ref<URLRequest>& next,
                         std::function<void(bool)> decide) override;
  void fetchDidReceiveResponse(const Ref<URLResponse>& response, std::function<void(bool)> decide) override;
  void fetchDidReceiveData(int64_t received, int64_t expected) override;
  void fetchDidFinish(const Ref<URLResponse>& response, const Ref<Data>& body) override;
  void fetchDidFail(const Ref<Error>& error) override;

  void layoutSubviews() override;
  // Touches on a page the engine draws go to the page.
  Ref<View> hitTest(Point p, const Event* event) override;
  void touchesBegan(const TouchSet& touches, const Event* event) override;
  void touchesMoved(const TouchSet& touches, const Event* event) override;
  void touchesEnded(const TouchSet& touches, const Event* event) override;
  void touchesCancelled(const TouchSet& touches, const Event* event) override;

 protected:
  bool drawContent(Canvas& canvas) override;

 private:
  struct Load {
    Ref<Navigation> navigation;
    Ref<URLRequest> request;
    NavigationType type = NavigationType::Other;
    bool started = false, committed = false;
    std::optional<std::string> html;  // a page from text
    long historyTarget = -1;          // the entry a back or forward load goes to
    uint64_t generation = 0;
  };
  void ensureAttached();
  Ref<Navigation> startNavigation(const Ref<URLRequest>& request, NavigationType type, std::optional<std::string> html,
                                  long historyTarget);
  void beginLoad();
  void commitLoad();
  void finishLoad(const Ref<URLResponse>& response, const std::string& html);
  void documentDidLoad(const Ref<kit::URL>& url);
  void failLoad(const Ref<Error>& error);
  // The answer to a policy asked during the current load's fetch: a stale
  // or refused answer declines (a refusal fails the load with the
  // interrupted error); an allowed one accepts and runs `allowed`.
  template <class Policy>
  std::function<void(Policy)> fetchPolicyAnswer(std::function<void(bool)> decide,
                                                std::function<void(WebView&)> allowed, const char* what);
  void abandonLoad(bool report);
  bool isCurrent(uint64_t generation) const { return load_ && load_->generation == generation; }
  void setProgress(double progress);
  void setLoading(bool loading);
  void setURL(Ref<kit::URL> url);
  void setTitle(std::string title);
  void updateCanGoBack(bool before);
  void updatePageView();
  Ref<WebView> strongSelf() { return std::static_pointer_cast<WebView>(weak_from_this().lock()); }

  Ref<WebViewConfiguration> configuration_;
  Ref<ScrollView> scrollView_;
  Ref<Label> pageText_;
  Weak<NavigationDelegate> navigationDelegate_;
  Weak<UIDelegate> uiDelegate_;
  Ref<PageEngine> engine_;
  std::shared_ptr<PageFetcher> fetcher_;
  std::optional<Load> load_;
  uint64_t generation_ = 0;
  bool loading_ = false;
  double progress_ = 0;
  Ref<kit::URL> url_;
  std::string title_;
  std::vector<Ref<BackForwardListItem>> history_;
  long historyIndex_ = -1;
  PageRecovery recovery_;
  std::string customUserAgent_;
  bool backForwardGestures_ = false;
  KeyValueObservers observers_;
};

}  // namespace kit
