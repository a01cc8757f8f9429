// VANUNoticeView: the channel's launch notice, a modal card over the whole
// game window with an orange title bar, a white body and one acknowledge
// button ("知道了"). The body takes one of three forms by the notice type:
// "1" plain text in a read-only text view, "2" a web page loaded from the
// notice address, anything else a text with one tappable link, read from a
// small JSON document {"content", "url_content", "url"}.
//
// The creator fills in the four texts and calls show(); the card then lives
// on the key window (the window holds it) until the player taps "知道了".
// The content is applied once, at the first layout pass after show().
//
//   auto notice = VANUNoticeView::init();
//   notice->setNotice_url(url);
//   notice->setNotice_type(kit::str("1"));
//   notice->setNotice_content(text);
//   notice->setNotice_title(title);
//   notice->show();
//
// Links the notice opens (the text link and a notice page's "openurl"
// message) go to the shared application's openURL, except malformed
// addresses and the client's own payment return scheme.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "kit/foundation/string.h"
#include "kit/ui/button.h"
#include "kit/ui/gesture_recognizer.h"
#include "kit/ui/label.h"
#include "kit/ui/text_view.h"
#include "kit/ui/view.h"
#include "kit/web/web_view.h"

class VANUNoticeView : public kit::View,
                       public kit::UIDelegate,
                       public kit::NavigationDelegate,
                       public kit::TextViewDelegate,
                       public kit::ScriptMessageHandler {
 public:
  // The page's script message the card answers.
  static constexpr const char* kScriptMessageName = "eventComplete";
  // The marker value of the link attribute in the link form.
  static constexpr const char* kLinkMarker = "wenzilianjie://";
  // The body font, and the floor of the shrinking that fits a long text.
  static constexpr double kBodyFontSize = 18;
  static constexpr double kMinimumFontSize = 10;

  // A card built with the zero frame; all sizes come from the screen.
  static kit::Ref<VANUNoticeView> init();
  static kit::Ref<VANUNoticeView> make() { return init(); }
  VANUNoticeView();

  // ---- Inputs (copied; set before show)
  const kit::Ref<kit::String>& notice_url() const { return notice_url_; }
  void setNotice_url(const kit::Ref<kit::String>& v) { notice_url_ = copied(v); }
  const kit::Ref<kit::String>& notice_type() const { return notice_type_; }
  void setNotice_type(const kit::Ref<kit::String>& v) { notice_type_ = copied(v); }
  const kit::Ref<kit::String>& notice_content() const { return notice_content_; }
  void setNotice_content(const kit::Ref<kit::String>& v) { notice_content_ = copied(v); }
  const kit::Ref<kit::String>& notice_title() const { return notice_title_; }
  void setNotice_title(const kit::Ref<kit::String>& v) { notice_title_ = copied(v); }

  // ---- Parts
  const kit::Ref<kit::Label>& titleView() const { return titleView_; }
  const kit::Ref<kit::View>& bodyView() const { return bodyView_; }
  const kit::Ref<kit::TextView>& textView() const { return textView_; }
  const kit::Ref<kit::WebView>& wkWebView() const { return wkWebView_; }
  const kit::Ref<kit::View>& lineView() const { return lineView_; }
  const kit::Ref<kit::Button>& sureButton() const { return sureButton_; }
  // The dimming cover, while it is on a window.
  kit::Ref<kit::Button> coverView() const { return coverView_.lock(); }
  // The link's text and target in the link form ("(null)" when absent).
  const kit::Ref<kit::String>& contentStr() const { return contentStr_; }
  const kit::Ref<kit::String>& contentUrl() const { return contentUrl_; }

  // ---- Operations
  // Puts the cover and the card on the key window.
  void show();
  // The acknowledge button's action: removes the cover and the card.
  void sureBtnClick();
  // Centres a short text vertically; shrinks a long one (down to the floor).
  void contentSizeToFit();
  // JSON text to a dictionary after removing tabs, line feeds and carriage
  // returns; nil for nil text, text that does not parse (logged) or a value
  // that is not an object.
  kit::Ref<kit::Dictionary> dictionaryWithJsonString(const kit::Ref<kit::String>& json) const;
  // Whether the notice may open this address: a well-formed URL with a
  // scheme that is not the client's payment return scheme.
  static bool isOpenableLink(const std::string& url);

  void layoutSubviews() override;

  // ---- Text view: opens the link's address and answers YES.
  std::optional<bool> shouldInteractWithURL(kit::TextView& textView, const std::string& url,
                                            kit::Range range) override;

  // ---- Web view
  void didFinishNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&) override {}
  void didFailProvisionalNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&,
                                    const kit::Ref<kit::Error>&) override {}
  void runJavaScriptConfirmPanel(kit::WebView& webView, const std::string& message, const kit::FrameInfo& frame,
                                 std::function<void(bool)> completionHandler) override;
  void runJavaScriptAlertPanel(kit::WebView& webView, const std::string& message, const kit::FrameInfo& frame,
                               std::function<void()> completionHandler) override;
  void runJavaScriptTextInputPanel(kit::WebView& webView, const std::string& prompt,
                                   const std::optional<std::string>& defaultText, const kit::FrameInfo& frame,
                                   std::function<void(std::optional<std::string>)> completionHandler) override;
  void didReceiveScriptMessage(kit::UserContentController& controller,
                               const kit::Ref<kit::ScriptMessage>& message) override;

 private:
  // Builds the parts (the platform's initWithFrame:).
  void initWithFrame(const kit::Rect& frame);
  void applyContent();
  void showText(const kit::Ref<kit::String>& text);
  void showPage();
  void showLinkText(const kit::Ref<kit::Dictionary>& content);
  // The link tap recognizer's handler.
  void linkTapped(kit::GestureRecognizer& recognizer);
  void openLink(const std::string& url) const;
  static kit::Ref<kit::String> copied(const kit::Ref<kit::String>& text) {
    return text ? kit::String::make(text->utf8()) : nullptr;
  }

  kit::Ref<kit::String> notice_url_, notice_type_, notice_content_, notice_title_;
  kit::Ref<kit::Label> titleView_;
  kit::Ref<kit::View> bodyView_;
  kit::Ref<kit::TextView> textView_;
  kit::Ref<kit::WebView> wkWebView_;
  kit::Ref<kit::View> lineView_;
  kit::Ref<kit::Button> sureButton_;
  kit::Weak<kit::Button> coverView_;
  kit::Ref<kit::String> contentStr_, contentUrl_;
  bool shown_ = false;
  bool contentApplied_ = false;
};
