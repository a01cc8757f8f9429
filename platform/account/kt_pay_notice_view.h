// KTPayNoticeView: the notice the pay sheet shows after a payment attempt:
// the status for the player and two buttons. Go-to-game takes the notice
// away and hands the payment's error and status back; go-to-apply hands
// them back and leaves the notice where it is (the sheet removes what holds
// it). Without a block a button does nothing.
//
// Loaded from its interface scene "KTPayNoticeView" (registered with kit's
// scene registry, 280 x 180): an icon, `statusL`, and the buttons
// "返回游戏" (doCancel) and "去申请" (doGo). Main thread.
//
//   auto notice = UIViewExtension::ViewFromXib<KTPayNoticeView>("KTPayNoticeView");
//   notice->statusL()->setText("充值成功");
//   notice->setGoToGameBlock([](const kit::Ref<kit::Error>& error, const kit::Ref<kit::String>& status) { ... });
#pragma once

#include <functional>

#include "kit/foundation/error.h"
#include "kit/foundation/string.h"
#include "kit/ui/button.h"
#include "kit/ui/image_view.h"
#include "kit/ui/label.h"
#include "kit/ui/view.h"

class KTPayNoticeView : public kit::View {
 public:
  using Block = std::function<void(const kit::Ref<kit::Error>& error, const kit::Ref<kit::String>& status)>;

  static constexpr const char* kSceneName = "KTPayNoticeView";
  static constexpr double W = 280, H = 180;
  static constexpr const char* kGoToGameTitle = "返回游戏";
  static constexpr const char* kGoToApplyTitle = "去申请";

  // The notice as its scene builds it (before awakeFromNib).
  static kit::Ref<KTPayNoticeView> make();
  // Registers the nib "KTPayNoticeView" (idempotent).
  static void registerNib();
  explicit KTPayNoticeView(const kit::Rect& frame) : kit::View(frame) {}

  // Rounds the corners (5) and clips to them.
  void awakeFromNib() override;
  // Go-to-game.
  void doCancel();
  // Go-to-apply.
  void doGo();

  const kit::Ref<kit::Error>& payError() const { return payError_; }
  void setPayError(const kit::Ref<kit::Error>& v) { payError_ = v; }
  const kit::Ref<kit::String>& payStatus() const { return payStatus_; }
  void setPayStatus(const kit::Ref<kit::String>& v) { payStatus_ = v; }
  kit::Ref<kit::Label> statusL() const { return statusL_.lock(); }
  const Block& goToGameBlock() const { return goToGameBlock_; }
  void setGoToGameBlock(Block v) { goToGameBlock_ = std::move(v); }
  const Block& goToApplyBlock() const { return goToApplyBlock_; }
  void setGoToApplyBlock(Block v) { goToApplyBlock_ = std::move(v); }

  // The scene's buttons (for tests and the sheet's pictures).
  kit::Ref<kit::Button> goToGameButton() const { return gameButton_.lock(); }
  kit::Ref<kit::Button> goToApplyButton() const { return applyButton_.lock(); }

 private:
  void buildScene();

  kit::Ref<kit::Error> payError_;
  kit::Ref<kit::String> payStatus_;
  kit::Weak<kit::Label> statusL_;
  kit::Weak<kit::Button> gameButton_, applyButton_;
  Block goToGameBlock_;
  Block goToApplyBlock_;
};
