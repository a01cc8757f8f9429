// The vouchers tab. See nuva_voucher_view.h.

#include "channel/store/nuva_voucher_view.h"

#include <cmath>

#include "channel/core/nuva_data_format.h"
#include "channel/core/nuva_log.h"
#include "channel/core/nuva_lucky_player_item.h"
#include "channel/core/nuva_network_manager.h"
#include "channel/store/nuva_free_vedio_view.h"
#include "channel/store/nuva_reward_strip.h"
#include "channel/store/nuva_store_support.h"
#include "config/client_configuration.h"
#include "kit/dispatch/bind_post.h"
#include "kit/dispatch/queue.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/log.h"
#include "kit/foundation/values.h"
#include "kit/ui/font.h"
#include "kit/ui/screen.h"
#include "kit/ui/text_measure.h"
#include "kit/web/script_call.h"
#include "kit/web/web_view_configuration.h"
#include "ui/widgets/nuva_progress_hud.h"

namespace {

kit::Ref<kit::Color> accent() { return kit::Color::hex(0x11CCB1); }

constexpr const char* kWatchVideo = "观看视频领取道具";
constexpr const char* kViewportScript =
    "document.getElementsByName(\"viewport\")[0].content = \"width=self.webView.frame.size.width, "
    "initial-scale=1.0, minimum-scale=1.0, maximum-scale=1.0, user-scalable=no\";";

std::string removingCharacters(std::string text, std::string_view removed) {
  std::erase_if(text, [removed](char c) { return removed.find(c) != std::string_view::npos; });
  return text;
}

kit::Id parsedJSON(const std::string& text) {
  kit::Ref<kit::Error> error;
  auto value = kit::JSONSerialization::JSONObjectWithData(kit::Data::make(text), kit::JSONReadingMutableContainers,
                                                           &error);
  if (!value) kit::log("json解析失败：%@", error);
  return value;
}

}  // namespace

NUVAVoucherView::NUVAVoucherView() : kit::View(kit::Rect{}) {}

NUVAVoucherView::~NUVAVoucherView() { removeWebViewObserver(); }

kit::Ref<NUVAVoucherView> NUVAVoucherView::init() {
  auto tab = kit::make<NUVAVoucherView>();
  tab->p_setupUI();
  return tab;
}

double NUVAVoucherView::W() const { return kit::Screen::main()->bounds().width() - 90; }
double NUVAVoucherView::H() const { return kit::Screen::main()->bounds().height(); }

// ---- Building ---------------------------------------------------------------------------

void NUVAVoucherView::p_setupUI() {
  const double W = this->W(), H = this->H();
  welfareView_ = kit::ScrollView::make({15, 15, W, H - 105});
  welfareView_->setContentSize({W, 530});
  welfareView_->setShowsHorizontalScrollIndicator(true);
  welfareView_->setScrollEnabled(true);
  welfareView_->setBounces(false);
  addSubview(welfareView_);

  dayGiftView_ = kit::View::make({0, 0, W, kSectionHeight});
  dayGiftView_->setBackgroundColor(kit::Color::hex(0xCAECF8));
  dayGiftView_->setHidden(true);
  welfareView_->addSubview(dayGiftView_);

  dayLabel_ = kit::Label::make({0, 5, W, 30});
  dayLabel_->setFont(kit::Font::boldSystemFont(14));
  dayLabel_->setTextAlignment(kit::TextAlignment::Center);
  dayLabel_->setTextColor(accent());
  dayLabel_->setText("领取每日礼包");
  dayGiftView_->addSubview(dayLabel_);

  titleLabel_ = kit::Label::make({});
  titleLabel_->setFont(kit::Font::boldSystemFont(10));
  titleLabel_->setTextAlignment(kit::TextAlignment::Center);
  titleLabel_->setBackgroundColor(kit::Color::hex(0xF1F1F1));
  dayGiftView_->addSubview(titleLabel_);

  itemView_ = kit::View::make({0, 65, W, 85});
  welfareView_->addSubview(itemView_);

  kit::Weak<NUVAVoucherView> weak = weakSelf<NUVAVoucherView>();
  closeBtn_ = kit::Button::make({W / 2 - 90, 160, 180, 35});
  closeBtn_->setBackgroundColor(accent());
  closeBtn_->layer()->setCornerRadius(8);
  closeBtn_->layer()->setMasksToBounds(true);
  closeBtn_->setTitleColor(kit::Color::whiteColor());
  closeBtn_->titleLabel()->setFont(kit::Font::boldSystemFont(14));
  closeBtn_->setTitle("一键领取");
  closeBtn_->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->closeClick();
  });
  dayGiftView_->addSubview(closeBtn_);

  auto configuration = kit::WebViewConfiguration::make();
  auto self = selfAs<NUVAVoucherView>();
  // The controller holds its handlers weakly.
  configuration->userContentController()->addScriptMessageHandler(
      std::static_pointer_cast<kit::ScriptMessageHandler>(self), "eventComplete");
  wkWebView_ = kit::WebView::make({0, 0, W, H - 105}, configuration);
  wkWebView_->setBackgroundColor(kit::Color::whiteColor());
  wkWebView_->setUIDelegate(kit::Weak<kit::UIDelegate>(std::static_pointer_cast<kit::UIDelegate>(self)));
  wkWebView_->setNavigationDelegate(
      kit::Weak<kit::NavigationDelegate>(std::static_pointer_cast<kit::NavigationDelegate>(self)));
  wkWebView_->scrollView()->setContentInsetAdjustmentBehavior(kit::ScrollViewContentInsetAdjustmentBehavior::Never);
  welfareView_->addSubview(wkWebView_);
  wkWebView_->scrollView()->addObserver(self, "contentSize", [weak](const kit::KeyValueChange& change) {
    if (auto tab = weak.lock()) tab->contentSizeChanged(change.newValue<kit::Size>());
  });
}

// ---- The gift section -------------------------------------------------------------------

void NUVAVoucherView::setUserInfo(const kit::Ref<kit::String>& userInfo) {
  KIT_CHECK_MAIN_THREAD();
  userInfo_ = userInfo ? kit::str(userInfo->utf8()) : nullptr;
  kit::Id role = NUVADataFormat::dictionaryWithJsonString(userInfo_);
  kit::Weak<NUVAVoucherView> weak = weakSelf<NUVAVoucherView>();
  NUVANetworkManager::getWithQuery(
      NUVAStoreSupport::gameURL("luck/index"),
      {{"game_id", role["game_id"]},
       {"role_id", role["super_role_id"]},
       {"server_id", role["service_id"]},
       {"time", kit::str("day")}},
      [weak](kit::Id answer) {
        if (auto self = weak.lock()) self->dailyGiftAnswered(answer);
      },
      [](kit::Ref<kit::String>) {});
}

void NUVAVoucherView::dailyGiftAnswered(const kit::Id& answer) {
  kit::log("voucher daily gift: %@", NUVALog::describe(answer));
  if (kit::describe(answer["status"]) != "200") {
    getfreevideogiftDataWithSucessData();
    return;
  }
  auto items = kit::as<kit::Array>(answer["data"]["items"]);
  if (items && items->count() > 0) setPlayerDic(kit::as<kit::Dictionary>(answer["data"]));
}

void NUVAVoucherView::setPlayerDic(const kit::Ref<kit::Dictionary>& record) {
  KIT_CHECK_MAIN_THREAD();
  const double W = this->W(), H = this->H();
  kit::Id gift = record;
  dayGiftView_->setHidden(false);
  titleLabel_->setHidden(false);
  // "title-content", of the parts that read: the title sits on a grey
  // plate, where blanks, a number or a flag would read nothing.
  const std::string head = kit::readableText(gift["title"]), tail = kit::readableText(gift["content"]);
  const std::string title = head.empty() || tail.empty() ? head + tail : head + "-" + tail;
  titleLabel_->setText(title);
  kit::TextAttributes attributes;
  attributes.font = kit::Font::boldSystemFont(10);
  const kit::Rect measured =
      kit::boundingRectWithSize(title, {W, 1e7}, kit::StringDrawingUsesLineFragmentOrigin, attributes);
  const double tw = std::ceil(measured.width()) + 1, th = std::ceil(measured.height()) + 8;
  titleLabel_->setFrame(W >= tw + 10 ? kit::Rect{W / 2 - tw / 2 - 5, 35, tw + 8, th} : kit::Rect{5, 35, W - 10, th});
  showTiles(kit::as<kit::Array>(gift["items"]));
  wkWebView_->setFrame({0, kPageTopWithSection, W, H - 320});
  welfareView_->setContentSize({W, wkWebView_->scrollView()->contentSize().height + kPageTopWithSection});
}

void NUVAVoucherView::showTiles(const kit::Ref<kit::Array>& items) {
  if (!items) return;
  const auto form = NUVAStoreOverlays::currentForm();
  size_t index = 0;
  for (const kit::Id& item : *items) {
    auto tile = NUVALuckyPlayerItem::init();
    itemView_->addSubview(tile);
    tile->setModel(NUVAFixedGiftModel::withValues(item));
    NUVARewardStrip::place(*tile, index++, W(), 0, form);
  }
}

void NUVAVoucherView::getfreevideogiftDataWithSucessData(std::function<void(kit::Id)>) {
  KIT_CHECK_MAIN_THREAD();
  kit::Id role = NUVADataFormat::dictionaryWithJsonString(userInfo_);
  const bool portrait = NUVAStoreOverlays::currentForm() == NUVAOverlayForm::Portrait;
  kit::Weak<NUVAVoucherView> weak = weakSelf<NUVAVoucherView>();
  NUVANetworkManager::getWithQuery(
      ClientConfiguration::shared().urlForService(ClientConfiguration::kChannelVideoBase, "freevideogift/index"),
      {{"game_id", role["game_id"]},
       {"platform_id", role["channel_id"]},
       {"role_id", role["super_role_id"]},
       {"server_id", role["service_id"]},
       {"screen_type", kit::str(portrait ? "2" : "1")}},
      [weak](kit::Id answer) {
        // Handed to the main queue once more, as the offer always was.
        kit::Queue::main().async([weak, answer] {
          if (auto self = weak.lock()) self->offerAnswered(answer);
        });
      },
      [](kit::Ref<kit::String>) {});
}

void NUVAVoucherView::offerAnswered(const kit::Id& answer) {
  kit::log("voucher free video offer: %@", NUVALog::describe(answer));
  auto offer = kit::as<kit::Dictionary>(answer["data"]);
  if (kit::describe(answer["status"]) != "200" || !offer) {
    hideSection();
    return;
  }
  datadic_ = offer;
  if (!(*offer)["is_get"]) return;
  if (kit::describe((*offer)["is_get"]) != "0") {
    hideSection();
    return;
  }
  const double W = this->W(), H = this->H();
  dayGiftView_->setHidden(false);
  titleLabel_->setHidden(true);
  wkWebView_->setFrame({0, kPageTopWithSection, W, H - 320});
  welfareView_->setContentSize({W, wkWebView_->scrollView()->contentSize().height + kPageTopWithSection});
  dayLabel_->setText("点击观看视频, 即可免费领取道具");
  closeBtn_->setTitle(kWatchVideo);
  const auto tiles = itemView_->subviews();
  for (const auto& tile : tiles) tile->removeFromSuperview();
  itemView_->setFrame({0, 55, W, 85});
  showTiles(kit::as<kit::Array>(NUVADataFormat::arrayWithJsonString(kit::text((*offer)["items"]))));
}

void NUVAVoucherView::hideSection() {
  dayGiftView_->setHidden(true);
  wkWebView_->setFrame({0, 0, W(), H() - 105});
  welfareView_->setContentSize({W(), wkWebView_->scrollView()->contentSize().height});
}

void NUVAVoucherView::closeClick() {
  KIT_CHECK_MAIN_THREAD();
  if (closeBtn_->currentTitle() == kWatchVideo) {
    auto video = NUVAFreeVedioView::init();
    video->setPlayerDic(datadic_);
    video->setUserInfo(userInfo_);
    kit::Weak<NUVAVoucherView> weak = weakSelf<NUVAVoucherView>();
    video->setCloseBlock([weak] {
      if (auto self = weak.lock()) self->afterFreeVideo();
    });
    video->show();
    return;
  }
  kit::Id role = NUVADataFormat::dictionaryWithJsonString(userInfo_);
  kit::Weak<NUVAVoucherView> weak = weakSelf<NUVAVoucherView>();
  NUVANetworkManager::getWithQuery(
      NUVAStoreSupport::gameURL("luck/get"),
      {{"game_id", role["game_id"]},
       {"role_id", role["super_role_id"]},
       {"server_id", role["service_id"]},
       {"time", kit::str("day")}},
      [weak](kit::Id answer) {
        if (auto self = weak.lock()) self->claimAnswered(answer);
      },
      [](kit::Ref<kit::String>) {});
}

void NUVAVoucherView::claimAnswered(const kit::Id& answer) {
  if (kit::describe(answer["status"]) == "200") {
    NUVAProgressHUD::showInfoWithStatus(kit::str("领取成功"));
    getfreevideogiftDataWithSucessData();
    return;
  }
  NUVAProgressHUD::showInfoWithStatus(kit::str("领取失败"));
}

void NUVAVoucherView::afterFreeVideo() {
  hideSection();
  if (closeBlock_) closeBlock_();
}

// ---- The voucher page -------------------------------------------------------------------

void NUVAVoucherView::layoutSubviews() {
  kit::View::layoutSubviews();
  auto address = ClientConfiguration::shared().urlForService(ClientConfiguration::kChannelActivityHost,
                                                            "128voucher/index.html?os_type=2");
  if (auto url = kit::URL::URLWithString(address)) wkWebView_->loadRequest(kit::URLRequest::make(url));
}

void NUVAVoucherView::contentSizeChanged(kit::Size size) {
  kit::Rect frame = wkWebView_->frame();
  wkWebView_->setFrame({frame.minX(), frame.minY(), frame.width(), size.height});
  welfareView_->setContentSize({W(), size.height + kPageTopWithSection});
}

void NUVAVoucherView::removeWebViewObserver() {
  if (!wkWebView_) return;
  try {
    wkWebView_->scrollView()->removeObserver(this, "contentSize");
  } catch (const kit::Exception&) {
    kit::log("多次删除kvo 报错了");
  }
}

void NUVAVoucherView::didFinishNavigation(kit::WebView& webView, const kit::Ref<kit::Navigation>&) {
  kit::log("页面加载完成%s", __func__);
  webView.evaluateJavaScript(kViewportScript, [](kit::Id result, kit::Ref<kit::Error> error) {
    if (error) {
      kit::log("error %@", error);
    } else {
      kit::log("complete %@", result);
    }
  });
}

void NUVAVoucherView::didFailProvisionalNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&,
                                                   const kit::Ref<kit::Error>&) {
  kit::log("%s", __func__);
}

void NUVAVoucherView::runJavaScriptAlertPanel(kit::WebView&, const std::string& message, const kit::FrameInfo&,
                                              std::function<void()> completionHandler) {
  kit::log("%s   message=%s", __func__, message.c_str());
  completionHandler();
}

void NUVAVoucherView::runJavaScriptConfirmPanel(kit::WebView&, const std::string& message, const kit::FrameInfo&,
                                                std::function<void(bool)> completionHandler) {
  kit::log("%s   message=%s", __func__, message.c_str());
  completionHandler(true);
}

void NUVAVoucherView::runJavaScriptTextInputPanel(kit::WebView&, const std::string& prompt,
                                                  const std::optional<std::string>&, const kit::FrameInfo&,
                                                  std::function<void(std::optional<std::string>)> completionHandler) {
  kit::log("%s   message=%s", __func__, prompt.c_str());
  // The page waits for an answer: it gets no text.
  completionHandler(std::nullopt);
}

void NUVAVoucherView::didReceiveScriptMessage(kit::UserContentController&, const kit::Ref<kit::ScriptMessage>& message) {
  if (message->name() == "eventComplete") didReceiveEventComplete(message->body());
}

void NUVAVoucherView::didReceiveEventComplete(const kit::Id& body) {
  auto message = dictionaryWithJsonString(kit::str(kit::describe(body)));
  if (!message || kit::describe((*message)["action"]) != "get_remark") return;
  callJS(kit::str(remarkAnswer(userInfo_)));
}

std::string NUVAVoucherView::remarkAnswer(const kit::Ref<kit::String>& userInfo) {
  auto role = dictionaryWithJsonString(userInfo);
  if (!role) return "{}";
  auto data = kit::JSONSerialization::dataWithJSONObject(kit::dict({{"data", role}}), kit::JSONWritingPrettyPrinted);
  if (!data) return "{}";
  return removingCharacters(data->toString(), "\t\n \r");
}

void NUVAVoucherView::callJS(const kit::Ref<kit::String>& text) {
  const std::string script = kit::scriptCall("CallbackFromIOS", kit::describe(text));
  kit::Queue::main().async([weak = weakSelf<NUVAVoucherView>(), script] {
    auto self = weak.lock();
    if (self) self->wkWebView_->evaluateJavaScript(script);
  });
}

kit::Ref<kit::Dictionary> NUVAVoucherView::dictionaryWithJsonString(const kit::Ref<kit::String>& json) {
  if (!json) return nullptr;
  return kit::as<kit::Dictionary>(parsedJSON(removingCharacters(json->utf8(), "\t\n\r")));
}

kit::Ref<kit::Array> NUVAVoucherView::arrayWithJsonString(const kit::Ref<kit::String>& json) {
  if (!json) return nullptr;
  return kit::as<kit::Array>(parsedJSON(json->utf8()));
}
