// The coupon page. See kt_su_coupon_vc.h.
#include "platform/usercenter/kt_su_coupon_vc.h"

#include "kit/dispatch/thread_check.h"
#include "kit/foundation/values.h"
#include "kit/graphics/color.h"
#include "kit/graphics/image_named.h"
#include "kit/ui/font.h"
#include "kit/ui/image_view.h"
#include "kit/ui/screen.h"
#include "net/mutable_dictionary_fields.h"
#include "platform/base/ns_string_url_encode.h"
#include "platform/base/share_vale.h"
#include "platform/usercenter/kt_su_coupon_cell.h"

namespace {

// The page is 300 wide; the table below the bar leaves 104 points and the
// user centre's bar of the screen's height (and in portrait 44 more).
constexpr double W = 300, Reserved = 104, PortraitReserve = 44;
constexpr unsigned Accent = 0xFF7F00;
const kit::Rect kLineFrame{0, 39.5, 300, 0.5};

}  // namespace

void KTSuCouponVC::viewDidLoad() {
  KTPagedListVC::viewDidLoad();
  view()->addSubview(midView());
  view()->addSubview(tableView());
}

std::string KTSuCouponVC::listPath() const {
  auto chosen = chooseBtn();
  return !chosen || chosen->tag() == UsableTag ? UsablePath : RecordPath;
}

kit::Ref<kit::Dictionary> KTSuCouponVC::listParameters() const {
  auto parameters = kit::MutableDictionary::make();
  setObjectForField(*parameters, ShareVale::sharedInstance()->userName(), "username");
  return parameters;
}

const kit::Ref<kit::View>& KTSuCouponVC::midView() {
  if (midView_) return midView_;
  midView_ = kit::View::make(kit::Rect{0, 0, W, BarH});
  auto line = kit::ImageView::make(kLineFrame);
  line->setImage(kit::imageNamed(NSStringURLEncode::getImagePath("KT_line.png")));
  line->setAlpha(0.5);
  midView_->addSubview(line);
  auto indicator = kit::View::make();
  indicator->setBackgroundColor(kit::Color::hex(Accent));
  indicator->layer()->setCornerRadius(IndicatorH / 2);
  indicator->setClipsToBounds(true);
  indicator_ = indicator;
  const double buttonW = W / 2;
  kit::Weak<KTSuCouponVC> weak = weakSelf<KTSuCouponVC>();
  const char* titles[] = {UsableTitle, RecordTitle};
  for (int i = 0; i < 2; ++i) {
    auto button = kit::Button::make(kit::Rect{buttonW * i, 0, buttonW, BarH});
    button->setTag(UsableTag + i);
    button->setTitle(titles[i]);
    button->titleLabel()->setFont(kit::Font::systemFont(18, kit::FontWeight::Medium));
    button->titleLabel()->sizeToFit();
    button->setTitleColor(kit::Color::blackColor(), kit::ControlStateNormal);
    button->setTitleColor(kit::Color::hex(Accent), kit::ControlStateDisabled);
    button->addAction(kit::ControlEvent::TouchUpInside, [weak](kit::Control& sender) {
      auto self = weak.lock();
      if (auto* tapped = dynamic_cast<kit::Button*>(&sender); self && tapped) self->btnClick(*tapped);
    });
    midView_->addSubview(button);
    if (i == 0) {
      button->setEnabled(false);
      chooseBtn_ = button;
      const double width = button->titleLabel()->frame().size.width;
      indicator->setFrame(kit::Rect{button->center().x - width / 2, BarH - IndicatorH, width, IndicatorH});
    }
  }
  midView_->addSubview(indicator);
  return midView_;
}

void KTSuCouponVC::btnClick(kit::Button& button) {
  KIT_CHECK_MAIN_THREAD();
  auto old = chooseBtn();
  if (old.get() == &button) return;
  button.setEnabled(false);
  if (old) old->setEnabled(true);
  chooseBtn_ = kit::as<kit::Button>(button.self());
  const double width = button.titleLabel()->frame().size.width;
  const double centre = button.center().x;
  kit::Weak<kit::View> weakIndicator = indicator_;
  kit::View::animate(MoveDuration, [weakIndicator, width, centre] {
    auto indicator = weakIndicator.lock();
    if (!indicator) return;
    kit::Rect frame = indicator->frame();
    frame.size.width = width;
    frame.origin.x = centre - width / 2;
    indicator->setFrame(frame);
  });
  // The other set's rows and counters go now: the chosen set starts empty,
  // and its footer and pull-down ask for its page 1 until page 1 has come.
  startNewList();
  // A header already refreshing starts nothing new, and its load asked for
  // the other set: load the chosen one now (the latest load of page 1 is
  // the one shown).
  auto header = this->header();
  if (header && !header->isRefreshing()) {
    header->beginRefreshing();
  } else {
    loadNewData();
  }
}

kit::Ref<kit::TableView> KTSuCouponVC::tableView() {
  if (tableView_) return tableView_;
  const double S = kit::Screen::main()->bounds().size.height;
  double h = S - Reserved - barHeight();
  if (!screenIsLandscape()) h -= PortraitReserve;
  tableView_ = kit::TableView::make(kit::Rect{0, BarH, W, h - BarH});
  tableView_->setDelegate(weakSelf<KTSuCouponVC>());
  tableView_->setDataSource(weakSelf<KTSuCouponVC>());
  tableView_->setRowHeight(RowH);
  tableView_->setSeparatorStyle(kit::TableViewSeparatorStyle::None);
  KTSuCouponCell::registerNib();
  tableView_->registerNib(KTSuCouponCell::SceneName, KTSuCouponCell::SceneName);
  setUpRefresh(*tableView_);
  return tableView_;
}

kit::Ref<kit::TableViewCell> KTSuCouponVC::cellForRowAtIndexPath(kit::TableView& table,
                                                                   const kit::IndexPath& indexPath) {
  auto cell = kit::as<KTSuCouponCell>(table.dequeueReusableCellWithIdentifier(KTSuCouponCell::SceneName, indexPath));
  if (!cell) return kit::TableViewCell::make();
  cell->setModel(record<KTSuCouponModel>(indexPath.row));
  return cell;
}
