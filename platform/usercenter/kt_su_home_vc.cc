// The user centre's home page. See kt_su_home_vc.h.
#include "platform/usercenter/kt_su_home_vc.h"

#include "config/client_configuration.h"
#include "data/model/mx_key_value.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/format.h"
#include "kit/foundation/log.h"
#include "kit/foundation/number.h"
#include "kit/foundation/set.h"
#include "kit/foundation/values.h"
#include "kit/graphics/color.h"
#include "kit/graphics/image_context.h"
#include "kit/graphics/image_named.h"
#include "kit/ui/font.h"
#include "kit/ui/scene_registry.h"
#include "kit/ui/screen.h"
#include "kit/ui/window.h"
#include "net/mutable_dictionary_fields.h"
#include "net/network_manager.h"
#include "net/response_serializer.h"
#include "platform/account/cxr_window_manager.h"
#include "platform/base/ns_string_url_encode.h"
#include "platform/base/share_vale.h"
#include "platform/usercenter/kt_su_box_link.h"
#include "platform/usercenter/kt_su_home_cell.h"
#include "platform/usercenter/kt_su_home_msg_vc.h"
#include "platform/usercenter/kt_su_web_vc.h"
#include "ui/images/kt_web_image_view.h"
#include "ui/widgets/ui_button_helpers.h"
#include "ui/widgets/ui_view_extension.h"

namespace {

constexpr double W = 300, H = 600;
constexpr unsigned Accent = 0xFF7F00;
// The page from the top: the player's box, the box links, the middle box
// (activity and rebate texts), then the news box.
constexpr double UserBoxH = 120, LinksY = 120, LinksH = 50, MidY = 175, Gap = 10, NewsH = 160;
// Inside the middle box: the rebate text starts 90 points down.
constexpr double RebateY = 90, RebateX = 15;
const kit::Rect kNewsTableFrame{0, 37, 300, 120};
constexpr double CoverAlpha = 0.2;

kit::Ref<kit::Label> label(const kit::Rect& frame, double size, unsigned colour) {
  auto made = kit::Label::make(frame);
  made->setFont(kit::Font::systemFont(size));
  made->setTextColor(kit::Color::hex(colour));
  return made;
}

kit::Ref<kit::Image> bundleImage(const char* name) { return kit::imageNamed(NSStringURLEncode::getImagePath(name)); }

// The small accent-coloured chevron right of the titles of 更多 (pointing
// right) and of the rebate's expand button (down to expand, up to fold).
enum class Chevron { Right, Down, Up };
constexpr double ChevronLong = 8, ChevronShort = 5, ChevronLine = 1.5;
kit::Ref<kit::Image> chevron(Chevron direction) {
  const bool across = direction != Chevron::Right;
  const kit::Size size = across ? kit::Size{ChevronLong, ChevronShort} : kit::Size{ChevronShort, ChevronLong};
  if (!kit::beginImageContext(size, false, 0)) return nullptr;
  auto context = kit::currentContext();
  context->setStrokeColor(kit::Color::hex(Accent));
  context->setLineWidth(ChevronLine);
  context->setLineCap(kit::LineCap::Round);
  context->setLineJoin(kit::LineJoin::Round);
  const double inset = ChevronLine / 2;
  const double w = size.width, h = size.height;
  context->beginPath();
  switch (direction) {
    case Chevron::Right:
      context->moveTo(inset, inset);
      context->addLineTo(w - inset, h / 2);
      context->addLineTo(inset, h - inset);
      break;
    case Chevron::Down:
      context->moveTo(inset, inset);
      context->addLineTo(w / 2, h - inset);
      context->addLineTo(w - inset, inset);
      break;
    case Chevron::Up:
      context->moveTo(inset, h - inset);
      context->addLineTo(w / 2, inset);
      context->addLineTo(w - inset, h - inset);
      break;
  }
  context->strokePath();
  kit::Ref<kit::Image> image = kit::imageFromCurrentImageContext();
  kit::endImageContext();
  return image;
}

// The page is laid out at 300 points wide; a wider page area (a notched
// phone in landscape) stretches the boxes, keeps the items at their left
// at their place and the items at their right at the right edge.
constexpr unsigned AtRight = kit::AutoresizingFlexibleLeftMargin;
constexpr unsigned Stretched = kit::AutoresizingFlexibleWidth;
constexpr unsigned SharedOut = kit::AutoresizingFlexibleLeftMargin | kit::AutoresizingFlexibleWidth |
                               kit::AutoresizingFlexibleRightMargin;

}  // namespace

void KTSuHomeVC::registerScene() {
  kit::SceneRegistry::shared().registerController(KTSuspendVC::Storyboard, Identifier,
                                                  [] { return kit::make<KTSuHomeVC>(); });
}

KTSuHomeVC::~KTSuHomeVC() {
  if (rzObserver_) kit::NotificationCenter::defaultCenter()->removeObserver(rzObserver_);
  if (manager_) manager_->invalidateSessionCancelingTasks(true);
}

const kit::Ref<SDPHTTPSessionManager>& KTSuHomeVC::manager() {
  if (!manager_) {
    manager_ = SDPHTTPSessionManager::manager();
    auto serializer = manager_->responseSerializer();
    auto types = serializer->acceptableContentTypes();
    serializer->setAcceptableContentTypes(types ? types->setByAddingObject(kit::str("text/html"))
                                                : kit::Set::make({kit::str("text/html")}));
  }
  return manager_;
}

void KTSuHomeVC::loadView() {
  using A = kit::LayoutAttribute;
  using R = kit::LayoutRelation;
  auto root = kit::View::make(kit::Rect{0, 0, W, H});
  root->setBackgroundColor(kit::Color::hex(0xF5F5F5));
  root->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);
  auto scroll = kit::ScrollView::make(root->bounds());
  scroll->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);
  root->addSubview(scroll);
  auto content = kit::View::make(kit::Rect{0, 0, W, ContentH + 200});
  content->setAutoresizingMask(Stretched);
  scroll->addSubview(content);
  kit::Weak<KTSuHomeVC> weak = weakSelf<KTSuHomeVC>();
  auto action = [weak](void (KTSuHomeVC::*method)()) {
    return [weak, method] {
      if (auto self = weak.lock()) ((*self).*method)();
    };
  };
  auto button = [&](const kit::Rect& frame, const char* title, void (KTSuHomeVC::*method)(), kit::View& parent) {
    auto made = kit::Button::make(frame);
    made->setTitle(title);
    made->setTitleColor(kit::Color::hex(Accent));
    made->titleLabel()->setFont(kit::Font::systemFont(13));
    if (method) made->addAction(kit::ControlEvent::TouchUpInside, action(method));
    parent.addSubview(made);
    return made;
  };

  // The player's box.
  auto user = kit::View::make(kit::Rect{0, 0, W, UserBoxH});
  user->setAutoresizingMask(Stretched);
  user->setBackgroundColor(kit::Color::whiteColor());
  content->addSubview(user);
  auto avatar = kit::Button::make(kit::Rect{15, 15, 60, 60});
  avatar->setBackgroundImage(bundleImage(UserIcon), kit::ControlStateNormal);
  avatar->layer()->setCornerRadius(30);
  avatar->setClipsToBounds(true);
  avatar->addAction(kit::ControlEvent::TouchUpInside, action(&KTSuHomeVC::goToUserVC));
  user->addSubview(avatar);
  auto name = label({85, 15, 120, 20}, 15, 0x333333);
  auto ptb = label({85, 42, 120, 18}, 12, 0x666666);
  auto djq = label({85, 64, 120, 18}, 12, 0x666666);
  for (const auto& l : {name, ptb, djq}) user->addSubview(l);
  auto rz = button({210, 12, 80, 26}, RealNameTitle, &KTSuHomeVC::doRzBtnClick, *user);
  rz->setTitleColor(kit::Color::lightGrayColor(), kit::ControlStateDisabled);
  button({210, 46, 80, 26}, SwitchTitle, &KTSuHomeVC::changeUser, *user);
  button({210, 80, 80, 26}, "账号管理", &KTSuHomeVC::goToUserVC, *user);
  for (const auto& right : user->subviews()) {
    if (kit::as<kit::Button>(right) && right != avatar) right->setAutoresizingMask(AtRight);
  }

  // The game-box links.
  auto links = kit::View::make(kit::Rect{0, LinksY, W, LinksH});
  links->setAutoresizingMask(Stretched);
  links->setBackgroundColor(kit::Color::whiteColor());
  content->addSubview(links);
  button({0, 5, 100, 40}, "金币商城", &KTSuHomeVC::goToGoldStore, *links);
  button({100, 5, 100, 40}, "游戏返利", &KTSuHomeVC::goToFanli, *links);
  button({200, 5, 100, 40}, "赚金币", &KTSuHomeVC::getGoldCoin, *links);
  for (const auto& link : links->subviews()) link->setAutoresizingMask(SharedOut);

  // The middle box: the activity, then the rebate text, whose height and
  // the box's follow the two constraints. It and the news box start at the
  // frames their constraints give at 300 points wide, so that their items'
  // margins stretch from there.
  auto mid = kit::View::make(kit::Rect{0, MidY, W, MidH});
  mid->setBackgroundColor(kit::Color::whiteColor());
  mid->setTranslatesAutoresizingMaskIntoConstraints(false);
  content->addSubview(mid);
  auto midHeight = kit::LayoutConstraint::make(mid, A::Height, R::Equal, MidH);
  content->addConstraints({kit::LayoutConstraint::make(mid, A::Top, R::Equal, content, A::Top, 1, MidY),
                           kit::LayoutConstraint::make(mid, A::Left, R::Equal, content, A::Left),
                           kit::LayoutConstraint::make(mid, A::Right, R::Equal, content, A::Right), midHeight});
  mid->addSubview(label({10, 5, 200, 20}, 14, 0x333333));
  std::static_pointer_cast<kit::Label>(mid->subviews().back())->setText(ActivityTitle);
  auto activity = label({10, 28, 270, 34}, 12, 0x666666);
  activity->setNumberOfLines(2);
  mid->addSubview(activity);
  button({10, 28, 270, 34}, "", &KTSuHomeVC::goToActivityVC, *mid);
  mid->addSubview(label({10, 66, 200, 20}, 14, 0x333333));
  std::static_pointer_cast<kit::Label>(mid->subviews().back())->setText("返利说明");
  auto check = kit::Button::make(kit::Rect{220, 64, 70, 24});
  check->setTitle("展开");
  check->setTitle("收起", kit::ControlStateSelected);
  check->setTitleColor(kit::Color::hex(Accent));
  check->titleLabel()->setFont(kit::Font::systemFont(12));
  check->setImage(chevron(Chevron::Down));
  check->setImage(chevron(Chevron::Up), kit::ControlStateSelected);
  check->setAutoresizingMask(AtRight);
  check->addAction(kit::ControlEvent::TouchUpInside, [weak](kit::Control& sender) {
    auto self = weak.lock();
    if (auto* tapped = dynamic_cast<kit::Button*>(&sender); self && tapped) self->checkFanli(*tapped);
  });
  mid->addSubview(check);
  auto fanli = label({}, RebateFontSize, 0x666666);
  fanli->setNumberOfLines(0);
  fanli->setTranslatesAutoresizingMaskIntoConstraints(false);
  mid->addSubview(fanli);
  auto fanHeight = kit::LayoutConstraint::make(fanli, A::Height, R::Equal, FoldedH);
  mid->addConstraints({kit::LayoutConstraint::make(fanli, A::Top, R::Equal, mid, A::Top, 1, RebateY),
                       kit::LayoutConstraint::make(fanli, A::Left, R::Equal, mid, A::Left, 1, RebateX),
                       kit::LayoutConstraint::make(fanli, A::Width, R::Equal, RebateW), fanHeight});

  // The news box under the middle box.
  auto news = kit::View::make(kit::Rect{0, MidY + MidH + Gap, W, NewsH});
  news->setBackgroundColor(kit::Color::whiteColor());
  news->setTranslatesAutoresizingMaskIntoConstraints(false);
  content->addSubview(news);
  content->addConstraints({kit::LayoutConstraint::make(news, A::Top, R::Equal, mid, A::Bottom, 1, Gap),
                           kit::LayoutConstraint::make(news, A::Left, R::Equal, content, A::Left),
                           kit::LayoutConstraint::make(news, A::Right, R::Equal, content, A::Right),
                           kit::LayoutConstraint::make(news, A::Height, R::Equal, NewsH)});
  news->addSubview(label({10, 8, 200, 20}, 14, 0x333333));
  std::static_pointer_cast<kit::Label>(news->subviews().back())->setText("最新消息");
  auto more = button({220, 5, 70, 26}, "更多", &KTSuHomeVC::doMore, *news);
  more->setImage(chevron(Chevron::Right));
  more->setAutoresizingMask(AtRight);

  scrollView_ = scroll;
  contentView_ = content;
  bottomView_ = news;
  nameL_ = name;
  ptbL_ = ptb;
  djqL_ = djq;
  activityL_ = activity;
  fanliL_ = fanli;
  userBtn_ = avatar;
  fanH_ = fanHeight;
  midViewH_ = midHeight;
  checkBtn_ = check;
  moreBtn_ = more;
  rzBtn_ = rz;
  setView(root);
}

void KTSuHomeVC::viewDidLoad() {
  kit::ViewController::viewDidLoad();
  kit::Weak<KTSuHomeVC> weak = weakSelf<KTSuHomeVC>();
  rzObserver_ = kit::NotificationCenter::defaultCenter()->addObserverForName(
      KTSuWebVC::RealNameNotification, nullptr, [weak](const kit::Ref<kit::Notification>& note) {
        if (auto self = weak.lock()) self->RzUpdated(note);
      });
  loadData();
  // The spacing reads the image's and the title's laid-out sizes: the
  // buttons take their frames first.
  for (const auto& b : {checkBtn(), moreBtn()}) {
    if (!b) continue;
    b->layoutIfNeeded();
    UIButtonKTImageTitleSpacing::layoutButtonWithEdgeInsetsStyle(*b, KTButtonEdgeInsetsStyleRight, ImageTitleSpace);
  }
  if (auto news = bottomView()) news->addSubview(tableView());
}

const kit::Ref<kit::TableView>& KTSuHomeVC::tableView() {
  if (!tableView_) {
    tableView_ = kit::TableView::make(kNewsTableFrame, kit::TableViewStyle::Plain);
    tableView_->setRowHeight(NewsRowH);
    tableView_->setScrollEnabled(false);
    tableView_->setDataSource(weakSelf<KTSuHomeVC>());
    tableView_->setDelegate(weakSelf<KTSuHomeVC>());
    tableView_->setSeparatorStyle(kit::TableViewSeparatorStyle::None);
    KTSuHomeCell::registerNib();
    tableView_->registerNib(KTSuHomeCell::SceneName, KTSuHomeCell::SceneName);
  }
  return tableView_;
}

const kit::Ref<kit::MutableArray>& KTSuHomeVC::msgData() {
  if (!msgData_) msgData_ = kit::MutableArray::make();
  return msgData_;
}

const kit::Ref<kit::View>& KTSuHomeVC::coverView() {
  if (!coverView_) {
    coverView_ = kit::View::make(kit::Screen::main()->bounds());
    coverView_->setBackgroundColor(kit::Color::rgba(0, 0, 0, CoverAlpha));
  }
  return coverView_;
}

const kit::Ref<::CXRRealNameView>& KTSuHomeVC::rzView() {
  if (!rzView_) {
    rzView_ = ::CXRRealNameView::realNameView();
    rzView_->setCenter(coverView()->center());
    rzView_->delegate = weakSelf<KTSuHomeVC>();
  }
  return rzView_;
}

void KTSuHomeVC::loadData() {
  auto share = ShareVale::sharedInstance();
  auto parameters = kit::MutableDictionary::make();
  setObjectForField(*parameters, share->userName(), "username");
  setObjectForField(*parameters, share->gameID(), "gid");
  kit::Weak<KTSuHomeVC> weak = weakSelf<KTSuHomeVC>();
  manager()->POST(
      SDPPlatformAPIBaseURL() + HomePath, parameters,
      [weak](const kit::Ref<kit::URLSessionDataTask>&, const kit::Id& reply) {
        auto self = weak.lock();
        if (!self) return;
        ++self->homeReplies_;
        long status = 0;
        if (auto n = kit::as<kit::Number>(reply["a"])) status = n->integerValue();
        else if (auto s = kit::as<kit::String>(reply["a"])) status = s->integerValue();
        if (status != 1) return;
        self->data_ = reply["c"];
        self->initUIWithData(self->data_);
        self->loadMsgData();
      },
      [weak](const kit::Ref<kit::URLSessionDataTask>&, const kit::Ref<kit::Error>& error) {
        kit::log("error = %@", error);
        if (auto self = weak.lock()) ++self->homeReplies_;
      });
}

void KTSuHomeVC::loadMsgData() {
  auto parameters = kit::MutableDictionary::make();
  setObjectForField(*parameters, ShareVale::sharedInstance()->gameID(), "gid");
  setObjectForField(*parameters, kit::str(NewsCount), "num");
  kit::Weak<KTSuHomeVC> weak = weakSelf<KTSuHomeVC>();
  manager()->POST(
      SDPPlatformAPIBaseURL() + NewsPath, parameters,
      [weak](const kit::Ref<kit::URLSessionDataTask>&, const kit::Id& reply) {
        auto self = weak.lock();
        if (!self) return;
        ++self->newsReplies_;
        auto rows = kit::as<kit::Array>(reply["lists"])
                        ? mx_objectArrayWithKeyValuesArray(KTSuHomeMsgModel::staticClass(), reply["lists"])
                        : nullptr;
        self->msgData_ = rows ? rows : kit::MutableArray::make();
        self->tableView()->reloadData();
      },
      [weak](const kit::Ref<kit::URLSessionDataTask>&, const kit::Ref<kit::Error>&) {
        if (auto self = weak.lock()) ++self->newsReplies_;
      });
}

void KTSuHomeVC::initUIWithData(const kit::Id& data) {
  KIT_CHECK_MAIN_THREAD();
  const kit::Id uinfo = data["uinfo"];
  if (auto l = nameL()) l->setText("玩家:" + kit::nameText(uinfo["nicename"]));
  if (auto l = ptbL()) l->setText("平台币:" + kit::shownText(uinfo["money"]) + "个");
  if (auto l = djqL()) l->setText("代金券:" + kit::shownText(uinfo["djq"]) + "元");
  if (auto l = activityL()) l->setText(kit::shownText(data["post"]["t_desc"]));
  if (auto l = fanliL()) l->setText(kit::shownText(data["ginfo"]["fanli"]));

  if (auto avatar = userBtn(); avatar && kit::isSet(uinfo["avatar"])) {
    kit::Weak<kit::Button> weakAvatar = avatar;
    KT_setBackgroundImageWithURL(
        *avatar, uinfo["avatar"], kit::ControlStateNormal, bundleImage(UserIcon), KTWebImageOptionNetworkIndicator,
        [weakAvatar](const kit::Ref<kit::Image>&, const kit::Ref<kit::URL>&, KTWebImageSource, KTWebImageStage,
                     const kit::Ref<kit::Error>& error) {
          auto button = weakAvatar.lock();
          if (error && button) button->setBackgroundImage(bundleImage(UserIcon), kit::ControlStateNormal);
        });
  }
  if (auto rz = rzBtn()) {
    auto isRz = ShareVale::sharedInstance()->isRz();
    bool verified = false;
    if (auto n = kit::as<kit::Number>(isRz)) verified = n->boolValue();
    else if (auto s = kit::as<kit::String>(isRz)) verified = s->boolValue();
    rz->setEnabled(!verified);
  }
  auto fanli = fanliL();
  realHeight_ = static_cast<float>(UIViewLabelHeight::getLabelHeightByWidth(
      RebateW, fanli ? fanli->text() : "", kit::Font::systemFont(RebateFontSize)));
  if (realHeight_ < FoldedH) {
    if (auto check = checkBtn()) check->setHidden(true);
    const double missing = FoldedH - realHeight_;
    setRebate(realHeight_, MidH - missing, ContentH - missing);
  } else {
    if (auto check = checkBtn()) check->setHidden(false);
    setRebate(FoldedH, MidH, ContentH);
  }
}

void KTSuHomeVC::setRebate(double fan, double mid, double content) {
  if (auto c = fanH()) c->setConstant(fan);
  if (auto c = midViewH()) c->setConstant(mid);
  if (auto scroll = scrollView()) scroll->setContentSize(kit::Size{0, content});
}

void KTSuHomeVC::checkFanli(kit::Button& button) {
  if (button.isSelected()) {
    setRebate(FoldedH, MidH, ContentH);
  } else {
    const double extra = realHeight_ - FoldedH;
    setRebate(realHeight_, MidH + extra, ContentH + extra);
  }
  button.setSelected(!button.isSelected());
}

void KTSuHomeVC::doRzBtnClick() {
  auto top = CXRWindowManager::topWindow();
  if (!top) return;
  coverView()->addSubview(rzView());
  top->addSubview(coverView());
}

void KTSuHomeVC::CXRRealNameView(::CXRRealNameView& form, const kit::Ref<LoginResult>&) {
  auto isRz = ShareVale::sharedInstance()->isRz();
  long value = 0;
  if (auto n = kit::as<kit::Number>(isRz)) value = n->integerValue();
  else if (auto s = kit::as<kit::String>(isRz)) value = s->integerValue();
  if (auto rz = rzBtn(); rz && value != 0) rz->setHidden(true);
  form.removeFromSuperview();
  if (coverView_) coverView_->removeFromSuperview();
}

void KTSuHomeVC::RzUpdated(const kit::Ref<kit::Notification>&) {
  ShareVale::sharedInstance()->setIsRz(kit::str("1"));
  if (auto rz = rzBtn()) rz->setEnabled(false);
}

void KTSuHomeVC::goToBoxWithKey(const std::string& key) { KTSuBoxLink::open(KTSuBoxLink::Scheme + key); }

void KTSuHomeVC::goToActivityVC() {
  loadWebVcWithUrl(kit::describe(data_["post"]["url"]), kit::str(ActivityTitle));
}

void KTSuHomeVC::changeUser() {
  if (loginOutBlock_) loginOutBlock_();
}

void KTSuHomeVC::goToUserVC() {
  const std::string host = kit::describe(ClientConfiguration::shared().valueForKey(ClientConfiguration::kPlatformWebHost));
  loadWebVcWithUrl(host + UserPage + NSStringURLEncode::getWebViewURLArgument(), nullptr);
}

void KTSuHomeVC::loadWebVcWithUrl(const std::string& url, const kit::Ref<kit::String>& name) {
  KTSuWebVC::loadWebVcWithUrl(*this, url, name);
}

void KTSuHomeVC::loadMsgVC() { KTSuHomeMsgVC::loadMsgVC(*this); }

kit::Ref<kit::TableViewCell> KTSuHomeVC::cellForRowAtIndexPath(kit::TableView& table, const kit::IndexPath& indexPath) {
  auto cell = kit::as<KTSuHomeCell>(table.dequeueReusableCellWithIdentifier(KTSuHomeCell::SceneName, indexPath));
  if (!cell) return kit::TableViewCell::make();
  auto& rows = msgData();
  if (indexPath.row >= 0 && indexPath.row < static_cast<long>(rows->count())) {
    cell->setModel(kit::as<KTSuHomeMsgModel>(rows->objectAtIndex(static_cast<size_t>(indexPath.row))));
  }
  return cell;
}

void KTSuHomeVC::didSelectRowAtIndexPath(kit::TableView&, const kit::IndexPath& indexPath) {
  auto& rows = msgData();
  if (indexPath.row < 0 || indexPath.row >= static_cast<long>(rows->count())) return;
  auto model = kit::as<KTSuHomeMsgModel>(rows->objectAtIndex(static_cast<size_t>(indexPath.row)));
  if (model) loadWebVcWithUrl(model->url() ? model->url()->utf8() : "", kit::str(MessageTitle));
}
