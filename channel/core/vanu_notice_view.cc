// The launch notice card. See vanu_notice_view.h.

#include "channel/core/vanu_notice_view.h"

#include <algorithm>

#include "channel/core/nuva_data_format.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/url.h"
#include "kit/foundation/values.h"
#include "kit/net/url_request.h"
#include "kit/ui/application.h"
#include "kit/ui/font.h"
#include "kit/ui/screen.h"
#include "kit/ui/visual_effect_view.h"
#include "kit/ui/window.h"

namespace {

// The payment return scheme of this client: a notice never opens it, so a
// notice cannot fake a payment result.
constexpr std::string_view kPaymentReturnScheme = "tolmixwalletpayscheme";

// The shorter side of the main screen.
double shorterScreenSide() {
  const kit::Rect screen = kit::Screen::main()->bounds();
  return std::min(screen.width(), screen.height());
}

kit::Ref<kit::Color> noticeOrange() { return kit::Color::rgba(246 / 255.0, 71 / 255.0, 32 / 255.0, 1); }

// The body text with the notice's line spacing and font.
kit::Ref<kit::AttributedString> spacedBody(const std::string& text) {
  auto paragraph = kit::ParagraphStyle::make();
  paragraph->lineSpacing = 5;
  kit::TextAttributes attributes;
  attributes.paragraphStyle = paragraph;
  attributes.font = kit::Font::systemFont(VANUNoticeView::kBodyFontSize);
  return kit::AttributedString::make(text, attributes);
}

std::string lowercaseASCII(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace

kit::Ref<VANUNoticeView> VANUNoticeView::init() {
  auto view = kit::make<VANUNoticeView>();
  view->initWithFrame({});
  return view;
}

VANUNoticeView::VANUNoticeView() : kit::View(kit::Rect{}) {}

// ---- Building ---------------------------------------------------------------------

void VANUNoticeView::initWithFrame(const kit::Rect& frame) {
  setFrame(frame);
  const double S = shorterScreenSide();
  const double W = S - 30;  // the width of every part
  const double H = S - 180;  // the body's height

  titleView_ = kit::Label::make({0, 0, W, 44});
  titleView_->setBackgroundColor(noticeOrange());
  titleView_->setTextColor(kit::Color::whiteColor());
  titleView_->setTextAlignment(kit::TextAlignment::Center);
  titleView_->setFont(kit::Font::boldSystemFont(20));
  addSubview(titleView_);

  bodyView_ = kit::View::make({0, 45, W, H});
  bodyView_->setBackgroundColor(kit::Color::whiteColor());
  addSubview(bodyView_);

  textView_ = kit::TextView::make({20, 0, S - 70, H});
  textView_->setTextColor(kit::Color::blackColor());
  textView_->setTextAlignment(kit::TextAlignment::Left);
  textView_->setEditable(false);
  textView_->setHidden(true);
  bodyView_->addSubview(textView_);

  auto configuration = kit::WebViewConfiguration::make();
  configuration->setUserContentController(kit::UserContentController::make());
  auto self = selfAs<VANUNoticeView>();
  configuration->userContentController()->addScriptMessageHandler(self, kScriptMessageName);
  wkWebView_ = kit::WebView::make({0, 0, W, H}, configuration);
  wkWebView_->setBackgroundColor(kit::Color::whiteColor());
  wkWebView_->scrollView()->setContentInsetAdjustmentBehavior(kit::ScrollViewContentInsetAdjustmentBehavior::Never);
  wkWebView_->setUIDelegate(self);
  wkWebView_->setNavigationDelegate(self);
  bodyView_->addSubview(wkWebView_);

  lineView_ = kit::View::make({0, S - 135, W, 1});
  lineView_->setBackgroundColor(kit::Color::rgba(241 / 255.0, 241 / 255.0, 241 / 255.0, 1));
  addSubview(lineView_);

  sureButton_ = kit::Button::make({0, S - 134, W, 44});
  sureButton_->setBackgroundColor(kit::Color::whiteColor());
  sureButton_->setTitle("知道了", kit::ControlStateNormal);
  sureButton_->titleLabel()->setFont(kit::Font::systemFont(18));
  sureButton_->setTitleColor(noticeOrange(), kit::ControlStateNormal);
  kit::Weak<VANUNoticeView> weak = self;
  sureButton_->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto card = weak.lock()) card->sureBtnClick();
  });
  addSubview(sureButton_);
}

// ---- Showing and closing --------------------------------------------------------------

void VANUNoticeView::show() {
  auto window = kit::Application::shared()->keyWindow();
  if (!window) return;
  const double S = shorterScreenSide();

  auto cover = kit::Button::make(window->bounds());
  cover->setBackgroundColor(kit::Color::white(0, 0.5));
  auto blur = kit::VisualEffectView::make(kit::BlurEffect::withStyle(kit::BlurEffectStyle::Dark), cover->bounds());
  blur->setAlpha(0.5);
  cover->addSubview(blur);
  window->addSubview(cover);
  coverView_ = cover;

  setFrame({10, 0, S - 20, S - 80});
  setCenter(window->center());
  layer()->setCornerRadius(12);
  window->addSubview(selfAs<VANUNoticeView>());
  shown_ = true;
  setNeedsLayout();
}

void VANUNoticeView::sureBtnClick() {
  auto keep = selfAs<VANUNoticeView>();
  if (auto cover = coverView_.lock()) cover->removeFromSuperview();
  removeFromSuperview();
}

// ---- Content ----------------------------------------------------------------------------

void VANUNoticeView::layoutSubviews() {
  kit::View::layoutSubviews();
  // Applied once: a second pass must not stack another tap recognizer.
  if (!shown_ || contentApplied_) return;
  contentApplied_ = true;
  applyContent();
}

void VANUNoticeView::applyContent() {
  titleView_->setText(kit::shownText(notice_title_));
  const std::string type = kit::describe(notice_type_);
  if (type == "1") {
    showText(notice_content_);
  } else if (type == "2") {
    showPage();
  } else if (auto content = dictionaryWithJsonString(notice_content_)) {
    showLinkText(content);
  } else {
    // Not a link document: the text as it came, without a link.
    showText(notice_content_);
  }
}

void VANUNoticeView::showText(const kit::Ref<kit::String>& text) {
  textView_->setHidden(false);
  wkWebView_->setHidden(true);
  textView_->setAttributedText(spacedBody(kit::shownText(text)));
  contentSizeToFit();
}

void VANUNoticeView::showPage() {
  textView_->setHidden(true);
  wkWebView_->setHidden(false);
  if (auto url = notice_url_ ? kit::URL::URLWithString(notice_url_) : nullptr) {
    wkWebView_->loadRequest(kit::URLRequest::make(url));
  }
}

void VANUNoticeView::showLinkText(const kit::Ref<kit::Dictionary>& content) {
  const kit::Id document = content;
  const std::string body = kit::shownText(document["content"]);
  contentStr_ = kit::str(kit::shownText(document["url_content"]));
  contentUrl_ = kit::text(document["url"]);

  textView_->setHidden(false);
  wkWebView_->setHidden(true);
  textView_->setAttributedText(spacedBody(body));
  contentSizeToFit();

  kit::TextAttributes plain;
  plain.font = kit::Font::systemFont(kBodyFontSize);
  auto linked = kit::AttributedString::make(body, plain);
  const kit::Range range = kit::String::make(body)->rangeOfString(contentStr_->utf8());
  if (!contentStr_->empty() && range.location != kit::NotFound) {
    kit::TextAttributes link;
    link.link = kLinkMarker;
    linked->addAttributes(link, range);
  }
  textView_->setLinkTextColor(noticeOrange());
  textView_->setAttributedText(linked);
  // Fit again: the text shown now has no line spacing.
  textView_->setContentInset({});
  contentSizeToFit();
  textView_->setEditable(false);
  textView_->setScrollEnabled(false);
  textView_->setSelectable(false);
  textView_->setDelegate(selfAs<VANUNoticeView>());
  kit::Weak<VANUNoticeView> weak = selfAs<VANUNoticeView>();
  textView_->addGestureRecognizer(kit::TapGestureRecognizer::make([weak](kit::GestureRecognizer& recognizer) {
    if (auto card = weak.lock()) card->linkTapped(recognizer);
  }));
}

void VANUNoticeView::contentSizeToFit() {
  if (textView_->text().empty()) return;
  const double frameHeight = textView_->frame().height();
  kit::Size contentSize = textView_->contentSize();
  if (contentSize.height <= frameHeight) {
    const double top = (frameHeight - contentSize.height) / 2;
    textView_->setContentInset({top, 0, 0, 0});
    textView_->setContentOffset({0, -top});
  } else {
    textView_->setContentInset({});
    textView_->setContentOffset({0, 0});
    for (double size = kBodyFontSize; contentSize.height > frameHeight && size >= kMinimumFontSize; --size) {
      textView_->setFont(kit::Font::named("Helvetica Neue", size));
      contentSize = textView_->contentSize();
    }
  }
  textView_->setContentSize(contentSize);
}

// ---- Links ------------------------------------------------------------------------------

void VANUNoticeView::linkTapped(kit::GestureRecognizer& recognizer) {
  if (!dynamic_cast<kit::TapGestureRecognizer*>(&recognizer)) return;
  const kit::Point location = recognizer.locationInView(textView_.get());
  const kit::TextPosition position = textView_->closestPositionToPoint(location);
  if (textView_->textStylingAtPosition(position, kit::TextStorageDirection::Forward).link.empty()) return;
  // The closest position of a point in the empty space around the text can
  // still be a link character: only a tap on the link's own glyphs counts.
  if (!textView_->linkAtPoint(location)) return;
  const kit::Range range = kit::String::make(textView_->text())->rangeOfString(contentStr_ ? contentStr_->utf8() : "");
  shouldInteractWithURL(*textView_, contentUrl_ ? contentUrl_->utf8() : "", range);
}

std::optional<bool> VANUNoticeView::shouldInteractWithURL(kit::TextView&, const std::string& url, kit::Range) {
  openLink(url);
  return true;
}

bool VANUNoticeView::isOpenableLink(const std::string& url) {
  auto parsed = kit::URL::URLWithString(url);
  if (!parsed) return false;
  auto scheme = parsed->scheme();
  if (!scheme || scheme->empty()) return false;
  return !lowercaseASCII(scheme->utf8()).starts_with(kPaymentReturnScheme);
}

void VANUNoticeView::openLink(const std::string& url) const {
  if (isOpenableLink(url)) kit::Application::shared()->openURL(url);
}

// ---- JSON -------------------------------------------------------------------------------

kit::Ref<kit::Dictionary> VANUNoticeView::dictionaryWithJsonString(const kit::Ref<kit::String>& json) const {
  if (!json) return nullptr;
  std::string cleaned = json->utf8();
  std::erase_if(cleaned, [](char c) { return c == '\t' || c == '\n' || c == '\r'; });
  return kit::as<kit::Dictionary>(NUVADataFormat::dictionaryWithJsonString(kit::String::make(cleaned)));
}

// ---- The notice page --------------------------------------------------------------------

void VANUNoticeView::runJavaScriptConfirmPanel(kit::WebView&, const std::string&, const kit::FrameInfo&,
                                               std::function<void(bool)> completionHandler) {
  completionHandler(true);
}

void VANUNoticeView::runJavaScriptAlertPanel(kit::WebView&, const std::string&, const kit::FrameInfo&,
                                             std::function<void()> completionHandler) {
  completionHandler();
}

void VANUNoticeView::runJavaScriptTextInputPanel(kit::WebView&, const std::string&,
                                                 const std::optional<std::string>&, const kit::FrameInfo&,
                                                 std::function<void(std::optional<std::string>)> completionHandler) {
  completionHandler(std::nullopt);
}

void VANUNoticeView::didReceiveScriptMessage(kit::UserContentController&, const kit::Ref<kit::ScriptMessage>& message) {
  if (!message || message->name() != kScriptMessageName) return;
  // A page may post the JSON text or the object itself.
  kit::Ref<kit::Dictionary> body = kit::as<kit::Dictionary>(message->body());
  if (!body) body = dictionaryWithJsonString(kit::text(message->body()));
  if (!body) return;
  const kit::Id bodyValue = body;
  if (kit::describe(bodyValue["action"]) != "openurl") return;
  const kit::Id dataValue = bodyValue["data"];
  kit::Ref<kit::Dictionary> data = kit::as<kit::Dictionary>(dataValue);
  if (!data) data = dictionaryWithJsonString(kit::text(dataValue));
  if (!data) return;
  const kit::Id dataObject = data;
  openLink(kit::describe(dataObject["link"]));
}
