// The login card's scene: its views, outlets and actions, laid out as the
// login window's storyboard has them, and the layout pass that stacks the
// panels by the card's height constraints. See kt_login_view.h.
#include <algorithm>

#include "kit/ui/font.h"
#include "platform/account/kt_login_view.h"

namespace {

using A = kit::LayoutAttribute;

// The card is W wide; every row leaves Inset on each side.
constexpr double W = KTLoginView::Width;
constexpr double Inset = 18, RowW = W - 2 * Inset;
constexpr double RowH = 40, Gap = 10;
constexpr double LinkH = 30, AgreeH = 20;
constexpr double WelcomeTop = 20;
constexpr double CaptionH = 40;

kit::Ref<kit::Color> accent() { return kit::Color::hex(0xF64720); }

kit::Ref<kit::LayoutConstraint> height(const kit::Ref<kit::View>& view, double constant) {
  return kit::LayoutConstraint::make(view, A::Height, kit::LayoutRelation::Equal, constant);
}

// A rounded, bordered row holding a text field (and room for a trailing
// button of `trailing` points).
kit::Ref<kit::View> fieldRow(const kit::Ref<kit::View>& panel, double y, const char* placeholder,
                             kit::Ref<kit::TextField>& field, double trailing = 0, double lead = 12) {
  auto row = kit::View::make({Inset, y, RowW, RowH});
  row->layer()->setCornerRadius(5);
  row->layer()->setBorderWidth(1);
  row->layer()->setBorderColor(kit::Color::hex(0xDDDDDD));
  row->setClipsToBounds(true);
  field = kit::TextField::make({lead, 0, RowW - lead - 8 - trailing, RowH});
  field->setPlaceholder(placeholder);
  field->setFont(kit::Font::systemFont(15));
  field->setTextColor(kit::Color::hex(0x333333));
  row->addSubview(field);
  panel->addSubview(row);
  return row;
}

kit::Ref<kit::Button> mainButton(const kit::Ref<kit::View>& panel, double y, const char* title) {
  auto button = kit::Button::make({Inset, y, RowW, RowH});
  button->setTitle(title, kit::ControlStateNormal);
  button->setTitleColor(kit::Color::whiteColor(), kit::ControlStateNormal);
  button->titleLabel()->setFont(kit::Font::boldSystemFont(16));
  button->setBackgroundColor(accent());
  button->layer()->setCornerRadius(5);
  panel->addSubview(button);
  return button;
}

kit::Ref<kit::Button> linkButton(const kit::Rect& frame, const char* title) {
  auto button = kit::Button::make(frame);
  button->setTitle(title, kit::ControlStateNormal);
  button->setTitleColor(kit::Color::hex(0x666666), kit::ControlStateNormal);
  button->titleLabel()->setFont(kit::Font::systemFont(13));
  return button;
}

}  // namespace

// Builds the card; a friend of KTLoginView, so it fills the outlets.
class KTLoginViewScene {
 public:
  static kit::Ref<KTLoginView> build();
};

kit::Ref<KTLoginView> KTLoginView::make() { return KTLoginViewScene::build(); }

kit::Ref<KTLoginView> KTLoginViewScene::build() {
  auto card = kit::make<KTLoginView>(kit::Rect{0, 0, W, KTLoginView::Height});
  card->setBackgroundColor(kit::Color::whiteColor());
  KTLoginView::Outlets& o = card->outlets_;
  kit::Weak<KTLoginView> weak = std::static_pointer_cast<KTLoginView>(card->shared_from_this());
  auto on = [weak](const kit::Ref<kit::Button>& button, void (KTLoginView::*action)()) {
    button->addAction(kit::ControlEvent::TouchUpInside, [weak, action] {
      if (auto self = weak.lock()) ((*self).*action)();
    });
  };

  // The logo band.
  auto logo = kit::ImageView::make({(W - 160) / 2, 10, 160, KTLoginView::LogoH - 20});
  logo->setContentMode(kit::ContentMode::ScaleAspectFit);
  card->addSubview(logo);
  o.loginPic = logo;

  // The login panel: name (with the saved-account button), password (with
  // the show button), the main button, the two registration links and the
  // forgotten-password link below them.
  auto login = kit::View::make({0, KTLoginView::LogoH, W, KTLoginView::PanelH});
  login->setClipsToBounds(true);
  card->addSubview(login);
  kit::Ref<kit::TextField> name, pwd;
  auto nameRow = fieldRow(login, 16, "请输入账号", name, 30);
  auto pwdRow = fieldRow(login, 16 + RowH + Gap, "请输入密码", pwd, 30);
  pwd->setSecureTextEntry(true);
  auto change = kit::Button::make({RowW - 34, 5, 30, 30});
  change->setTitle("历史", kit::ControlStateNormal);
  change->setTitle("收起", kit::ControlStateSelected);
  change->setTitleColor(kit::Color::hex(0x999999), kit::ControlStateNormal);
  change->titleLabel()->setFont(kit::Font::systemFont(13));
  nameRow->addSubview(change);
  auto show = kit::Button::make({RowW - 34, 5, 30, 30});
  show->setTitle("显", kit::ControlStateNormal);
  show->setTitle("隐", kit::ControlStateSelected);
  show->setTitleColor(kit::Color::hex(0x999999), kit::ControlStateNormal);
  show->titleLabel()->setFont(kit::Font::systemFont(13));
  pwdRow->addSubview(show);
  auto loginBtn = mainButton(login, 16 + 2 * (RowH + Gap) + Gap, "登录");
  on(loginBtn, &KTLoginView::gotoLoginAndQuickRegister);
  const double linksY = 16 + 3 * (RowH + Gap) + 2 * Gap;
  auto quick = linkButton({Inset, linksY, RowW / 2, LinkH}, "账号注册");
  auto phone = linkButton({Inset + RowW / 2, linksY, RowW / 2, LinkH}, "手机注册");
  on(quick, &KTLoginView::accountRegister);
  on(phone, &KTLoginView::regist);
  login->addSubview(quick);
  login->addSubview(phone);
  auto forget = linkButton({Inset + RowW / 2, linksY + LinkH + Gap, RowW / 2, LinkH}, "忘记密码?");
  forget->setContentHorizontalAlignment(kit::ContentHorizontalAlignment::Right);
  on(forget, &KTLoginView::forgetPwdBtnClick);
  login->addSubview(forget);
  o.loginPanel = login;
  o.loginName = name;
  o.loginPwd = pwd;
  o.LoginNameView = nameRow;
  o.LoginPwdView = pwdRow;
  o.accuntChange = change;
  o.showOrHiddenBtn = show;
  o.loginBtn = loginBtn;
  o.forgetPwdBtn = forget;

  // The registration panel: title, name or phone (with its icon), SMS code
  // (with the countdown button), password, the main button, the agreement
  // and the links of account or phone registration.
  auto reg = kit::View::make({0, KTLoginView::LogoH, W, 0});
  reg->setClipsToBounds(true);
  card->addSubview(reg);
  auto state = kit::Label::make({Inset, 5, RowW, 25});
  state->setFont(kit::Font::boldSystemFont(16));
  state->setTextAlignment(kit::TextAlignment::Center);
  reg->addSubview(state);
  kit::Ref<kit::TextField> regName, code, regPwd;
  auto regNameRow = fieldRow(reg, 40, "", regName, 0, 36);
  auto icon = kit::ImageView::make({10, 10, 20, 20});
  icon->setContentMode(kit::ContentMode::ScaleAspectFit);
  regNameRow->addSubview(icon);
  auto codeRow = fieldRow(reg, 40 + RowH + 5, "请输入验证码", code, 100);
  auto send = JXCountDownButton::make({RowW - 100, 5, 95, 30});
  send->setTitle("获取验证码", kit::ControlStateNormal);
  send->setTitleColor(accent(), kit::ControlStateNormal);
  send->setTitleColor(kit::Color::hex(0x999999), kit::ControlStateDisabled);
  send->titleLabel()->setFont(kit::Font::systemFont(13));
  send->addToucheHandler([weak](JXCountDownButton&, long) {
    if (auto self = weak.lock()) self->sendCode();
  });
  codeRow->addSubview(send);
  auto regPwdRow = fieldRow(reg, 0, "请输入6-12位密码", regPwd);
  regPwd->setSecureTextEntry(true);
  auto regBtn = mainButton(reg, 0, "注册并登录");
  on(regBtn, &KTLoginView::gotoLoginAndQuickRegister);
  auto select = kit::Button::make({Inset + 2, 0, AgreeH - 4, AgreeH});
  select->setTitle("", kit::ControlStateNormal);
  select->setTitle("√", kit::ControlStateSelected);
  select->setTitleColor(accent(), kit::ControlStateNormal);
  select->titleLabel()->setFont(kit::Font::boldSystemFont(13));
  select->layer()->setBorderColor(accent());
  select->layer()->setBorderWidth(1);
  select->layer()->setCornerRadius(3);
  select->setSelected(true);
  reg->addSubview(select);
  auto protocol = linkButton({Inset + AgreeH + 4, 0, 160, AgreeH}, "我已阅读并同意用户协议");
  protocol->setContentHorizontalAlignment(kit::ContentHorizontalAlignment::Left);
  on(protocol, &KTLoginView::protocalBtnClick);
  reg->addSubview(protocol);
  auto accountView = kit::View::make({Inset, 0, RowW, 0});
  accountView->setClipsToBounds(true);
  auto toPhone = linkButton({0, 0, RowW / 2, LinkH}, "手机注册");
  auto back1 = linkButton({RowW / 2, 0, RowW / 2, LinkH}, "返回登录");
  on(toPhone, &KTLoginView::phoneRegister);
  on(back1, &KTLoginView::backLogin);
  accountView->addSubview(toPhone);
  accountView->addSubview(back1);
  reg->addSubview(accountView);
  auto iphoneView = kit::View::make({Inset, 0, RowW, 0});
  iphoneView->setClipsToBounds(true);
  auto toAccount = linkButton({0, 0, RowW / 2, LinkH}, "账号注册");
  auto back2 = linkButton({RowW / 2, 0, RowW / 2, LinkH}, "返回登录");
  on(toAccount, &KTLoginView::accountRegister);
  on(back2, &KTLoginView::backLogin);
  iphoneView->addSubview(toAccount);
  iphoneView->addSubview(back2);
  reg->addSubview(iphoneView);
  o.registerPanel = reg;
  o.state = state;
  o.registerName = regName;
  o.registerpwd = regPwd;
  o.signCode = code;
  o.registerNameView = regNameRow;
  o.registerPwdView = regPwdRow;
  o.iphoneCodeView = codeRow;
  o.registerNameIconView = icon;
  o.sendCodeBtn = send;
  o.selectBtn = select;
  o.protocalbtn = protocol;
  o.accountView = accountView;
  o.iphoneView = iphoneView;
  o.registerBtn = regBtn;

  // The waiting styles: the welcome line, the progress dialog's container
  // and the change-account button.
  auto welcome = kit::Label::make({Inset, KTLoginView::LogoH + WelcomeTop, RowW, 0});
  welcome->setFont(kit::Font::systemFont(16));
  welcome->setTextAlignment(kit::TextAlignment::Center);
  welcome->setTextColor(kit::Color::hex(0x333333));
  card->addSubview(welcome);
  auto progress = kit::View::make({(W - KTLoginView::ProgressSize.width) / 2, 0, KTLoginView::ProgressSize.width, 0});
  card->addSubview(progress);
  auto changeAccount = kit::Button::make({Inset, 0, RowW, 0});
  changeAccount->setTitle("切换账号", kit::ControlStateNormal);
  changeAccount->setTitleColor(accent(), kit::ControlStateNormal);
  changeAccount->layer()->setBorderColor(accent());
  changeAccount->layer()->setBorderWidth(1);
  changeAccount->layer()->setCornerRadius(5);
  changeAccount->setClipsToBounds(true);
  on(changeAccount, &KTLoginView::changeBtn);
  card->addSubview(changeAccount);
  o.tishiTitle = welcome;
  o.progressView = progress;
  o.changeButton = changeAccount;

  for (const auto& field : {name, pwd, regName, code, regPwd}) {
    field->delegate = std::static_pointer_cast<KTLoginView>(card);
  }

  // The heights the styles switch, as the scene starts (the login form).
  KTLoginView::Constraints& c = card->constraints_;
  c.loginViewH = height(login, KTLoginView::PanelH);
  c.registerH = height(reg, 0);
  c.signCodeH = height(codeRow, 45);
  c.distace = kit::LayoutConstraint::make(regBtn, A::Top, kit::LayoutRelation::Equal, regPwdRow, A::Bottom, 1, 20);
  c.accountViewH = height(accountView, 0);
  c.iphoneViewH = height(iphoneView, LinkH);
  c.progressH = height(progress, 0);
  c.changeBtnH = height(changeAccount, 0);
  c.welcomeTitleH = height(welcome, 0);
  card->setNeedsLayout();
  return card;
}

// The panels stack by the heights: the logo, then the login or the
// registration panel (one of them 0 high), or the welcome line, the
// progress dialog and the change-account button.
void KTLoginView::layoutSubviews() {
  kit::View::layoutSubviews();
  const Outlets& o = outlets_;
  const Constraints& c = constraints_;
  auto place = [](const kit::Ref<kit::View>& view, double y, double h) {
    if (!view) return;
    kit::Rect frame = view->frame();
    frame.origin.y = y;
    frame.size.height = std::max(0.0, h);
    view->setFrame(frame);
  };
  place(o.loginPanel.lock(), LogoH, c.loginViewH->constant());
  place(o.registerPanel.lock(), LogoH, c.registerH->constant());

  // Inside the registration panel.
  const double codeH = c.signCodeH->constant();
  place(o.iphoneCodeView.lock(), 40 + RowH + 5, codeH - 5);
  if (auto code = o.iphoneCodeView.lock()) code->setHidden(codeH <= 0);
  double y = 40 + RowH + 5 + codeH;
  place(o.registerPwdView.lock(), y, RowH);
  y += RowH + c.distace->constant();
  place(o.registerBtn.lock(), y, RowH);
  y += RowH + Gap;
  place(o.selectBtn.lock(), y, AgreeH);
  place(o.protocalbtn.lock(), y, AgreeH);
  y += AgreeH + 5;
  place(o.accountView.lock(), y, c.accountViewH->constant());
  place(o.iphoneView.lock(), y, c.iphoneViewH->constant());

  // The waiting styles.
  const double welcomeH = c.welcomeTitleH->constant();
  place(o.tishiTitle.lock(), LogoH + WelcomeTop, welcomeH);
  y = LogoH + WelcomeTop + welcomeH + Gap;
  place(o.progressView.lock(), y, c.progressH->constant());
  // The dialog's caption hangs below its 85 points.
  y += c.progressH->constant() + CaptionH;
  place(o.changeButton.lock(), y, c.changeBtnH->constant());
}
