// NUVAVoucherView: the store hub's vouchers tab (menu id "4"). One vertical
// scroll view holds the gift section at the top and the activity host's
// voucher page ("128voucher/index.html?os_type=2") below it.
//
// The gift section offers the role's daily gift ("luck/index", claimed with
// "一键领取" through "luck/get") or, when there is none, the free-video
// offer ("freevideogift/index", over plain http): "观看视频领取道具" opens
// the free-video pop-up, and when that closes after a watched video the
// section hides and the tab's close block runs (the hub's: the hub closes).
// Up to three item tiles sit in their places of the reward strip.
//
// The voucher page may post {"action":"get_remark"} to the script message
// handler "eventComplete"; it is answered with CallbackFromIOS('<text>'),
// the text being {"data":{...the role description...}} with every tab, line
// feed, space and carriage return removed, written as a script string
// literal. The page loads again at every layout pass of the tab; its height
// follows the page's content height.
//
//   auto tab = kit::make<NUVAVoucherView>();   // or NUVAVoucherView::init()
//   tab->setCloseBlock([weakHub] { ... });
//   tab->setUserInfo(userInfo);                // reads the daily gift
#pragma once

#include <functional>
#include <memory>

#include "kit/foundation/dictionary.h"
#include "kit/foundation/string.h"
#include "kit/ui/button.h"
#include "kit/ui/label.h"
#include "kit/ui/scroll_view.h"
#include "kit/ui/view.h"
#include "kit/web/web_view.h"
#include "kit/web/web_view_configuration.h"

class NUVAVoucherView : public kit::View,
                        public kit::UIDelegate,
                        public kit::NavigationDelegate,
                        public kit::ScriptMessageHandler {
 public:
  // The section's height and the page's top with the section shown.
  static constexpr double kSectionHeight = 200, kPageTopWithSection = 215;

  static kit::Ref<NUVAVoucherView> init();
  static kit::Ref<NUVAVoucherView> make() { return init(); }
  NUVAVoucherView();
  ~NUVAVoucherView() override;

  // ---- Inputs
  const kit::Ref<kit::String>& userInfo() const { return userInfo_; }
  // Keeps the role description and starts the loading sequence: the daily
  // gift, or the free-video offer when the server has none.
  void setUserInfo(const kit::Ref<kit::String>& userInfo);
  void setCloseBlock(std::function<void()> block) { closeBlock_ = std::move(block); }
  // Shows a daily gift record ("title", "content", "items").
  void setPlayerDic(const kit::Ref<kit::Dictionary>& record);

  // ---- Requests and actions
  // Reads and shows the free-video offer; the block is not called.
  void getfreevideogiftDataWithSucessData(std::function<void(kit::Id)> block = nullptr);
  // The section's button: claims the daily gift, or opens the free video.
  void closeClick();
  // Answers the page: CallbackFromIOS with the text as a script literal.
  void callJS(const kit::Ref<kit::String>& text);
  // A dictionary from JSON text with tabs, line feeds and carriage returns
  // removed first; nil (and a log line) for anything else.
  static kit::Ref<kit::Dictionary> dictionaryWithJsonString(const kit::Ref<kit::String>& json);
  static kit::Ref<kit::Array> arrayWithJsonString(const kit::Ref<kit::String>& json);
  // Stops observing the page's content size; a second call logs.
  void removeWebViewObserver();
  // The answer to "get_remark" for a role description: the compact text.
  static std::string remarkAnswer(const kit::Ref<kit::String>& userInfo);
  // What the page posted to "eventComplete".
  void didReceiveEventComplete(const kit::Id& body);

  // ---- Parts
  const kit::Ref<kit::ScrollView>& welfareView() const { return welfareView_; }
  const kit::Ref<kit::View>& dayGiftView() const { return dayGiftView_; }
  const kit::Ref<kit::Label>& dayLabel() const { return dayLabel_; }
  const kit::Ref<kit::Label>& titleLabel() const { return titleLabel_; }
  const kit::Ref<kit::View>& itemView() const { return itemView_; }
  const kit::Ref<kit::Button>& closeBtn() const { return closeBtn_; }
  const kit::Ref<kit::WebView>& wkWebView() const { return wkWebView_; }
  const kit::Ref<kit::Dictionary>& datadic() const { return datadic_; }

  void layoutSubviews() override;

  // ---- Web view delegates
  void didReceiveScriptMessage(kit::UserContentController&, const kit::Ref<kit::ScriptMessage>& message) override;
  void didFinishNavigation(kit::WebView& webView, const kit::Ref<kit::Navigation>& navigation) override;
  void didFailProvisionalNavigation(kit::WebView& webView, const kit::Ref<kit::Navigation>& navigation,
                                    const kit::Ref<kit::Error>& error) override;
  void runJavaScriptAlertPanel(kit::WebView&, const std::string& message, const kit::FrameInfo&,
                               std::function<void()> completionHandler) override;
  void runJavaScriptConfirmPanel(kit::WebView&, const std::string& message, const kit::FrameInfo&,
                                 std::function<void(bool)> completionHandler) override;
  void runJavaScriptTextInputPanel(kit::WebView&, const std::string& prompt, const std::optional<std::string>&,
                                   const kit::FrameInfo&,
                                   std::function<void(std::optional<std::string>)> completionHandler) override;

 private:
  void p_setupUI();
  void dailyGiftAnswered(const kit::Id& answer);
  void offerAnswered(const kit::Id& answer);
  void claimAnswered(const kit::Id& answer);
  void hideSection();
  void afterFreeVideo();
  void contentSizeChanged(kit::Size size);
  void showTiles(const kit::Ref<kit::Array>& items);
  double W() const;
  double H() const;

  kit::Ref<kit::String> userInfo_;
  std::function<void()> closeBlock_;
  kit::Ref<kit::ScrollView> welfareView_;
  kit::Ref<kit::View> dayGiftView_, itemView_;
  kit::Ref<kit::Label> dayLabel_, titleLabel_;
  kit::Ref<kit::Button> closeBtn_;
  kit::Ref<kit::WebView> wkWebView_;
  kit::Ref<kit::Dictionary> datadic_;
};
