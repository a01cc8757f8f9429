// The time store tab. See nuva_time_store_view.h.

#include "channel/store/nuva_time_store_view.h"

#include <atomic>
#include <climits>
#include <cmath>

#include "channel/core/jhl_core_entity.h"
#include "channel/core/nuva_countdown.h"
#include "channel/core/nuva_data_format.h"
#include "channel/core/nuva_log.h"
#include "channel/core/nuva_lucky_player_view.h"
#include "channel/core/nuva_network_manager.h"
#include "channel/store/nuva_store_replies.h"
#include "channel/store/nuva_store_support.h"
#include "kit/foundation/format.h"
#include "kit/foundation/log.h"
#include "kit/foundation/values.h"
#include "kit/ui/font.h"
#include "kit/ui/screen.h"

namespace {

// The measures of one form. A = S_w - 80; B = S_h - 80 (landscape) or
// S_h - 140 (portrait). The name label and the table lie in the backdrop,
// the other labels on the tab.
struct TimeStoreLayout {
  double bInset;
  const char* backdropPicture;
  kit::Rect (*backdrop)(double A, double B);
  kit::Rect (*table)(double A, double B);
  kit::Rect (*notice)(double A, double B);
  bool noticeBold;
  double noticeFontSize;
  kit::Rect (*limitNote)(double A);
  kit::Rect (*count)(double A);
  double redFontSize;  // the note and the countdown, both bold
};

const TimeStoreLayout& layoutOf(NUVAOverlayForm form) {
  static const TimeStoreLayout landscape{
      .bInset = 80,
      .backdropPicture = "timestorebg",
      .backdrop = [](double A, double B) { return kit::Rect{10, 5, A, B - 5}; },
      .table = [](double A, double B) { return kit::Rect{20, 42, A - 40, B - 62}; },
      .notice = [](double A, double B) { return kit::Rect{5, B - 10, A, 30}; },
      .noticeBold = true,
      .noticeFontSize = 10,
      .limitNote = [](double A) { return kit::Rect{A - 180, 10, 160, 20}; },
      .count = [](double A) { return kit::Rect{A - 180, 30, 160, 20}; },
      .redFontSize = 12,
  };
  static const TimeStoreLayout portrait{
      .bInset = 140,
      .backdropPicture = "timestorebgver",
      .backdrop = [](double A, double B) { return kit::Rect{10, 10, A, B}; },
      .table = [](double A, double B) { return kit::Rect{20, 70, A - 40, B - 105}; },
      .notice = [](double A, double B) { return kit::Rect{5, B, A, 30}; },
      .noticeBold = false,
      .noticeFontSize = 9,
      .limitNote = [](double A) { return kit::Rect{A - 150, 40, 145, 12}; },
      .count = [](double A) { return kit::Rect{A - 150, 55, 145, 12}; },
      .redFontSize = 9,
  };
  return form == NUVAOverlayForm::Portrait ? portrait : landscape;
}

kit::Ref<kit::Color> accent() { return kit::Color::rgba(17 / 255.0, 204 / 255.0, 177 / 255.0, 1); }

kit::Ref<kit::String> nextCountdownKey() {
  static std::atomic<long> next{1};
  return kit::format("timeStoreRefresh%ld", next++);
}

}  // namespace

// ---- Building ---------------------------------------------------------------------------

NUVATimeStoreTab::NUVATimeStoreTab(NUVAOverlayForm form)
    : kit::View(kit::Rect{}), form_(form), countdownKey_(nextCountdownKey()) {}

NUVATimeStoreTab::~NUVATimeStoreTab() { NUVACountdown::shareInstance()->cancelTimer(countdownKey_); }

kit::Ref<NUVATimeStoreView> NUVATimeStoreView::init() {
  auto tab = kit::make<NUVATimeStoreView>();
  tab->p_setupUI();
  return tab;
}

kit::Ref<NUVAVerticalTimeStoreView> NUVAVerticalTimeStoreView::init() {
  auto tab = kit::make<NUVAVerticalTimeStoreView>();
  tab->p_setupUI();
  return tab;
}

void NUVATimeStoreTab::p_setupUI() {
  const TimeStoreLayout& layout = layoutOf(form_);
  const kit::Rect screen = kit::Screen::main()->bounds();
  const double A = screen.width() - 80, B = screen.height() - layout.bInset;

  backdrop_ = kit::ImageView::make(layout.backdrop(A, B));
  backdrop_->setImage(NUVALightImage(layout.backdropPicture));
  backdrop_->setUserInteractionEnabled(true);
  addSubview(backdrop_);

  giftNameLabel_ = kit::Label::make({10, 10, A - 20, 20});
  giftNameLabel_->setFont(kit::Font::boldSystemFont(14));
  giftNameLabel_->setTextColor(accent());
  giftNameLabel_->setTextAlignment(kit::TextAlignment::Center);
  backdrop_->addSubview(giftNameLabel_);

  if (form_ == NUVAOverlayForm::Portrait) {
    giftVC_ = kit::make<NUVAVerticalGiftViewController>();
  } else {
    giftVC_ = kit::make<NUVAGiftViewController>();
  }
  giftVC_->tableView()->setFrame(layout.table(A, B));
  backdrop_->addSubview(giftVC_->tableView());

  // The texts the tab changes sit on a layer of their own that takes no
  // touches: a new text lays out its holder, and the tab's own layout
  // passes (each of which reads the menu) stay those of the tab.
  textLayer_ = kit::View::make(bounds());
  textLayer_->setUserInteractionEnabled(false);
  addSubview(textLayer_);

  limitlabel_ = kit::Label::make(layout.notice(A, B));
  limitlabel_->setNumberOfLines(0);
  limitlabel_->setTextColor(accent());
  limitlabel_->setTextAlignment(kit::TextAlignment::Center);
  limitlabel_->setFont(layout.noticeBold ? kit::Font::boldSystemFont(layout.noticeFontSize)
                                         : kit::Font::systemFont(layout.noticeFontSize));
  textLayer_->addSubview(limitlabel_);

  limitNoteLabel_ = kit::Label::make(layout.limitNote(A));
  limitNoteLabel_->setText("每种礼包限购1次");
  limitNoteLabel_->setTextColor(kit::Color::redColor());
  limitNoteLabel_->setTextAlignment(kit::TextAlignment::Right);
  limitNoteLabel_->setFont(kit::Font::boldSystemFont(layout.redFontSize));
  textLayer_->addSubview(limitNoteLabel_);

  countLabel_ = kit::Label::make(layout.count(A));
  countLabel_->setTextColor(kit::Color::redColor());
  countLabel_->setTextAlignment(kit::TextAlignment::Right);
  countLabel_->setFont(kit::Font::boldSystemFont(layout.redFontSize));
  textLayer_->addSubview(countLabel_);

  kit::NotificationCenter::defaultCenter()->addObserver(selfAs<NUVATimeStoreTab>(),
                                                        &NUVATimeStoreTab::giftPaySuccessData,
                                                        NUVAGIFTPAYSUCCESSNotification);
}

// ---- Inputs -----------------------------------------------------------------------------

void NUVATimeStoreTab::setUserInfo(const kit::Ref<kit::String>& userInfo) {
  KIT_CHECK_MAIN_THREAD();
  userInfo_ = userInfo ? kit::str(userInfo->utf8()) : nullptr;
  giftVC_->setUserInfo(userInfo_);
  kit::Id description = NUVADataFormat::dictionaryWithJsonString(userInfo_);
  service_id_ = kit::text(description["service_id"]);
}

void NUVATimeStoreTab::setRoleid(const kit::Ref<kit::String>& roleid) {
  KIT_CHECK_MAIN_THREAD();
  roleid_ = roleid ? kit::str(roleid->utf8()) : nullptr;
  getTimeStoreData();
}

// ---- The refresh cycle ------------------------------------------------------------------

void NUVATimeStoreTab::layoutSubviews() {
  kit::View::layoutSubviews();
  textLayer_->setFrame(bounds());
  refreshData();
}

void NUVATimeStoreTab::didMoveToWindow() {
  kit::View::didMoveToWindow();
  // Off screen the collection needs no refreshing.
  if (!window()) NUVACountdown::shareInstance()->cancelTimer(countdownKey_);
}

void NUVATimeStoreTab::refreshData() {
  KIT_CHECK_MAIN_THREAD();
  auto url = NUVANetworkManager::queryURL(NUVAStoreSupport::gameURL("menu/new"),
                                          {{"game_id", NUVAStoreSupport::plistGameId()}, {"server_id", service_id_}});
  // GET answers come in on the main queue.
  kit::Weak<NUVATimeStoreTab> weak = weakSelf<NUVATimeStoreTab>();
  NUVANetworkManager::getWithURL(
      url, nullptr,
      [weak](kit::Id answer) {
        if (auto self = weak.lock()) self->menuAnswered(answer);
      },
      [](kit::Ref<kit::String> error) { kit::log("time store menu failed: %@", error); });
}

void NUVATimeStoreTab::menuAnswered(const kit::Id& answer) {
  auto seconds = NUVAStoreReplies::refreshSeconds(answer);
  // A tab that left its window meanwhile starts nothing.
  if (!seconds || !window()) return;
  if (*seconds > 0) {
    zeroRefreshesInRow_ = 0;
    startCountdown(*seconds, true);
    return;
  }
  // The first answer of 0 re-reads at once; a second one in a row waits.
  ++zeroRefreshesInRow_;
  startCountdown(zeroRefreshesInRow_ > 1 ? kZeroRefreshWait : *seconds, false);
}

void NUVATimeStoreTab::startCountdown(double seconds, bool showsCount) {
  kit::Weak<NUVATimeStoreTab> weak = weakSelf<NUVATimeStoreTab>();
  NUVACountdown::shareInstance()->time(
      seconds,
      [weak, showsCount](double left) {
        auto self = weak.lock();
        if (self && showsCount) self->showCount(left);
      },
      [weak] {
        auto self = weak.lock();
        if (!self) return;
        self->getTimeStoreData();
        self->refreshData();
      },
      countdownKey_);
}

void NUVATimeStoreTab::showCount(double secondsLeft) {
  // Minutes are shown modulo an hour: 3725 s read "2分钟5秒".
  const long s = secondsLeft >= static_cast<double>(LONG_MAX) ? LONG_MAX : static_cast<long>(secondsLeft);
  const long m = s / 60;
  countLabel_->setText(kit::formatString("倒计时%d分钟%d秒", m % 60, s - 60 * m));
}

// ---- The pack list ----------------------------------------------------------------------

void NUVATimeStoreTab::getTimeStoreData() {
  KIT_CHECK_MAIN_THREAD();
  auto gameId = NUVAStoreSupport::plistGameId();
  if (NUVADataFormat::isBlankString(gameId)) return;
  auto url = NUVANetworkManager::queryURL(NUVAStoreSupport::gameURL("timestore/goodsnew"),
                                          {{"game_id", gameId}, {"role_id", roleid_}, {"server_id", service_id_}});
  kit::Weak<NUVATimeStoreTab> weak = weakSelf<NUVATimeStoreTab>();
  NUVANetworkManager::getWithURL(
      url, nullptr,
      [weak](kit::Id answer) {
        if (auto self = weak.lock()) self->packsAnswered(answer);
      },
      [](kit::Ref<kit::String> error) { kit::log("time store packs failed: %@", error); });
}

void NUVATimeStoreTab::packsAnswered(const kit::Id& answer) {
  kit::log("time store packs: %@", NUVALog::describe(answer));
  auto packs = NUVAStoreReplies::timeStorePacks(answer);
  if (!packs) return;
  limitlabel_->setText(packs->notice->utf8());
  giftNameLabel_->setText(packs->name->utf8());
  giftVC_->setGiftArray(packs->list);
}

void NUVATimeStoreTab::giftPaySuccessData(const kit::Ref<kit::Notification>&) { getTimeStoreData(); }
