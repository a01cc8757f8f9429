// The real-name form and its nib. See cxr_real_name_view.h.
#include "platform/account/cxr_real_name_view.h"

#include "kit/dispatch/queue.h"
#include "kit/dispatch/thread_check.h"
#include "kit/ui/font.h"
#include "kit/ui/label.h"
#include "kit/ui/scene_registry.h"
#include "platform/account/cxr_message.h"
#include "platform/account/kt_login_api.h"
#include "platform/base/share_vale.h"
#include "ui/widgets/ui_view_extension.h"

namespace {

constexpr const char* kNibName = "CXRRealNameView";

// The nib's layout, inside the 300 x 310 form.
constexpr double W = CXRRealNameView::Width;
constexpr double Side = 18;                 // left and right inset of fields and buttons
constexpr double FieldW = W - 2 * Side;     // 264
constexpr double FieldH = 44;
constexpr double NameY = 92, NumberY = 148;
constexpr double ButtonY = 236, ButtonH = 44, ButtonGap = 12;
constexpr double HalfButtonW = (FieldW - ButtonGap) / 2;  // 126
constexpr double Corner = 5;

kit::Ref<kit::TextField> fieldIn(const kit::Ref<kit::View>& frame, const char* placeholder) {
  auto field = kit::TextField::make({10, 0, FieldW - 20, FieldH});
  field->setPlaceholder(placeholder);
  field->setFont(kit::Font::systemFont(15));
  field->setTextColor(kit::Color::hex(0x333333));
  frame->addSubview(field);
  return field;
}

// The nib "CXRRealNameView": the form, its title and tip, the two framed
// fields, skip and submit.
std::vector<kit::Id> buildNib(const kit::Id&) {
  auto form = kit::make<CXRRealNameView>(kit::Rect{0, 0, W, CXRRealNameView::Height});
  form->setBackgroundColor(kit::Color::whiteColor());
  form->layer()->setCornerRadius(8);
  form->setClipsToBounds(true);

  auto title = kit::Label::make({0, 18, W, 24});
  title->setText("实名认证");
  title->setFont(kit::Font::boldSystemFont(18));
  title->setTextAlignment(kit::TextAlignment::Center);
  title->setTextColor(kit::Color::hex(0x333333));
  form->addSubview(title);

  auto tip = kit::Label::make({Side, 48, FieldW, 36});
  tip->setText("根据国家相关规定，游戏用户需使用有效身份证件进行实名认证。");
  tip->setFont(kit::Font::systemFont(12));
  tip->setNumberOfLines(2);
  tip->setTextColor(kit::Color::hex(0x999999));
  form->addSubview(tip);

  auto nameView = kit::View::make({Side, NameY, FieldW, FieldH});
  form->addSubview(nameView);
  auto realNameF = fieldIn(nameView, "请输入真实姓名");
  auto numberView = kit::View::make({Side, NumberY, FieldW, FieldH});
  form->addSubview(numberView);
  auto userNumberF = fieldIn(numberView, "请输入身份证号码");

  auto refuseBtn = kit::Button::make({Side, ButtonY, HalfButtonW, ButtonH});
  refuseBtn->setTitle("跳过", kit::ControlStateNormal);
  refuseBtn->setTitleColor(kit::Color::hex(0x666666), kit::ControlStateNormal);
  refuseBtn->setBackgroundColor(kit::Color::hex(0xEEEEEE));
  form->addSubview(refuseBtn);
  auto btn = kit::Button::make({Side + HalfButtonW + ButtonGap, ButtonY, HalfButtonW, ButtonH});
  btn->setTitle("提交", kit::ControlStateNormal);
  btn->setTitleColor(kit::Color::whiteColor(), kit::ControlStateNormal);
  btn->setBackgroundColor(kit::Color::hex(0xF64720));
  form->addSubview(btn);

  kit::Weak<CXRRealNameView> weak = form;
  btn->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->btnClick();
  });
  refuseBtn->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->cancelBtnClick();
  });
  form->setOutlets(realNameF, userNumberF, nameView, numberView, btn, refuseBtn);
  return {kit::Id(form)};
}

}  // namespace

void CXRRealNameView::registerNib() { kit::SceneRegistry::shared().registerNib(kNibName, buildNib); }

kit::Ref<CXRRealNameView> CXRRealNameView::realNameView() {
  KIT_CHECK_MAIN_THREAD();
  registerNib();
  auto objects = kit::SceneRegistry::shared().loadNibNamed(kNibName, nullptr);
  if (objects.empty()) return nullptr;
  auto form = std::dynamic_pointer_cast<CXRRealNameView>(objects.back());
  if (form) form->setFrame({0, 0, Width, Height});
  return form;
}

CXRRealNameView::CXRRealNameView(const kit::Rect& frame) : kit::View(frame) {}

void CXRRealNameView::setReponse(kit::Ref<LoginResult> response) {
  KIT_CHECK_MAIN_THREAD();
  reponse_ = std::move(response);
  setNeedsLayout();
}

void CXRRealNameView::setOutlets(const kit::Ref<kit::TextField>& realNameF,
                                 const kit::Ref<kit::TextField>& userNumberF, const kit::Ref<kit::View>& nameView,
                                 const kit::Ref<kit::View>& numberView, const kit::Ref<kit::Button>& btn,
                                 const kit::Ref<kit::Button>& refuseBtn) {
  realNameF_ = realNameF;
  userNumberF_ = userNumberF;
  nameView_ = nameView;
  numberView_ = numberView;
  btn_ = btn;
  refuseBtn_ = refuseBtn;
}

void CXRRealNameView::awakeFromNib() {
  kit::View::awakeFromNib();
  for (const auto& frame : {nameView(), numberView()}) {
    if (!frame) continue;
    UIViewExtension::setLayerCornerRadius(*frame, Corner);
    UIViewExtension::setLayerBorderWidth(*frame, 1, kit::Color::lightGrayColor());
  }
  for (const auto& button : {btn(), refuseBtn()}) {
    if (button) UIViewExtension::setLayerCornerRadius(*button, Corner);
  }
}

void CXRRealNameView::touchesBegan(const kit::TouchSet&, const kit::Event*) { endEditing(true); }

void CXRRealNameView::layoutSubviews() {
  kit::View::layoutSubviews();
  if (!reponse_ || !reponse_->isMustRZ()) return;
  if (auto skip = refuseBtn()) skip->setHidden(true);
  if (auto submit = btn()) {
    UIViewExtension::setX(*submit, Side);
    UIViewExtension::setWidth(*submit, FieldW);
  }
}

void CXRRealNameView::btnClick() {
  KIT_CHECK_MAIN_THREAD();
  endEditing(true);
  auto name = realNameF();
  auto number = userNumberF();
  // One verification at a time: a second tap while the first is on its way
  // would report twice to the owner.
  if (auto submit = btn()) submit->setEnabled(false);
  kit::Weak<CXRRealNameView> weak = weakSelf<CXRRealNameView>();
  KTLoginAPI::postRealNameToServerWithRealName(
      kit::str(name ? name->text() : ""), kit::str(number ? number->text() : ""),
      [weak](const kit::Ref<rzResult>& result) {
        if (auto self = weak.lock()) self->verified(result);
      },
      [weak](const kit::Ref<kit::String>& message) {
        auto self = weak.lock();
        if (!self) return;
        CXRMessage::showMessage(KTReadableText(message), self);
        if (auto submit = self->btn()) submit->setEnabled(true);
      });
}

void CXRRealNameView::verified(const kit::Ref<rzResult>& result) {
  CXRMessage::showMessage(KTReadableText(result->mesage()), selfAs<CXRRealNameView>());
  kit::Weak<CXRRealNameView> weak = weakSelf<CXRRealNameView>();
  kit::Queue::main().after(ReportDelay, [weak, result] {
    auto self = weak.lock();
    if (!self) return;
    // Reported: the form may be sent again (until its owner removes it).
    if (auto submit = self->btn()) submit->setEnabled(true);
    auto listener = self->delegate.lock();
    if (!listener || !listener->takesRealNameResponse()) return;
    ShareVale::sharedInstance()->setIsRz(result->rzStatus());
    if (self->reponse_) {
      self->reponse_->setIsMustRZ(result->isMustRZ());
      self->reponse_->setLmitTime(result->lmitTime());
      self->reponse_->setRzStatus(result->rzStatus());
    }
    listener->CXRRealNameView(*self, self->reponse_);
  });
}

void CXRRealNameView::cancelBtnClick() {
  KIT_CHECK_MAIN_THREAD();
  auto listener = delegate.lock();
  if (listener && listener->takesRealNameResponse()) listener->CXRRealNameView(*this, reponse_);
}
