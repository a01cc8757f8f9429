// CXRRealNameView: the real-name form. The player enters a legal name and
// an identity-card number and submits them to the platform ("login/idcheck",
// sent as typed: the server judges them). A success toasts the server's
// message on the form and, a second later, stores the real-name state
// ("KT_isRz"), copies the outcome (compulsory or not, the state, the end of
// today's play time) into the login result and reports to the delegate; a
// refusal toasts the server's message and leaves the form for another try.
// When the login result makes verification compulsory the skip button is
// hidden and submit spans the form. The owner places the form, sets the
// login result and the delegate, and removes it. Main thread.
//
//   auto form = CXRRealNameView::realNameView();   // 300 x 310
//   form->setReponse(loginResult);
//   form->delegate = card;
//   card->addSubview(form);
#pragma once

#include "kit/ui/button.h"
#include "kit/ui/text_field.h"
#include "kit/ui/view.h"
#include "platform/account/kt_base_response.h"

class CXRRealNameView;

class CXRRealNameDelegate {
 public:
  virtual ~CXRRealNameDelegate() = default;
  // Whether the delegate takes the outcome (the platform's responds-to
  // test): without it a verification stores nothing and reports nothing,
  // and a skip reports nothing.
  virtual bool takesRealNameResponse() const { return false; }
  // The outcome: after a verification the updated login result (nil when
  // the form had none), after a skip the login result unchanged.
  virtual void CXRRealNameView(::CXRRealNameView& /*view*/, const kit::Ref<LoginResult>& /*response*/) {}
};

class CXRRealNameView : public kit::View {
 public:
  // The form from its nib "CXRRealNameView", framed (0, 0, 300, 310).
  static kit::Ref<CXRRealNameView> realNameView();
  // Registers the nib "CXRRealNameView" (idempotent).
  static void registerNib();
  explicit CXRRealNameView(const kit::Rect& frame = {});

  kit::Weak<CXRRealNameDelegate> delegate;
  // The login result to update; may be nil.
  const kit::Ref<LoginResult>& reponse() const { return reponse_; }
  void setReponse(kit::Ref<LoginResult> response);

  // The nib's outlets.
  kit::Ref<kit::TextField> realNameF() const { return realNameF_.lock(); }
  kit::Ref<kit::TextField> userNumberF() const { return userNumberF_.lock(); }
  kit::Ref<kit::View> nameView() const { return nameView_.lock(); }
  kit::Ref<kit::View> numberView() const { return numberView_.lock(); }
  kit::Ref<kit::Button> btn() const { return btn_.lock(); }
  kit::Ref<kit::Button> refuseBtn() const { return refuseBtn_.lock(); }
  void setOutlets(const kit::Ref<kit::TextField>& realNameF, const kit::Ref<kit::TextField>& userNumberF,
                  const kit::Ref<kit::View>& nameView, const kit::Ref<kit::View>& numberView,
                  const kit::Ref<kit::Button>& btn, const kit::Ref<kit::Button>& refuseBtn);

  // Rounds the field frames (5, with a 1-point light-grey border) and the
  // buttons (5).
  void awakeFromNib() override;
  // A touch on the form ends editing.
  void touchesBegan(const kit::TouchSet& touches, const kit::Event* event) override;
  // Compulsory verification: no skip button, submit at x 18, 264 wide.
  void layoutSubviews() override;
  // Submit: ends editing and sends the two texts. The submit button is
  // disabled until the answer: a refusal enables it at once, a success
  // once the form has reported.
  void btnClick();
  // Skip: the delegate gets the login result unchanged.
  void cancelBtnClick();

  static constexpr double Width = 300, Height = 310;
  // Seconds between a success's toast and its report.
  static constexpr double ReportDelay = 1.0;

 private:
  void verified(const kit::Ref<rzResult>& result);

  kit::Ref<LoginResult> reponse_;
  kit::Weak<kit::TextField> realNameF_, userNumberF_;
  kit::Weak<kit::View> nameView_, numberView_;
  kit::Weak<kit::Button> btn_, refuseBtn_;
};
