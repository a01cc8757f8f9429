// KTSuServiceVC: the user centre's customer-service page. It shows the
// outside chat service's page ("robot/h5chat.html" on the chat host, with
// the platform's "sysNum" and "sourceId" there), opens the platform's
// signed feedback page in a KTSuWebVC titled "问题反馈", copies the texts
// the chat page offers as "tolcopy://" links (the part after the last "?",
// or the whole link) with the toast "复制成功", and hands QQ links to the
// system. Main thread.
//
// The chat host is configuration (ClientConfiguration::kPlatformChatHost);
// "sysNum" and "sourceId" come from the platform plist KT
// ("TOLMIX_CHAT_SYSNUM", "TOLMIX_CHAT_SOURCEID"; empty when absent).
#pragma once

#include <string>

#include "kit/ui/button.h"
#include "kit/ui/view_controller.h"
#include "kit/web/legacy_web_view.h"
#include "platform/usercenter/kt_su_web_vc.h"

class KTSuServiceVC : public kit::ViewController, public kit::LegacyWebViewDelegate {
 public:
  static constexpr const char* Identifier = "KTSuServiceVC";
  static constexpr const char* ChatPath = "robot/h5chat.html";
  static constexpr const char* FeedbackPath = "Servicesdk/feedback";
  static constexpr const char* FeedbackTitle = "问题反馈";
  static constexpr const char* CopiedToast = "复制成功";

  static void registerScene();
  // "<chat host>robot/h5chat.html?sysNum=<id>&receiveId=&sourceId=<id>"
  static std::string chatPageURL();
  // "<API base>Servicesdk/feedback" and the signed web arguments.
  static std::string feedbackURL();
  // The text a "tolcopy://" link puts on the pasteboard.
  static std::string copiedText(const std::string& link);

  ~KTSuServiceVC() override;
  void loadView() override;
  void viewDidLoad() override;

  // The back button (hidden until the page is stepped back).
  void goBack();
  // The feedback button.
  void goToFeedBackVC();
  void loadUrlWithStr(const std::string& url);
  kit::Ref<KTSuWebVC> loadWebVcWithUrl(const std::string& url, const kit::Ref<kit::String>& name);

  bool shouldStartLoadWithRequest(kit::LegacyWebView& webView, const kit::Ref<kit::URLRequest>& request,
                                  kit::LegacyNavigationType type) override;
  void webViewDidStartLoad(kit::LegacyWebView& webView) override;
  void webViewDidFinishLoad(kit::LegacyWebView& webView) override;
  void didFailLoadWithError(kit::LegacyWebView& webView, const kit::Ref<kit::Error>& error) override;

  kit::Ref<kit::LegacyWebView> webView() const { return webView_.lock(); }
  kit::Ref<kit::Button> backBtn() const { return backBtn_.lock(); }
  kit::Ref<kit::Button> feedbackBtn() const { return feedbackBtn_.lock(); }
  kit::Ref<KTWebProgressLayer> progressLayer() const { return progressLayer_.lock(); }

 private:
  kit::Weak<kit::LegacyWebView> webView_;
  kit::Weak<kit::Button> backBtn_, feedbackBtn_;
  kit::Weak<KTWebProgressLayer> progressLayer_;
};
