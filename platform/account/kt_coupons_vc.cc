// The coupon picker and its scene. See kt_coupons_vc.h.
#include "platform/account/kt_coupons_vc.h"

#include "config/client_configuration.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/charset.h"
#include "kit/foundation/log.h"
#include "kit/foundation/percent_encoding.h"
#include "kit/foundation/values.h"
#include "kit/graphics/color.h"
#include "kit/graphics/image_named.h"
#include "kit/ui/application.h"
#include "kit/ui/font.h"
#include "kit/ui/label.h"
#include "kit/ui/scene_registry.h"
#include "kit/ui/screen.h"
#include "net/mutable_dictionary_fields.h"
#include "platform/account/kt_platform_reply.h"
#include "platform/base/kt_notched_landscape.h"
#include "platform/base/ns_string_url_encode.h"
#include "platform/base/share_vale.h"
#include "ui/widgets/ui_view_extension.h"

namespace {

// The panel: 75 points from the top and the bottom of the screen; its
// inset from the sides, more on a notched landscape screen.
constexpr double PanelTopBottom = 75, InsetNotched = 40, Inset = 10;
// Inside the panel: the title bar, the close button, the game-box link.
constexpr double HeaderH = 45, LinkH = 50;
// The list: below the title bar, down to the panel's bottom (150 = the
// panel's margins, 45 the title bar), the link's height kept free.
constexpr double ListTop = 45, ListMargins = 150;
constexpr double ListBottomInset = 50;
constexpr const char* kTitle = "选择优惠券";
constexpr const char* kLinkTitle = " 下载游戏盒子，领取更多优惠券";
constexpr const char* kCloseImage = "KT_coupon_close";
constexpr const char* kBoxImage = "KT_coupon_box";

kit::Ref<kit::Color> rgb(int r, int g, int b, double a = 1) {
  return kit::Color::rgba(r / 255.0, g / 255.0, b / 255.0, a);
}

using A = kit::LayoutAttribute;
void pin(const kit::Ref<kit::View>& owner, const kit::Ref<kit::View>& view, A attribute, const kit::Id& to, A toAttribute,
         double constant = 0) {
  owner->addConstraint(
      kit::LayoutConstraint::make(view, attribute, kit::LayoutRelation::Equal, to, toAttribute, 1, constant));
}
void fix(const kit::Ref<kit::View>& view, A attribute, double constant) {
  view->addConstraint(kit::LayoutConstraint::make(view, attribute, kit::LayoutRelation::Equal, constant));
}

}  // namespace

void KTCouponsVC::registerScene() {
  kit::SceneRegistry::shared().registerController(KTCouponsVC::kStoryboard, KTCouponsVC::kIdentifier,
                                                  [] { return kit::make<KTCouponsVC>(); });
  KTCouponsCell::registerNib();
}

void KTCouponsVC::loadView() {
  auto screen = kit::View::make(kit::Screen::main()->bounds());
  screen->setBackgroundColor(rgb(0, 0, 0, 0.5));
  setView(screen);

  auto panel = kit::View::make();
  panel->setTranslatesAutoresizingMaskIntoConstraints(false);
  panel->setBackgroundColor(rgb(240, 240, 240));
  UIViewExtension::setLayerCornerRadius(*panel, 8);
  screen->addSubview(panel);
  couponsView_ = panel;
  auto left = kit::LayoutConstraint::make(panel, A::Left, kit::LayoutRelation::Equal, screen, A::Left, 1, Inset);
  screen->addConstraint(left);
  left_ = left;
  pin(screen, panel, A::CenterX, screen, A::CenterX);
  pin(screen, panel, A::Top, screen, A::Top, PanelTopBottom);
  pin(screen, panel, A::Bottom, screen, A::Bottom, -PanelTopBottom);

  auto title = kit::Label::make();
  title->setTranslatesAutoresizingMaskIntoConstraints(false);
  title->setText(kTitle);
  title->setFont(kit::Font::boldSystemFont(16));
  title->setTextColor(rgb(51, 51, 51));
  title->setTextAlignment(kit::TextAlignment::Center);
  title->setBackgroundColor(kit::Color::whiteColor());
  panel->addSubview(title);
  pin(panel, title, A::Left, panel, A::Left);
  pin(panel, title, A::Right, panel, A::Right);
  pin(panel, title, A::Top, panel, A::Top);
  fix(title, A::Height, HeaderH);

  auto close = kit::Button::make();
  close->setTranslatesAutoresizingMaskIntoConstraints(false);
  close->setImage(kit::imageNamed(NSStringURLEncode::getImagePath(kCloseImage)), kit::ControlStateNormal);
  kit::Weak<KTCouponsVC> weak = weakSelf<KTCouponsVC>();
  close->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->doCancel();
  });
  panel->addSubview(close);
  pin(panel, close, A::Right, panel, A::Right);
  pin(panel, close, A::Top, panel, A::Top);
  fix(close, A::Width, HeaderH);
  fix(close, A::Height, HeaderH);
  closeButton_ = close;

  auto link = kit::Button::make();
  link->setTranslatesAutoresizingMaskIntoConstraints(false);
  link->setBackgroundColor(rgb(255, 255, 255, 0.95));
  link->setImage(kit::imageNamed(NSStringURLEncode::getImagePath(kBoxImage)), kit::ControlStateNormal);
  link->setTitle(kLinkTitle);
  link->setTitleColor(rgb(48, 146, 246));
  link->titleLabel()->setFont(kit::Font::systemFont(14));
  link->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->goToGameBox();
  });
  panel->addSubview(link);
  pin(panel, link, A::Left, panel, A::Left);
  pin(panel, link, A::Right, panel, A::Right);
  pin(panel, link, A::Bottom, panel, A::Bottom);
  fix(link, A::Height, LinkH);
  boxButton_ = link;
}

void KTCouponsVC::viewDidLoad() {
  kit::ViewController::viewDidLoad();
  auto panel = couponsView();
  // Below the title bar, under the link (the list's bottom inset keeps its
  // last card clear of it).
  panel->insertSubviewAt(tableView(), 0);
  left()->setConstant(KTIsNotchedLandscape() ? InsetNotched : Inset);
  loadData();
}

kit::Ref<NetWorkManager> KTCouponsVC::manager() {
  if (!manager_) manager_ = NetWorkManager::sharedInstance();
  return manager_;
}

void KTCouponsVC::goToGameBox() {
  KIT_CHECK_MAIN_THREAD();
  auto app = kit::Application::shared();
  if (app->canOpenURL(kBoxAppURL)) {
    app->openURL(kBoxAppURL);
  } else {
    // The channel goes in as one query value, whatever it holds.
    auto channel = kit::stringByAddingPercentEncodingWithAllowedCharacters(
        kit::describe(ShareVale::sharedInstance()->chanelid()), *kit::CharacterSet::urlQueryValueAllowed());
    auto host = ClientConfiguration::shared().valueForKey(ClientConfiguration::kPlatformWebHost);
    app->openURL(kit::format("%@%@?ag=%@", host, kit::str(kBoxPath), channel)->utf8());
  }
  dismissViewController(true);
}

void KTCouponsVC::loadData() {
  KIT_CHECK_MAIN_THREAD();
  auto share = ShareVale::sharedInstance();
  auto parameters = kit::MutableDictionary::make();
  setObjectForField(*parameters, share->userName(), "z");
  setObjectForField(*parameters, share->appID(), "b");
  setObjectForField(*parameters, share->gameID(), "e");
  setObjectForField(*parameters, share->chanelid(), "f");
  setObjectForField(*parameters, money_, "mm");
  kit::Weak<KTCouponsVC> weak = weakSelf<KTCouponsVC>();
  manager()->PostCouponURL(
      kEndpoint, parameters,
      [weak](const kit::Id& reply) {
        if (auto self = weak.lock()) self->handleCouponsReply(reply);
      },
      [](const kit::Ref<kit::Error>&) {});
}

void KTCouponsVC::handleCouponsReply(const kit::Id& reply) {
  KIT_CHECK_MAIN_THREAD();
  kit::log("结果 = %@", reply);
  if (KTPlatformReplies::integerOf(reply["code"]) != 1) return;
  if (auto items = kit::as<kit::Array>(reply["data"])) {
    for (const kit::Id& item : *items) {
      // An item of another kind is no coupon.
      if (kit::as<kit::Dictionary>(item)) dataSource()->addObject(KTCouponsModel::initWithDictionary(item));
    }
  }
  tableView()->reloadData();
}

const kit::Ref<kit::MutableArray>& KTCouponsVC::dataSource() {
  if (!dataSource_) dataSource_ = kit::MutableArray::make();
  return dataSource_;
}

const kit::Ref<kit::TableView>& KTCouponsVC::tableView() {
  if (!tableView_) {
    const kit::Rect screen = kit::Screen::main()->bounds();
    tableView_ = kit::TableView::make(
        kit::Rect{0, ListTop, screen.width(), screen.height() - ListMargins - ListTop}, kit::TableViewStyle::Plain);
    tableView_->setBackgroundColor(rgb(240, 240, 240));
    tableView_->setRowHeight(RowHeight);
    tableView_->setSeparatorStyle(kit::TableViewSeparatorStyle::None);
    tableView_->setDataSource(weakSelf<KTCouponsVC>());
    tableView_->setDelegate(weakSelf<KTCouponsVC>());
    KTCouponsCell::registerNib();
    tableView_->registerNib(KTCouponsCell::kSceneName, kCellIdentifier);
    auto insets = tableView_->contentInset();
    insets.bottom = ListBottomInset;
    tableView_->setContentInset(insets);
  }
  return tableView_;
}

long KTCouponsVC::numberOfRowsInSection(kit::TableView&, long) { return static_cast<long>(dataSource()->count()); }

kit::Ref<kit::TableViewCell> KTCouponsVC::cellForRowAtIndexPath(kit::TableView& table, const kit::IndexPath& indexPath) {
  auto cell = std::dynamic_pointer_cast<KTCouponsCell>(table.dequeueReusableCellWithIdentifier(kCellIdentifier, indexPath));
  if (!cell) return kit::TableViewCell::make();
  cell->setModel(kit::as<KTCouponsModel>(dataSource()->objectAtIndex(static_cast<size_t>(indexPath.row))));
  kit::Weak<KTCouponsVC> weak = weakSelf<KTCouponsVC>();
  cell->setCouponsBlock([weak](const kit::Ref<KTCouponsModel>& model) {
    if (auto self = weak.lock()) self->choose(model);
  });
  return cell;
}

void KTCouponsVC::choose(const kit::Ref<KTCouponsModel>& model) {
  if (!couponsBlock_) return;
  CouponsBlock block = couponsBlock_;
  block(model);
  dismissViewController(true);
}

void KTCouponsVC::doCancel() {
  KIT_CHECK_MAIN_THREAD();
  dismissViewController(true);
}
