// The web view's navigation objects and its two delegates. The navigation
// delegate decides on every navigation (also each redirect) and on each
// response, and hears a navigation's steps: started, redirected,
// committed, finished, or failed before commit (provisional) or after it,
// and hears when the page's content process ends.
// The UI delegate shows the page's alert, confirm and prompt panels; every
// panel's completion must be called once, and the web view makes sure the
// page hears exactly one answer (a second call is ignored, a completion
// dropped uncalled answers as the platform's default would: no, or no
// text). Default bodies do what the platform does without a delegate
// method: allow, complete at once with the default answer, reload a page
// whose content process ended.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kit/net/url_request.h"
#include "kit/net/url_response.h"
#include "kit/web/page_engine.h"
#include "kit/web/web_view_configuration.h"

namespace kit {

class WebView;

// One load of a page, from its start to its end.
class Navigation : public Object {
 public:
  explicit Navigation(Ref<URLRequest> request) : request_(std::move(request)) {}
  // The request the navigation started with.
  const Ref<URLRequest>& request() const { return request_; }

 private:
  Ref<URLRequest> request_;
};

class NavigationAction : public Object {
 public:
  NavigationAction(Ref<URLRequest> request, NavigationType type, FrameInfo source)
      : request_(std::move(request)), type_(type), source_(std::move(source)) {}
  const Ref<URLRequest>& request() const { return request_; }
  NavigationType navigationType() const { return type_; }
  const FrameInfo& sourceFrame() const { return source_; }
  FrameInfo targetFrame() const { return FrameInfo{true, request_ && request_->URL() ? request_->URL()->absoluteText() : ""}; }

 private:
  Ref<URLRequest> request_;
  NavigationType type_;
  FrameInfo source_;
};

class NavigationResponse : public Object {
 public:
  explicit NavigationResponse(Ref<URLResponse> response) : response_(std::move(response)) {}
  const Ref<URLResponse>& response() const { return response_; }
  bool isForMainFrame() const { return true; }
  // Text, HTML and images show; other types need a download.
  bool canShowMIMEType() const;

 private:
  Ref<URLResponse> response_;
};

enum class NavigationActionPolicy { Cancel = 0, Allow = 1 };
enum class NavigationResponsePolicy { Cancel = 0, Allow = 1 };

class NavigationDelegate {
 public:
  virtual ~NavigationDelegate() = default;
  virtual void decidePolicyForNavigationAction(WebView&, const Ref<NavigationAction>&,
                                               std::function<void(NavigationActionPolicy)> decisionHandler) {
    decisionHandler(NavigationActionPolicy::Allow);
  }
  virtual void decidePolicyForNavigationResponse(WebView&, const Ref<NavigationResponse>&,
                                                 std::function<void(NavigationResponsePolicy)> decisionHandler) {
    decisionHandler(NavigationResponsePolicy::Allow);
  }
  virtual void didStartProvisionalNavigation(WebView&, const Ref<Navigation>&) {}
  virtual void didReceiveServerRedirectForProvisionalNavigation(WebView&, const Ref<Navigation>&) {}
  virtual void didFailProvisionalNavigation(WebView&, const Ref<Navigation>&, const Ref<Error>&) {}
  virtual void didCommitNavigation(WebView&, const Ref<Navigation>&) {}
  virtual void didFinishNavigation(WebView&, const Ref<Navigation>&) {}
  virtual void didFailNavigation(WebView&, const Ref<Navigation>&, const Ref<Error>&) {}
  // The process that ran the page ended; the view shows nothing until it
  // loads again (reload() brings the page back). Without an override the
  // view reloads the page itself, as the platform does for a delegate that
  // does not handle the event (WebView::reloadAfterContentProcessTermination).
  virtual void webViewWebContentProcessDidTerminate(WebView& webView);
};

class UIDelegate {
 public:
  virtual ~UIDelegate() = default;
  virtual void runJavaScriptAlertPanel(WebView&, const std::string& /*message*/, const FrameInfo&,
                                       std::function<void()> completionHandler) {
    completionHandler();
  }
  virtual void runJavaScriptConfirmPanel(WebView&, const std::string& /*message*/, const FrameInfo&,
                                         std::function<void(bool)> completionHandler) {
    completionHandler(false);
  }
  virtual void runJavaScriptTextInputPanel(WebView&, const std::string& /*prompt*/,
                                           const std::optional<std::string>& /*defaultText*/, const FrameInfo&,
                                           std::function<void(std::optional<std::string>)> completionHandler) {
    completionHandler(std::nullopt);
  }
  // A page that opens a window (target=_blank): a new web view, or nil to
  // load nothing.
  virtual Ref<WebView> createWebView(WebView&, const Ref<WebViewConfiguration>&, const Ref<NavigationAction>&) {
    return nullptr;
  }
  virtual void webViewDidClose(WebView&) {}
};

// An entry of the web view's history.
class BackForwardListItem : public Object {
 public:
  BackForwardListItem(Ref<kit::URL> url, Ref<kit::URL> initialURL)
      : url_(std::move(url)), initial_(std::move(initialURL)) {}
  const Ref<kit::URL>& URL() const { return url_; }
  const Ref<kit::URL>& initialURL() const { return initial_; }
  const std::string& title() const { return title_; }
  void setTitle(std::string t) { title_ = std::move(t); }

 private:
  Ref<kit::URL> url_, initial_;
  std::string title_;
};

}  // namespace kit
