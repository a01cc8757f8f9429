// The rows of the account-trade page, from their scenes in the scene
// registry:
//   KTSuTradeHeadCell  the fixed first row: a button that opens the market
//   KTTradeCell        one offer: picture, listing time, price, game,
//                      server, title, and the Android and iOS marks
// Main thread.
#pragma once

#include <functional>

#include "kit/ui/button.h"
#include "kit/ui/image_view.h"
#include "kit/ui/label.h"
#include "kit/ui/layout_constraint.h"
#include "kit/ui/table_view_cell.h"
#include "platform/usercenter/kt_su_models.h"

class KTSuTradeHeadCell : public kit::TableViewCell {
 public:
  static constexpr const char* SceneName = "KTSuTradeHeadCell";
  static constexpr const char* MarketTitle = "进入交易市场";
  static constexpr const char* MarketLink = "tradeMode";

  static kit::Ref<KTSuTradeHeadCell> make();
  // Registers the nib "KTSuTradeHeadCell" (idempotent).
  static void registerNib();
  explicit KTSuTradeHeadCell(const kit::Rect& frame) : kit::TableViewCell(frame) {}

  // The market button: the market in the game-box app, else the box page.
  void btnClick();
  kit::Ref<kit::Button> button() const { return button_.lock(); }

 private:
  void buildScene();
  kit::Weak<kit::Button> button_;
};

class KTTradeCell : public kit::TableViewCell {
 public:
  static constexpr const char* SceneName = "KTTradeCell";
  // The iOS mark's left offset alone and beside the Android mark.
  static constexpr double IOSAlone = 10, IOSBeside = 30;

  static kit::Ref<KTTradeCell> make();
  // Registers the nib "KTTradeCell" (idempotent).
  static void registerNib();
  explicit KTTradeCell(const kit::Rect& frame) : kit::TableViewCell(frame) {}

  const kit::Ref<KTSuTradeModel>& model() const { return model_; }
  // Shows the offer; the marks follow the integer value of `devicetype`
  // (2 both, 1 iOS, 0 Android, anything else leaves them as they were).
  void setModel(const kit::Ref<KTSuTradeModel>& model);
  // The iOS mark's offset: 10 when `devicetype` is the text "1", else 30.
  void layoutSubviews() override;

  kit::Ref<kit::ImageView> gameIcon() const { return gameIcon_.lock(); }
  kit::Ref<kit::Label> timeL() const { return timeL_.lock(); }
  kit::Ref<kit::Label> moneyL() const { return moneyL_.lock(); }
  kit::Ref<kit::Label> nameL() const { return nameL_.lock(); }
  kit::Ref<kit::Label> serverL() const { return serverL_.lock(); }
  kit::Ref<kit::Label> titleL() const { return titleL_.lock(); }
  kit::Ref<kit::ImageView> anIcon() const { return anIcon_.lock(); }
  kit::Ref<kit::ImageView> iosIcon() const { return iosIcon_.lock(); }
  kit::Ref<kit::LayoutConstraint> iosIconLeft() const { return iosIconLeft_.lock(); }

 private:
  void buildScene();

  kit::Ref<KTSuTradeModel> model_;
  kit::Weak<kit::ImageView> gameIcon_, anIcon_, iosIcon_;
  kit::Weak<kit::Label> timeL_, moneyL_, nameL_, serverL_, titleL_;
  kit::Weak<kit::LayoutConstraint> iosIconLeft_;
};
