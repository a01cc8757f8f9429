// The resource hall and its prize wheels. See nuva_resource_hall_view.h.

#include "channel/hall/nuva_resource_hall_view.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "channel/core/nuva_data_format.h"
#include "channel/core/nuva_game_reply.h"
#include "channel/core/nuva_lucky_player_view.h"
#include "channel/core/nuva_network_manager.h"
#include "channel/hall/nuva_hall_support.h"
#include "channel/hall/nuva_turn_gift_pop_view.h"
#include "channel/store/nuva_store_support.h"
#include "kit/dispatch/bind_post.h"
#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"
#include "kit/dispatch/timer_source.h"
#include "kit/foundation/log.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/values.h"
#include "kit/ui/application.h"
#include "kit/ui/font.h"
#include "kit/ui/gesture_recognizer.h"
#include "kit/ui/screen.h"
#include "kit/ui/window.h"
#include "ui/widgets/nuva_progress_hud.h"

namespace {

constexpr double kDebounce = 1.0, kTipSeconds = 1.0;
// A one-draw: 8 steps at 0.08 s; a five-draw: 16 steps at 0.05 s.
constexpr long kOneLastStep = 7, kFiveLastStep = 15;
constexpr double kOneInterval = 0.08, kFiveInterval = 0.05;
constexpr double kDisc = 266;

kit::Ref<kit::TextView> rulesText(const kit::Rect& frame) {
  auto text = kit::TextView::make(frame);
  text->setFont(kit::Font::systemFont(8));
  text->setTextColor(kit::Color::whiteColor());
  text->setTextAlignment(kit::TextAlignment::Left);
  text->setBackgroundColor(kit::Color::clearColor());
  text->setEditable(false);
  return text;
}

kit::Ref<kit::ImageView> picture(const kit::Rect& frame, const char* name) {
  auto view = kit::ImageView::make(frame);
  view->setImage(NUVALightImage(name));
  return view;
}

// The dictionary of a "200" answer's non-empty "data"; nil otherwise.
kit::Id dataOf(const kit::Id& answer) {
  if (!NUVAGameReply::isSuccess(answer)) return nullptr;
  auto data = kit::as<kit::Dictionary>(answer["data"]);
  return data && data->count() > 0 ? kit::Id(data) : nullptr;
}

// The wheel's rules: title, line break, rule; a part that is not set is
// left out with the line break.
kit::Ref<kit::String> rulesOf(const kit::Id& data) {
  const std::string title = kit::shownText(data["active_title"]), rule = kit::shownText(data["active_rule"]);
  return kit::str(title.empty() || rule.empty() ? title + rule : title + "\n" + rule);
}

// The error toast of a request the server refused: its "msg", or none when
// the answer carries no readable message (an HTML page, an empty body).
void showRefusal(const kit::Id& answer) {
  const std::string message = kit::readableText(answer["msg"]);
  if (!message.empty()) NUVAProgressHUD::showErrorWithStatus(kit::str(message));
}

}  // namespace

// The running draw's step counter. The timer's queue only counts; the
// cells are looked up and highlighted on the main queue.
struct NUVAResourceHall::Spin {
  kit::Ref<kit::TimerSource> timer;
  long currentTime = 0;
  long stopTime = 0;
};

kit::Ref<NUVAResourceHallView> NUVAResourceHallView::init() {
  auto hall = kit::make<NUVAResourceHallView>();
  hall->build();
  return hall;
}

kit::Ref<NUVAVerResourceHallView> NUVAVerResourceHallView::init() {
  auto hall = kit::make<NUVAVerResourceHallView>();
  hall->build();
  return hall;
}

NUVAResourceHall::~NUVAResourceHall() {
  if (observer_) kit::NotificationCenter::defaultCenter()->removeObserver(observer_);
}

const kit::Ref<kit::MutableArray>& NUVAResourceHall::resourceListArray() {
  if (!resourceListArray_) resourceListArray_ = kit::MutableArray::make();
  return resourceListArray_;
}

// ---- Building ------------------------------------------------------------------------------

void NUVAResourceHall::build() {
  const kit::Rect screen = kit::Screen::main()->bounds();
  const double W = screen.width(), H = screen.height();
  const double n = NUVADataFormat::isBangsScreen() ? 32 : 0;
  kit::Weak<NUVAResourceHall> weak = weakSelf<NUVAResourceHall>();
  auto tab = [&](const kit::Rect& frame, const char* image) {
    auto button = kit::Button::make(frame);
    button->setBackgroundImage(NUVALightImage(image), kit::ControlStateNormal);
    kit::Weak<kit::Button> weakButton = button;
    button->addAction(kit::ControlEvent::TouchUpInside, [weak, weakButton] {
      auto self = weak.lock();
      auto sender = weakButton.lock();
      if (self && sender) self->Clickrebtn(sender);
    });
    addSubview(button);
    return button;
  };

  closeButton_ = kit::Button::make({});
  closeButton_->setBackgroundImage(NUVALightImage("reclose"), kit::ControlStateNormal);
  closeButton_->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->closeClick();
  });
  noticeLabel_ = kit::Label::make({});
  noticeLabel_->setTextColor(kit::Color::whiteColor());
  noticeLabel_->setTextAlignment(kit::TextAlignment::Center);
  noticeLabel_->setNumberOfLines(0);

  if (!portrait_) {
    const bool narrow = W - n - 583 < 120;
    const double m = narrow ? 5 : 35, t = narrow ? 90 : 100;
    logo_ = picture({W / 2 - 337 - n, 0, 675, 74}, "resourcelogo");
    addSubview(logo_);
    closeButton_->setFrame({W - 62 - n, 18, 32, 32});
    addSubview(closeButton_);
    rebtn1_ = tab({n + m, 94, t, 36}, "rebtn1");
    Clickrebtn(rebtn1_);
    rebtn2_ = tab({n + m, 135, t, 36}, "rebtn2");
    rebtn3_ = tab({n + m, 176, t, 36}, "rebtn3");
    noticeLabel_->setFrame({0, 74, W, 20});
    noticeLabel_->setFont(kit::Font::boldSystemFont(12));
    addSubview(noticeLabel_);
    rulesPanel_ = picture({n + m, 217, t, H - 222}, "redesc");
    rulesPanel_->setUserInteractionEnabled(true);
    addSubview(rulesPanel_);
    descTextView_ = rulesText({2, 0, t - 4, H - 222});
    rulesPanel_->addSubview(descTextView_);
    initerView_ = kit::View::make({n + m + 10 + t, 84, W - n - m - 10 - t, H - 84});
    addSubview(initerView_);
  } else {
    const double g = (W - 375) / 4;
    logo_ = picture({0, n + 25, W, 74}, "verresourcelogo");
    addSubview(logo_);
    closeButton_->setFrame({W - 47, n + 15, 32, 32});
    addSubview(closeButton_);
    rebtn1_ = tab({g, n + 104, 125, 50}, "rebtn1");
    Clickrebtn(rebtn1_);
    rebtn2_ = tab({2 * g + 125, n + 104, 125, 50}, "rebtn2");
    rebtn3_ = tab({3 * g + 250, n + 104, 125, 50}, "rebtn3");
    noticeLabel_->setFrame({0, n + 154, W, 25});
    noticeLabel_->setFont(kit::Font::boldSystemFont(10));
    addSubview(noticeLabel_);
    auto scroll = kit::ScrollView::make({0, n + 179, W, H - n - 179});
    scroll->setScrollEnabled(true);
    scroll->setShowsHorizontalScrollIndicator(true);
    scroll->setContentSize({W, 530});
    initerView_ = scroll;
    addSubview(initerView_);
    redescImage_ = picture({5, 520, W - 10, 75}, "verredesc");
    redescImage_->setUserInteractionEnabled(true);
    initerView_->addSubview(redescImage_);
    redescTextView_ = rulesText({2, 0, W - 14, 75});
    redescImage_->addSubview(redescTextView_);
  }

  setInfiniterView();
  welfareView_ = kit::View::make(initerView_->frame());
  setWelfareView();
  welfareView_->setHidden(true);
  addSubview(welfareView_);
  superwelfareView_ = kit::View::make(initerView_->frame());
  setSuperwelfareView();
  superwelfareView_->setHidden(true);
  addSubview(superwelfareView_);

  if (portrait_) {
    descImage_ = picture({5, H - 85, W - 10, 75}, "verredesc");
    descImage_->setUserInteractionEnabled(true);
    descImage_->setHidden(true);
    descTextView_ = rulesText({2, 0, W - 14, 75});
    descImage_->addSubview(descTextView_);
    addSubview(descImage_);
  }
  updateTabs(1);
}

void NUVAResourceHall::buildWheel(const kit::Ref<kit::View>& panel, double discShift, kit::Ref<kit::Label>& label,
                                  kit::Ref<kit::ImageView>& disc, kit::Ref<kit::Button>& one,
                                  kit::Ref<kit::Button>& five, void (NUVAResourceHall::*oneAction)(),
                                  void (NUVAResourceHall::*fiveAction)()) {
  const double Pw = panel->frame().width(), Ph = panel->frame().height();
  auto plate = picture(portrait_ ? kit::Rect{Pw - 93, 290, 78, 32} : kit::Rect{5, 10, 78, 32}, "turntablenum");
  panel->addSubview(plate);
  label = kit::Label::make({0, 0, 67, 32});
  label->setTextColor(kit::Color::blackColor());
  label->setTextAlignment(kit::TextAlignment::Right);
  label->setFont(kit::Font::boldSystemFont(18));
  plate->addSubview(label);

  disc = picture(portrait_ ? kit::Rect{(Pw - kDisc) / 2 + discShift, 30, kDisc, kDisc}
                           : kit::Rect{76, 10, kDisc, kDisc},
                 "turntable");
  panel->addSubview(disc);

  kit::Weak<NUVAResourceHall> weak = weakSelf<NUVAResourceHall>();
  auto drawButton = [&](const kit::Rect& frame, const char* image, void (NUVAResourceHall::*action)()) {
    auto button = kit::Button::make(frame);
    button->setBackgroundImage(NUVALightImage(image), kit::ControlStateNormal);
    button->addAction(kit::ControlEvent::TouchUpInside, [weak, action] {
      if (auto self = weak.lock()) ((*self).*action)();
    });
    panel->addSubview(button);
    return button;
  };
  one = drawButton(portrait_ ? kit::Rect{(Pw / 2 - 56) / 2, 311, 112, 34} : kit::Rect{Pw - 194, Ph - 95, 112, 34},
                   "turnclickone", oneAction);
  five = drawButton(portrait_ ? kit::Rect{one->frame().maxX() + 30, 311, 112, 34}
                              : kit::Rect{Pw - 194, Ph - 50, 112, 34},
                    "turnclickten", fiveAction);
}

void NUVAResourceHall::setWelfareView() {
  buildWheel(welfareView_, 0, welfareLabel_, turnTableImg_, clickOne_, clickFive_, &NUVAResourceHall::clickOne,
             &NUVAResourceHall::clickFive);
}

void NUVAResourceHall::setSuperwelfareView() {
  superwelfareView_->setUserInteractionEnabled(true);
  buildWheel(superwelfareView_, 10, superwelfareLabel_, superturnTableImg_, superclickOne_, superclickFive_,
             &NUVAResourceHall::superclickOne, &NUVAResourceHall::superclickFive);
  const double Pw = superwelfareView_->frame().width();
  auto bar = picture(portrait_ ? kit::Rect{10, 50, 40, kBarLength} : kit::Rect{Pw - 231, 60, kBarLength, 40},
                     portrait_ ? "veturnprocessbg" : "turnprocessbg");
  bar->setUserInteractionEnabled(true);
  superwelfareView_->addSubview(bar);
  processView_ = kit::ImageView::make({});
  bar->addSubview(processView_);
  processIcon_ = kit::ImageView::make(portrait_ ? kit::Rect{2, 168, 35, 35} : kit::Rect{168, 2, 35, 35});
  kit::Weak<NUVAResourceHall> weak = weakSelf<NUVAResourceHall>();
  processIcon_->addGestureRecognizer(kit::TapGestureRecognizer::make([weak](kit::GestureRecognizer&) {
    if (auto self = weak.lock()) self->tapProcessIcon();
  }));
  bar->addSubview(processIcon_);
  setBar(kBarStart / kBarLength);
  processIcon_->setUserInteractionEnabled(true);
}

void NUVAResourceHall::setInfiniterView() {
  for (const auto& card : cards_) card->removeFromSuperview();
  cards_.clear();
  const double Pw = initerView_->frame().width();
  kit::Weak<NUVAResourceHall> weak = weakSelf<NUVAResourceHall>();
  size_t i = 0;
  for (const kit::Id& record : *resourceListArray()) {
    kit::Ref<NUVAInfiniterCard> card;
    if (portrait_) {
      card = NUVAVerInfiniterItem::init();
    } else {
      card = NUVAInfiniterItem::init();
    }
    card->setUserInfo(userInfo_);
    card->setModel(NUVAInfiniterModel::withValues(record));
    initerView_->addSubview(card);
    card->setWelfareBlock([weak] {
      if (auto self = weak.lock()) self->getInfiniteresWelfareData();
    });
    card->setSuperwelfareBlock([weak] {
      if (auto self = weak.lock()) self->getInfiniteresSuperWelfareData();
    });
    const double d = static_cast<double>(i);
    if (!portrait_) {
      card->setFrame({(Pw - 568) / 2 + 142 * d, 0, 140, 290});
    } else if (i < 4) {
      const double h = (Pw - 324) / 3;
      card->setFrame({i % 2 == 0 ? h : 2 * h + 162, i < 2 ? 0.0 : 260.0, 162, 260});
    }
    cards_.push_back(card);
    ++i;
  }
}

// ---- Tabs, reply, showing, closing ---------------------------------------------------------

void NUVAResourceHall::Clickrebtn(const kit::Ref<kit::Button>& sender) {
  if (!sender) return;
  if (sender == rebtn1_) {
    updateTabs(1);
  } else if (sender == rebtn2_) {
    updateTabs(2);
  } else if (sender == rebtn3_) {
    updateTabs(3);
  }
}

void NUVAResourceHall::updateTabs(int selected) {
  if (initerView_) initerView_->setHidden(selected != 1);
  if (welfareView_) welfareView_->setHidden(selected != 2);
  if (superwelfareView_) superwelfareView_->setHidden(selected != 3);
  if (descImage_) descImage_->setHidden(selected == 1);
  if (redescImage_) redescImage_->setHidden(selected != 1);
  if (rebtn1_) rebtn1_->setBackgroundImage(NUVALightImage(selected == 1 ? "rebtn1sel" : "rebtn1"));
  if (rebtn2_) rebtn2_->setBackgroundImage(NUVALightImage(selected == 2 ? "rebtn2sel" : "rebtn2"));
  if (rebtn3_) rebtn3_->setBackgroundImage(NUVALightImage(selected == 3 ? "rebtn3sel" : "rebtn3"));
  const kit::Ref<kit::String>& rule = selected == 1 ? resourcerule_ : selected == 2 ? welfarerule_ : superwelfarerule_;
  if (descTextView_) descTextView_->setText(kit::shownText(rule));
}

void NUVAResourceHall::setUserInfo(const kit::Ref<kit::String>& userInfo) {
  KIT_CHECK_MAIN_THREAD();
  userInfo_ = userInfo ? kit::str(userInfo->utf8()) : nullptr;
}

void NUVAResourceHall::setResponseData(const kit::Ref<kit::Dictionary>& answer) {
  KIT_CHECK_MAIN_THREAD();
  responseData_ = answer;
  kit::Id data = dataOf(answer);
  if (!data) return;
  resourceListArray_ = kit::MutableArray::make();
  if (auto list = kit::as<kit::Array>(data["list"])) resourceListArray_->addObjectsFromArray(*list);
  resourcerule_ = kit::str(kit::shownText(data["rule_content"]));
  noticeLabel_->setText(kit::shownText(data["notice"]));
  if (!portrait_) {
    descTextView_->setText(resourcerule_->utf8());
    return;
  }
  redescTextView_->setText(resourcerule_->utf8());
  const double W = kit::Screen::main()->bounds().width(), H = kit::Screen::main()->bounds().height();
  auto scroll = kit::as<kit::ScrollView>(initerView_);
  if (resourceListArray_->count() > 2) {
    redescImage_->setFrame({5, 520, W - 10, 75});
    scroll->setContentSize({W, 600});
  } else {
    redescImage_->setFrame({5, initerView_->frame().height() - 75, W - 10, 75});
    scroll->setContentSize({W, H - rebtn1_->frame().maxY()});
  }
}

void NUVAResourceHall::show() {
  KIT_CHECK_MAIN_THREAD();
  auto window = kit::Application::shared()->keyWindow();
  if (!window || shown_) return;
  shown_ = true;
  window->makeKeyAndVisible();
  coverView_ = NUVAHallSupport::attachCover(window);
  const kit::Rect screen = kit::Screen::main()->bounds();
  setFrame({0, 0, screen.width(), screen.height()});
  window->addSubview(selfAs<NUVAResourceHall>());

  kit::Weak<NUVAResourceHall> weak = weakSelf<NUVAResourceHall>();
  observer_ = kit::NotificationCenter::defaultCenter()->addObserverForName(
      NUVAResourcePAYNotification, nullptr, [weak](const kit::Ref<kit::Notification>&) {
        if (auto self = weak.lock()) self->closeClick();
      });
  setInfiniterView();
  getInfiniteresWelfareData();
  getInfiniteresSuperWelfareData();
}

void NUVAResourceHall::closeClick() {
  // Reached from the close button and from order notifications posted on
  // any thread: the views go on the main queue.
  kit::Weak<NUVAResourceHall> weak = weakSelf<NUVAResourceHall>();
  kit::Queue::main().async([weak] {
    auto self = weak.lock();
    if (!self || self->closing_) return;
    self->closing_ = true;
    if (auto block = std::move(self->closeBlock_)) block();
    if (self->observer_) kit::NotificationCenter::defaultCenter()->removeObserver(self->observer_);
    self->observer_ = nullptr;
    if (self->coverView_) self->coverView_->removeFromSuperview();
    self->removeFromSuperview();
  });
}

// ---- Wheel loads ---------------------------------------------------------------------------

void NUVAResourceHall::getInfiniteresWelfareData() {
  auto values = NUVAHallSupport::valuesOf(userInfo_);
  game_id_ = values.game_id;
  role_id_ = values.role_id;
  service_id_ = values.service_id;
  NUVANetworkManager::getWithQuery(
      NUVAStoreSupport::gameURL("infiniteres/welfareturntable"),
      {{"game_id", game_id_}, {"role_id", role_id_}, {"server_id", service_id_}},
      kit::bindPost(kit::Queue::main(), weakSelf<NUVAResourceHall>(),
                    [](NUVAResourceHall& self, const kit::Id& answer) { self.takeWelfareAnswer(answer); }),
      [](kit::Ref<kit::String> error) { kit::log("welfare wheel failed: %@", error); });
}

void NUVAResourceHall::getInfiniteresSuperWelfareData() {
  auto values = NUVAHallSupport::valuesOf(userInfo_);
  game_id_ = values.game_id;
  role_id_ = values.role_id;
  service_id_ = values.service_id;
  NUVANetworkManager::getWithQuery(
      NUVAStoreSupport::gameURL("infiniteres/superwelfareturntable"),
      {{"game_id", game_id_}, {"role_id", role_id_}, {"server_id", service_id_}},
      kit::bindPost(kit::Queue::main(), weakSelf<NUVAResourceHall>(),
                    [](NUVAResourceHall& self, const kit::Id& answer) { self.takeSuperWelfareAnswer(answer); }),
      [](kit::Ref<kit::String> error) { kit::log("super wheel failed: %@", error); });
}

std::vector<kit::Ref<NUVATurnCellView>> NUVAResourceHall::buildRing(
    const kit::Ref<kit::ImageView>& disc, const std::vector<kit::Ref<NUVATurnTableModel>>& prizes,
    const kit::Ref<NUVATurnTableModel>& centre, long tag) {
  for (const auto& subview : std::vector<kit::Ref<kit::View>>(disc->subviews())) subview->removeFromSuperview();
  std::vector<kit::Ref<NUVATurnCellView>> cells;
  cells.reserve(8);
  disc->setUserInteractionEnabled(true);
  for (size_t i = 0; i < prizes.size(); ++i) {
    auto cell = NUVATurnCellView::initWithFrame({0, 0, 80, 133});
    cell->setModel(prizes[i]);
    if (i == 0) cell->selectBtn()->setSelected(true);
    cell->layer()->setAnchorPoint({0.5, 1.0});
    cell->layer()->setPosition({disc->bounds().midX(), disc->bounds().midY()});
    const double angle = static_cast<double>(i) * std::numbers::pi / 4 + std::numbers::pi / 8;
    cell->layer()->setTransform(kit::Transform3D::makeRotation(angle, 0, 0, 1));
    disc->addSubview(cell);
    cell->setUserInteractionEnabled(true);
    cells.push_back(cell);
  }
  auto centreImage = kit::ImageView::make({103, 103, 60, 60});
  centreImage->setUserInteractionEnabled(true);
  centreImage->setTag(tag);
  disc->addSubview(centreImage);
  kit::Weak<kit::ImageView> weakCentre = centreImage;
  kit::Weak<NUVAResourceHall> weak = weakSelf<NUVAResourceHall>();
  if (centre) {
    NUVAHallSupport::loadPicture(centreImage, centre->icon());
    if (tag == kSuperCentreTag) NUVAHallSupport::loadPicture(processIcon_, centre->icon());
  }
  centreImage->addGestureRecognizer(kit::TapGestureRecognizer::make([weak, weakCentre](kit::GestureRecognizer&) {
    auto self = weak.lock();
    auto image = weakCentre.lock();
    if (self && image) self->tapCenterImg(image);
  }));
  return cells;
}

void NUVAResourceHall::takeWelfareAnswer(const kit::Id& answer) {
  KIT_CHECK_MAIN_THREAD();
  kit::Id data = dataOf(answer);
  if (!data) return;
  auto items = kit::as<kit::Array>(data["items"]);
  welfarerule_ = rulesOf(data);
  user_welfare_nums_ = kit::str(kit::shownText(data["user_welfare_nums"]));
  welfareLabel_->setText(user_welfare_nums_->utf8());
  std::vector<kit::Ref<NUVATurnTableModel>> ring;
  if (items) {
    for (const kit::Id& item : *items) {
      auto prize = NUVATurnTableModel::withValues(item);
      if (kit::describe(prize->is_super()) == "0") {
        ring.push_back(prize);
      } else {
        centerObj_ = prize;
      }
    }
  }
  welfarecellArray_ = buildRing(turnTableImg_, ring, centerObj_, kWelfareCentreTag);
}

void NUVAResourceHall::takeSuperWelfareAnswer(const kit::Id& answer) {
  KIT_CHECK_MAIN_THREAD();
  kit::Id data = dataOf(answer);
  if (!data) return;
  superwelfarerule_ = rulesOf(data);
  user_superwelfare_nums_ = kit::str(kit::shownText(data["user_superwelfare_nums"]));
  superwelfareLabel_->setText(user_superwelfare_nums_->utf8());
  use_superwelfare_nums_ = kit::text(data["use_superwelfare_nums"]);
  supercenterObj_ = NUVATurnTableModel::withValues(data["select_extra_items"]);
  std::vector<kit::Ref<NUVATurnTableModel>> ring;
  if (auto items = kit::as<kit::Array>(data["items"])) {
    for (const kit::Id& item : *items) ring.push_back(NUVATurnTableModel::withValues(item));
  }
  superwelfarecellArray_ = buildRing(superturnTableImg_, ring, supercenterObj_, kSuperCentreTag);

  // A target of 0, or values that are no numbers, give an empty bar.
  const double target = NUVAStoreSupport::doubleOf(supercenterObj_->nums());
  const double used = NUVAStoreSupport::doubleOf(data["use_superwelfare_nums"]);
  double ratio = target > 0 ? static_cast<double>(static_cast<float>(used) / static_cast<float>(target)) : 0;
  if (!std::isfinite(ratio)) ratio = 0;
  setBar(std::clamp(ratio, 0.0, 1.0));
}

void NUVAResourceHall::setBar(double ratio) {
  const double length = ratio * kBarLength;
  const kit::Rect fill = portrait_ ? kit::Rect{0, 0, 40, length} : kit::Rect{0, 0, length, 40};
  processView_->setFrame(fill);
  processView_->setImage(NUVAInterceptionWithRect(NUVALightImage(portrait_ ? "veturnprocess" : "turnprocess"), fill));
  if (ratio < 1) {
    processIcon_->setUserInteractionEnabled(false);
    processIcon_->layer()->removeAllAnimations();
  } else {
    processIcon_->layer()->removeAllAnimations();
    processIcon_->layer()->addAnimation(opacityForever_Animation(0.5));
    processIcon_->setUserInteractionEnabled(true);
  }
}

kit::Ref<kit::BasicAnimation> NUVAResourceHall::opacityForever_Animation(float seconds) {
  auto animation = kit::BasicAnimation::withKeyPath("opacity");
  animation->setFromValue(1.0);
  animation->setToValue(0.0);
  animation->setAutoreverses(true);
  animation->setDuration(seconds);
  animation->setRepeatCount(std::numeric_limits<float>::max());
  animation->setRemovedOnCompletion(false);
  animation->setFillMode(kit::FillMode::Forwards);
  animation->setTimingFunction(kit::TimingEaseIn);
  return animation;
}

// ---- Draws ---------------------------------------------------------------------------------

void NUVAResourceHall::clickOne() { debounceDraw("buttonClickedOneAction", false, false); }
void NUVAResourceHall::clickFive() { debounceDraw("buttonClickedFiveAction", false, true); }
void NUVAResourceHall::superclickOne() { debounceDraw("superbuttonClickedOneAction", true, false); }
void NUVAResourceHall::superclickFive() { debounceDraw("superbuttonClickedFiveAction", true, true); }

void NUVAResourceHall::debounceDraw(const char* name, bool super, bool five) {
  KIT_CHECK_MAIN_THREAD();
  if (drawing_) return;
  auto& loop = kit::RunLoop::main();
  loop.cancelPreviousPerformRequests(this, name, nullptr);
  kit::Weak<NUVAResourceHall> weak = weakSelf<NUVAResourceHall>();
  loop.performAfter(this, name, nullptr, kDebounce, [weak, super, five] {
    if (auto self = weak.lock()) self->sendDraw(super, five);
  });
}

void NUVAResourceHall::sendDraw(bool super, bool five) {
  KIT_CHECK_MAIN_THREAD();
  if (drawing_) return;
  drawing_ = true;
  // The server spends the spins when it answers: the answer holds the hall
  // until it is handled, closed or not (GET answers come on the main queue).
  // A failed draw spent nothing; it frees the wheels of a hall still open.
  auto hall = selfAs<NUVAResourceHall>();
  NUVANetworkManager::getWithQuery(
      NUVAStoreSupport::gameURL(super ? "infiniteres/getsuperwelfareturntable" : "infiniteres/getwelfareturntable"),
      {{"game_id", game_id_}, {"role_id", role_id_}, {"server_id", service_id_}, {"nums", kit::str(five ? "5" : "1")}},
      [hall, super, five](const kit::Id& answer) { hall->takeDrawAnswer(answer, super, five); },
      [weak = kit::Weak<NUVAResourceHall>(hall)](const kit::Ref<kit::String>& error) {
        kit::log("draw failed: %@", error);
        if (auto open = weak.lock()) open->drawing_ = false;
      });
}

bool NUVAResourceHall::takeDrawPrizes(const kit::Id& answer) {
  KIT_CHECK_MAIN_THREAD();
  if (!NUVAGameReply::isSuccess(answer)) {
    drawing_ = false;
    showRefusal(answer);
    return false;
  }
  drawing_ = true;
  // The prizes of this draw only: an answer without them leaves none.
  prop_listArray_ = kit::MutableArray::make();
  if (auto list = kit::as<kit::Array>(answer["data"]["prop_list"])) prop_listArray_->addObjectsFromArray(*list);
  return true;
}

void NUVAResourceHall::takeDrawAnswer(const kit::Id& answer, bool super, bool five) {
  if (spinning_) return;
  if (!takeDrawPrizes(answer)) return;
  spinning_ = true;

  auto spin = std::make_shared<Spin>();
  spin->stopTime = five ? kFiveLastStep : kOneLastStep;
  spin->timer = kit::TimerSource::create(kit::Queue::global());
  const double interval = five ? kFiveInterval : kOneInterval;
  spin->timer->setTimer(interval, interval, 0);
  // The handler holds the hall until the spin ends, even once it closed.
  auto hall = selfAs<NUVAResourceHall>();
  spin->timer->setEventHandler([spin, hall, super, five] {
    for (unsigned long fires = spin->timer->data(); fires > 0 && !spin->timer->isCancelled(); --fires) {
      const long now = ++spin->currentTime;
      kit::Queue::main().async([hall, super, now] { hall->step(super, now); });
      if (now > spin->stopTime) {
        spin->timer->cancel();
        kit::Queue::main().async([hall, super, five] { hall->finishSpin(super, five); });
      }
    }
  });
  spin->timer->resume();
}

void NUVAResourceHall::step(bool super, long currentTime) {
  const auto& cells = super ? superwelfarecellArray_ : welfarecellArray_;
  if (cells.empty()) return;
  const size_t n = cells.size();
  cells[static_cast<size_t>(currentTime - 1) % n]->selectBtn()->setSelected(false);
  cells[static_cast<size_t>(currentTime) % n]->selectBtn()->setSelected(true);
}

void NUVAResourceHall::finishSpin(bool super, bool five) {
  drawing_ = false;
  spinning_ = false;
  for (const auto& button : super ? std::vector{superclickOne_, superclickFive_} : std::vector{clickOne_, clickFive_}) {
    button->setEnabled(true);
  }
  if (super) {
    getInfiniteresSuperWelfareData();
  } else {
    getInfiniteresWelfareData();
  }
  if (five) {
    kit::Ref<NUVATurnFiveGiftPopUp> popUp;
    if (portrait_) {
      popUp = NUVAVETurnFiveGiftPopView::init();
    } else {
      popUp = NUVATurnFiveGiftPopView::init();
    }
    popUp->setProp_listArray(prop_listArray_);
    popUp->show();
    return;
  }
  if (prop_listArray_->count() == 0) return;
  auto prize = NUVATurnTableModel::withValues(prop_listArray_->objectAtIndex(0));
  auto popUp = NUVATurnOneGiftPopView::init();
  popUp->setName(kit::str(NUVADataFormat::prizeCaption(prize->name(), prize->amount())));
  popUp->setIconUrl(kit::text(prize->icon()));
  popUp->show();
}

// ---- Tips and the extra prize --------------------------------------------------------------

void NUVAResourceHall::tapCenterImg(const kit::Ref<kit::View>& centre) {
  KIT_CHECK_MAIN_THREAD();
  removeTips();
  const auto& prize = centre->tag() == kSuperCentreTag ? supercenterObj_ : centerObj_;
  // A prize without a readable name has no tip.
  if (!prize || kit::readableText(prize->name()).empty()) return;
  auto tip = NUVATurnCellView::tipLabel(prize->name());
  const kit::Size fitted = tip->bounds().size;
  const kit::Point origin = centre->convertRectToView(centre->bounds(), nullptr).origin;
  const kit::Point at = portrait_ ? kit::Point{origin.x, origin.y - 60} : kit::Point{origin.x - 80, origin.y - 20};
  tip->setFrame({at.x, at.y, fitted.width + 10, fitted.height + 5});
  // Window coordinates, used as they are inside the wheel panel.
  if (auto disc = centre->superview()) {
    if (auto panel = disc->superview()) panel->addSubview(tip);
  }
  tipsArray_.push_back(tip);
  kit::Weak<NUVAResourceHall> weak = weakSelf<NUVAResourceHall>();
  kit::RunLoop::main().performAfter(this, "removeTips", nullptr, kTipSeconds, [weak] {
    if (auto self = weak.lock()) self->removeTips();
  });
}

void NUVAResourceHall::removeTips() {
  for (const auto& tip : tipsArray_) tip->removeFromSuperview();
  tipsArray_.clear();
}

void NUVAResourceHall::tapProcessIcon() {
  KIT_CHECK_MAIN_THREAD();
  NUVANetworkManager::getWithQuery(
      NUVAStoreSupport::gameURL("infiniteres/getsuperprop"),
      {{"game_id", game_id_}, {"role_id", role_id_}, {"server_id", service_id_}},
      kit::bindPost(kit::Queue::main(), weakSelf<NUVAResourceHall>(),
                    [](NUVAResourceHall& self, const kit::Id& answer) {
                      if (NUVAGameReply::isSuccess(answer)) {
                        NUVAProgressHUD::showErrorWithStatus(kit::str("领取成功"));
                        self.getInfiniteresSuperWelfareData();
                      } else {
                        showRefusal(answer);
                      }
                    }),
      [](kit::Ref<kit::String> error) { kit::log("extra prize failed: %@", error); });
}
