// The sub-account chooser and its storyboard scene. See cxr_sub_name_vc.h.
#include "platform/account/cxr_sub_name_vc.h"

#include "config/client_configuration.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/values.h"
#include "kit/ui/alert_controller.h"
#include "kit/ui/application.h"
#include "kit/ui/font.h"
#include "kit/ui/scene_registry.h"
#include "kit/ui/screen.h"
#include "net/mutable_dictionary_fields.h"
#include "platform/account/cxr_message.h"
#include "platform/account/cxr_sub_name_cell.h"
#include "platform/account/kt_login_api.h"
#include "platform/account/kt_platform_reply.h"
#include "platform/base/kt_notched_landscape.h"
#include "platform/base/share_vale.h"
#include "ui/widgets/ui_view_extension.h"

namespace {

// The scene's layout: the top section, the middle section's insets (its
// left one is midLeft) and the links' row under it.
constexpr double TopH = 60;
constexpr double Inset = 10;
constexpr double LinksH = 40, LinksBottom = 15;
constexpr double MidBottom = LinksH + LinksBottom + Inset;  // 65
constexpr double AddH = 40;
constexpr const char* kCellIdentifier = "CXRSubNameCell";

kit::Ref<kit::Color> pageColor() { return kit::Color::rgba(245 / 255.0, 245 / 255.0, 245 / 255.0, 1); }

kit::Ref<kit::Button> linkButton(const kit::Rect& frame, const char* title) {
  auto button = kit::Button::make(frame);
  button->setTitle(title, kit::ControlStateNormal);
  button->setTitleColor(kit::Color::hex(0xF64720), kit::ControlStateNormal);
  button->titleLabel()->setFont(kit::Font::systemFont(14));
  button->setBackgroundColor(kit::Color::whiteColor());
  button->layer()->setCornerRadius(5);
  return button;
}

kit::Ref<kit::LayoutConstraint> pin(const kit::Ref<kit::View>& view, kit::LayoutAttribute attribute,
                                    const kit::Ref<kit::View>& to, kit::LayoutAttribute toAttribute,
                                    double constant) {
  return kit::LayoutConstraint::make(view, attribute, kit::LayoutRelation::Equal, to, toAttribute, 1, constant);
}

}  // namespace

void CXRSubNameVC::registerScene() {
  auto& scenes = kit::SceneRegistry::shared();
  scenes.registerController(Storyboard, Identifier, [] { return kit::make<CXRSubNameVC>(); });
  CXRSubNameCell::registerNib();
}

kit::Ref<CXRSubNameVC> CXRSubNameVC::instantiate() {
  registerScene();
  return std::dynamic_pointer_cast<CXRSubNameVC>(kit::SceneRegistry::shared().instantiate(Storyboard, Identifier));
}

kit::Ref<kit::MutableArray> CXRSubNameVC::dataSource() {
  if (!dataSource_) dataSource_ = kit::MutableArray::make();
  return dataSource_;
}

void CXRSubNameVC::loadView() {
  const kit::Rect screen = kit::Screen::main()->bounds();
  const double W = screen.size.width, H = screen.size.height;
  auto root = kit::View::make(screen);
  root->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);

  // The top section: the title, the account's name and logout.
  auto top = kit::View::make({0, 0, W, TopH});
  top->setTranslatesAutoresizingMaskIntoConstraints(false);
  root->addSubview(top);
  auto title = kit::Label::make({0, 10, W, 22});
  title->setText("选择小号");
  title->setFont(kit::Font::boldSystemFont(17));
  title->setTextAlignment(kit::TextAlignment::Center);
  title->setAutoresizingMask(kit::AutoresizingFlexibleWidth);
  top->addSubview(title);
  auto name = kit::Label::make({0, 34, W, 18});
  name->setFont(kit::Font::systemFont(13));
  name->setTextColor(kit::Color::hex(0x666666));
  name->setTextAlignment(kit::TextAlignment::Center);
  name->setAutoresizingMask(kit::AutoresizingFlexibleWidth);
  top->addSubview(name);
  auto logout = kit::Button::make({W - 90, 15, 80, 30});
  logout->setTitle("退出登录", kit::ControlStateNormal);
  logout->setTitleColor(kit::Color::hex(0x666666), kit::ControlStateNormal);
  logout->titleLabel()->setFont(kit::Font::systemFont(14));
  logout->setAutoresizingMask(kit::AutoresizingFlexibleLeftMargin);
  top->addSubview(logout);

  // The middle section: the list over the add button.
  const kit::Rect midFrame{Inset, TopH + Inset, W - 2 * Inset, H - TopH - Inset - MidBottom};
  auto mid = kit::View::make(midFrame);
  mid->setTranslatesAutoresizingMaskIntoConstraints(false);
  root->addSubview(mid);
  const double w = midFrame.size.width, h = midFrame.size.height;
  auto table = kit::TableView::make({Inset, Inset, w - 2 * Inset, h - 3 * Inset - AddH});
  table->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);
  mid->addSubview(table);
  auto add = kit::Button::make({Inset, h - Inset - AddH, w - 2 * Inset, AddH});
  add->setTitle("+ 添加小号", kit::ControlStateNormal);
  add->setTitleColor(kit::Color::whiteColor(), kit::ControlStateNormal);
  add->setBackgroundColor(kit::Color::hex(0xF64720));
  add->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleTopMargin);
  mid->addSubview(add);

  // The two links to the game box.
  const double linkW = (W - 3 * Inset) / 2;
  auto activity = linkButton({Inset, H - LinksBottom - LinksH, linkW, LinksH}, "盒子活动");
  auto fanli = linkButton({2 * Inset + linkW, H - LinksBottom - LinksH, linkW, LinksH}, "领取返利");
  activity->setAutoresizingMask(kit::AutoresizingFlexibleTopMargin | kit::AutoresizingFlexibleRightMargin);
  fanli->setAutoresizingMask(kit::AutoresizingFlexibleTopMargin | kit::AutoresizingFlexibleLeftMargin);
  root->addSubview(activity);
  root->addSubview(fanli);

  using A = kit::LayoutAttribute;
  auto left = pin(mid, A::Left, root, A::Left, Inset);
  root->addConstraints({pin(top, A::Left, root, A::Left, 0), pin(top, A::Right, root, A::Right, 0),
                        pin(top, A::Top, root, A::Top, 0),
                        kit::LayoutConstraint::make(top, A::Height, kit::LayoutRelation::Equal, TopH), left,
                        pin(mid, A::Right, root, A::Right, -Inset), pin(mid, A::Top, top, A::Bottom, Inset),
                        pin(mid, A::Bottom, root, A::Bottom, -MidBottom)});

  kit::Weak<CXRSubNameVC> weak = weakSelf<CXRSubNameVC>();
  auto on = [weak](const kit::Ref<kit::Button>& button, void (CXRSubNameVC::*action)()) {
    button->addAction(kit::ControlEvent::TouchUpInside, [weak, action] {
      if (auto self = weak.lock()) ((*self).*action)();
    });
  };
  on(add, &CXRSubNameVC::addSubName);
  on(logout, &CXRSubNameVC::loginOut);
  on(activity, &CXRSubNameVC::goToBoxActivity);
  on(fanli, &CXRSubNameVC::goToFanli);

  nameL_ = name;
  tableView_ = table;
  addBtn_ = add;
  viewTop_ = top;
  viewMid_ = mid;
  midLeft_ = left;
  loginOutBtn_ = logout;
  activityBtn_ = activity;
  fanliBtn_ = fanli;
  setView(root);
}

void CXRSubNameVC::viewDidLoad() {
  KTBaseVC::viewDidLoad();
  if (KTIsNotchedLandscape()) {
    if (auto left = midLeft()) left->setConstant(NotchedMidLeft);
  }
  for (const auto& section : {view(), viewTop(), viewMid()}) {
    if (section) section->setBackgroundColor(pageColor());
  }
  if (auto add = addBtn()) UIViewExtension::setLayerCornerRadius(*add, 3);
  auto share = ShareVale::sharedInstance();
  if (auto name = nameL()) name->setText(kit::nameText(share->userName()));
  if (auto table = tableView()) {
    table->setSeparatorStyle(kit::TableViewSeparatorStyle::None);
    UIViewExtension::setLayerCornerRadius(*table, 5);
    table->setTableFooterView(kit::View::make());
    table->setRowHeight(RowHeight);
    table->registerNib(CXRSubNameCell::NibName, kCellIdentifier);
    table->setDataSource(selfAs<CXRSubNameVC>());
    table->setDelegate(selfAs<CXRSubNameVC>());
  }

  kit::Weak<CXRSubNameVC> weak = weakSelf<CXRSubNameVC>();
  KTLoginAPI::getSubNameListWithUserName(
      share->userName(),
      [weak](const kit::Ref<kit::Array>& list) {
        if (auto self = weak.lock()) self->showList(list);
      },
      nullptr);
}

void CXRSubNameVC::showList(const kit::Ref<kit::Array>& list) {
  auto rows = dataSource();
  rows->removeAllObjects();
  if (list) rows->addObjectsFromArray(*list);
  if (rows->count() == MaxSubAccounts) {
    if (auto add = addBtn()) add->setHidden(true);
  }
  if (auto table = tableView()) table->reloadData();
}

long CXRSubNameVC::numberOfRowsInSection(kit::TableView&, long) { return static_cast<long>(dataSource()->count()); }

kit::Ref<kit::TableViewCell> CXRSubNameVC::cellForRowAtIndexPath(kit::TableView& table,
                                                                 const kit::IndexPath& indexPath) {
  auto cell = table.dequeueReusableCellWithIdentifier(kCellIdentifier, indexPath);
  if (auto row = std::dynamic_pointer_cast<CXRSubNameCell>(cell)) {
    row->setModel(kit::as<CXRSubNameModel>(dataSource()->objectAtIndex(static_cast<size_t>(indexPath.row))));
  }
  return cell;
}

void CXRSubNameVC::didSelectRowAtIndexPath(kit::TableView&, const kit::IndexPath& indexPath) {
  auto listener = delegate.lock();
  if (!listener || !listener->takesSubNameSelection()) return;
  auto rows = dataSource();
  if (indexPath.row < 0 || static_cast<size_t>(indexPath.row) >= rows->count()) return;
  auto model = kit::as<CXRSubNameModel>(rows->objectAtIndex(static_cast<size_t>(indexPath.row)));
  if (!model || !model->hasUserName()) {
    // Nobody to log in as: the page stays for another row.
    toast(kit::str(NoUserNameMessage));
    return;
  }
  kit::Weak<CXRSubNameVCDelegate> weakListener = listener;
  dismissViewController(true, [weakListener, model] {
    if (auto listener = weakListener.lock()) listener->didSelectedCXRSubNameVCTableViewWithResponse(model);
  });
}

void CXRSubNameVC::addSubName() {
  KIT_CHECK_MAIN_THREAD();
  auto alert = kit::AlertController::make("添加新小号", "");
  alert->addTextField([](kit::TextField& field) { field.setPlaceholder("名称不能超过8个字符"); });
  alert->addAction(kit::AlertAction::make("取消", kit::AlertActionStyle::Destructive));
  kit::Weak<CXRSubNameVC> weak = weakSelf<CXRSubNameVC>();
  kit::Weak<kit::AlertController> weakAlert = alert;
  alert->addAction(kit::AlertAction::make("确认", kit::AlertActionStyle::Default, [weak, weakAlert](auto&) {
    auto self = weak.lock();
    auto shown = weakAlert.lock();
    if (!self || !shown) return;
    if (auto page = self->viewIfLoaded()) page->endEditing(true);
    auto text = kit::str(shown->textFields().empty() ? "" : shown->textFields().front()->text());
    // A name a row would not show (blanks alone, "<null>") is refused.
    if (!kit::nameText(text).empty() && text->length() <= static_cast<size_t>(MaxNickNameLength)) {
      self->addSubNameWithNickName(text);
    } else {
      self->toast(kit::str("请输入有效字符"));
    }
  }));
  presentViewController(alert, true);
}

void CXRSubNameVC::addSubNameWithNickName(const kit::Ref<kit::String>& nickName) {
  KIT_CHECK_MAIN_THREAD();
  hud_ = PHProgressHUD::showHUDAddedTo(view(), true);
  hud_->backgroundView()->setStyle(PHProgressHUDBackgroundStyleSolidColor);
  hud_->backgroundView()->setColor(kit::Color::white(0, 0.2));

  auto share = ShareVale::sharedInstance();
  auto parameters = kit::MutableDictionary::make();
  setObjectForField(*parameters, share->userName(), "z");
  setObjectForField(*parameters, share->gameID(), "c");
  setObjectForField(*parameters, share->chanelid(), "e");
  setObjectForField(*parameters, share->appID(), "f");
  setObjectForField(*parameters, nickName, "x");
  kit::Weak<CXRSubNameVC> weak = weakSelf<CXRSubNameVC>();
  KTPlatformReplies::postConnection("login/iosaddxiaohao", parameters, [weak](const KTPlatformReply& reply) {
    auto self = weak.lock();
    if (!self) return;
    if (self->hud_) self->hud_->hideAnimated(true);
    self->hud_ = nullptr;
    auto envelope = KTPlatformReplies::envelope(reply);
    if (!envelope) {
      self->toast(kit::str("无法链接服务器"));
      return;
    }
    const kit::Id dic = *envelope;
    if (KTPlatformReplies::isText(dic["code"], "1")) {
      auto list = kit::MutableArray::make();
      if (auto data = kit::as<kit::Array>(dic["data"])) {
        for (const kit::Id& item : data->objects()) list->addObject(CXRSubNameModel::initWithDictionary(item));
      }
      self->showList(list);
    } else if (const auto message = kit::readableText(dic["msg"]); !message.empty()) {
      self->toast(kit::str("小号" + message));
    } else {
      // A refusal without a readable message reads as a failed request.
      self->toast(kit::str("无法链接服务器"));
    }
  });
}

void CXRSubNameVC::toast(const kit::Ref<kit::String>& message) {
  // On the page itself: the window on screen while it shows is the one it
  // was presented in, which need not be the key window the toast's own
  // lookup finds.
  CXRMessage::showMessage(message, view());
}

void CXRSubNameVC::loginOut() {
  KIT_CHECK_MAIN_THREAD();
  kit::Weak<CXRSubNameVCDelegate> weakListener = delegate;
  dismissViewController(true, [weakListener] {
    if (auto listener = weakListener.lock()) listener->CXRSubNameVCLoginOut();
  });
}

void CXRSubNameVC::goToBoxActivity() { openBox("activityURL"); }

void CXRSubNameVC::goToFanli() { openBox("fanliURL"); }

void CXRSubNameVC::openBox(const char* link) {
  KIT_CHECK_MAIN_THREAD();
  auto application = kit::Application::shared();
  const std::string app = std::string(BoxScheme) + link;
  if (application->canOpenURL(app)) {
    application->openURL(app);
    return;
  }
  const std::string host =
      kit::describe(ClientConfiguration::shared().valueForKey(ClientConfiguration::kPlatformWebHost));
  const std::string page = host + BoxPagePath;
  application->openURL(page + "?ag=" + kit::describe(ShareVale::sharedInstance()->chanelid()));
}
