// KTSuWebVC: one web page inside the user centre (a message, the activity
// or account page, the feedback page). The page that opens it slides it in
// from the right over the container's tag-1000 area; its back button steps
// back in the page's history or closes it, its close button closes it at
// once. It shows a thin progress bar while a load runs, its title (the
// opener's, else the document's), hands QQ links to the system and posts
// "KT_RZ_NOTIFI" when a navigation reaches a finished real-name
// verification ("identifySuccess"). Main thread.
//
//   KTSuWebVC::loadWebVcWithUrl(*this, url, kit::str("问题反馈"));
#pragma once

#include <functional>
#include <string>

#include "kit/ui/button.h"
#include "kit/ui/label.h"
#include "kit/ui/view_controller.h"
#include "kit/web/legacy_web_view.h"
#include "ui/widgets/kt_web_progress_layer.h"

class KTSuWebVC : public kit::ViewController, public kit::LegacyWebViewDelegate {
 public:
  static constexpr const char* Identifier = "KTSuWebVC";
  static constexpr const char* RealNameNotification = "KT_RZ_NOTIFI";
  static constexpr double SlideOffset = 300;
  static constexpr double SlideDuration = 0.8;
  static constexpr double TitleBarH = 44;

  static void registerScene();
  // Opens a page over the tag-1000 area of the opener's parent (the user
  // centre's container), off to the right until it appears.
  static kit::Ref<KTSuWebVC> loadWebVcWithUrl(kit::ViewController& opener, const std::string& url,
                                              const kit::Ref<kit::String>& name);

  ~KTSuWebVC() override;
  void loadView() override;
  void viewDidLoad() override;
  void viewDidAppear(bool animated) override;

  // The back and close buttons' actions.
  void goBack();
  void removeClick();

  bool shouldStartLoadWithRequest(kit::LegacyWebView& webView, const kit::Ref<kit::URLRequest>& request,
                                  kit::LegacyNavigationType type) override;
  void webViewDidStartLoad(kit::LegacyWebView& webView) override;
  void webViewDidFinishLoad(kit::LegacyWebView& webView) override;
  void didFailLoadWithError(kit::LegacyWebView& webView, const kit::Ref<kit::Error>& error) override;

  using RemoveBlock = std::function<void(KTSuWebVC& page)>;
  void setRemoveBlock(RemoveBlock block) { removeBlock_ = std::move(block); }
  const std::string& url() const { return url_; }
  void setUrl(std::string url) { url_ = std::move(url); }
  const kit::Ref<kit::String>& name() const { return name_; }
  void setName(kit::Ref<kit::String> name) { name_ = std::move(name); }

  kit::Ref<kit::LegacyWebView> webView() const { return webView_.lock(); }
  kit::Ref<kit::Label> titleL() const { return titleL_.lock(); }
  kit::Ref<kit::Button> backBtn() const { return backBtn_.lock(); }
  kit::Ref<kit::Button> closeBtn() const { return closeBtn_.lock(); }
  kit::Ref<KTWebProgressLayer> progressLayer() const { return progressLayer_.lock(); }

 private:
  kit::Weak<kit::LegacyWebView> webView_;
  kit::Weak<kit::Label> titleL_;
  kit::Weak<kit::Button> backBtn_, closeBtn_;
  kit::Weak<KTWebProgressLayer> progressLayer_;
  RemoveBlock removeBlock_;
  std::string url_;
  kit::Ref<kit::String> name_;
};

// What the user centre's web pages share: the QQ-link test, the progress
// bar of a new load (the bar of the load before it finished first) and the
// web-cache settings written after each load.
namespace KTSuWebPages {
inline constexpr double ProgressY = 44, ProgressW = 300, ProgressH = 2;
// "mqq://" or "mqqapi://" anywhere in the address.
bool isQQLink(const std::string& address);
kit::Ref<KTWebProgressLayer> startProgress(kit::View& view, const kit::Ref<KTWebProgressLayer>& previous);
void writeCacheSettings();
// The address of a request ("" without one).
std::string addressOf(const kit::Ref<kit::URLRequest>& request);
}  // namespace KTSuWebPages
