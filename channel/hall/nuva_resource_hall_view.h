// The resource hall the channel core lays over the game page when the game
// asks for the resource store: NUVAResourceHallView (landscape) and
// NUVAVerResourceHallView (portrait), the same hall in two layouts, sized
// from the main screen. Three tabs: the goods cards, the welfare prize
// wheel and the super-welfare prize wheel with its progress bar towards an
// extra prize. The core fills it (role description, goods answer) and
// shows it; it closes on its close button or on NUVAResourcePAYNotification
// (posted from any thread; the views go on the next main-queue turn).
//
// The wheels: each load ("infiniteres/welfareturntable",
// "infiniteres/superwelfareturntable") rebuilds the ring of prize cells,
// the centre prize and the spin count; a draw of one or five
// ("infiniteres/getwelfareturntable", "infiniteres/getsuperwelfareturntable"
// with "nums") starts 1.0 s after the last of a burst of taps, moves the
// highlight round the ring (8 steps at 0.08 s, or 16 at 0.05 s) on a timer
// of its own, then reloads the wheel and shows what was won, also when the
// hall was closed while the draw was on its way. One draw runs at a time
// across both wheels: from its request until its spin ends or its request
// fails, draw taps are ignored. The full super bar pulses its
// icon, and a tap claims the extra prize ("infiniteres/getsuperprop").
#pragma once

#include <atomic>
#include <functional>
#include <vector>

#include "channel/core/nuva_store_overlays.h"
#include "channel/hall/nuva_hall_records.h"
#include "channel/hall/nuva_infiniter_item.h"
#include "channel/hall/nuva_turn_cell_view.h"
#include "kit/foundation/array.h"
#include "kit/foundation/dictionary.h"
#include "kit/ui/animation.h"
#include "kit/ui/button.h"
#include "kit/ui/image_view.h"
#include "kit/ui/label.h"
#include "kit/ui/scroll_view.h"
#include "kit/ui/text_view.h"
#include "kit/ui/view.h"

class NUVAResourceHall : public kit::View, public NUVAResourceHallOverlay {
 public:
  // The tags of the two centre images.
  static constexpr long kSuperCentreTag = 101, kWelfareCentreTag = 102;
  // The bar's full length and its length before the first answer.
  static constexpr double kBarLength = 206, kBarStart = 190;

  explicit NUVAResourceHall(bool portrait) : kit::View(kit::Rect{}), portrait_(portrait) {}
  ~NUVAResourceHall() override;

  // ---- NUVAResourceHallOverlay
  void setUserInfo(const kit::Ref<kit::String>& userInfo) override;
  // Keeps the answer; a "200" answer with data gives the goods, the goods
  // rules and the notice.
  void setResponseData(const kit::Ref<kit::Dictionary>& answer) override;
  // Cover and hall on the key window, the cards, and both wheels' loads.
  void show() override;

  // ---- Actions
  // The tab buttons; any other sender does nothing.
  void Clickrebtn(const kit::Ref<kit::Button>& sender);
  void closeClick();
  void setCloseBlock(std::function<void()> block) { closeBlock_ = std::move(block); }
  void clickOne();
  void clickFive();
  void superclickOne();
  void superclickFive();
  // Sends a draw at once: what a burst of draw taps ends in. The answer is
  // handled even when the hall has closed meanwhile: the draw is spent, so
  // its spin runs and its prizes show over the game.
  void sendDraw(bool super, bool five);
  void tapCenterImg(const kit::Ref<kit::View>& centre);
  void tapProcessIcon();
  void removeTips();

  // ---- Loads
  void getInfiniteresWelfareData();
  void getInfiniteresSuperWelfareData();
  // The answer handlers (the loads and the draws call them on the main
  // queue).
  void takeWelfareAnswer(const kit::Id& answer);
  void takeSuperWelfareAnswer(const kit::Id& answer);
  // `five` tells a five-draw; `super` the super wheel. A "200" answer
  // starts the spin.
  void takeDrawAnswer(const kit::Id& answer, bool super, bool five);
  // The part of it that reads the answer: for "200", this draw's prizes
  // (none when the answer has none) and true; otherwise the answer's "msg"
  // in the error HUD, the draw over, and false.
  bool takeDrawPrizes(const kit::Id& answer);

  // The pulse of the full bar's icon.
  static kit::Ref<kit::BasicAnimation> opacityForever_Animation(float seconds);

  // ---- State and parts
  bool isPortrait() const { return portrait_; }
  bool isDrawing() const { return drawing_; }
  const kit::Ref<kit::String>& userInfo() const { return userInfo_; }
  const kit::Ref<kit::Dictionary>& responseData() const { return responseData_; }
  const kit::Ref<kit::Button>& coverView() const { return coverView_; }
  const kit::Ref<kit::ImageView>& logo() const { return logo_; }
  const kit::Ref<kit::Button>& closeButton() const { return closeButton_; }
  const kit::Ref<kit::Button>& rebtn1() const { return rebtn1_; }
  const kit::Ref<kit::Button>& rebtn2() const { return rebtn2_; }
  const kit::Ref<kit::Button>& rebtn3() const { return rebtn3_; }
  const kit::Ref<kit::Label>& noticeLabel() const { return noticeLabel_; }
  const kit::Ref<kit::TextView>& descTextView() const { return descTextView_; }
  const kit::Ref<kit::ImageView>& rulesPanel() const { return rulesPanel_; }
  const kit::Ref<kit::View>& initerView() const { return initerView_; }
  const kit::Ref<kit::View>& welfareView() const { return welfareView_; }
  const kit::Ref<kit::View>& superwelfareView() const { return superwelfareView_; }
  const kit::Ref<kit::ImageView>& redescImage() const { return redescImage_; }
  const kit::Ref<kit::TextView>& redescTextView() const { return redescTextView_; }
  const kit::Ref<kit::ImageView>& descImage() const { return descImage_; }
  const kit::Ref<kit::String>& resourcerule() const { return resourcerule_; }
  const kit::Ref<kit::String>& welfarerule() const { return welfarerule_; }
  const kit::Ref<kit::String>& superwelfarerule() const { return superwelfarerule_; }
  const kit::Ref<kit::MutableArray>& resourceListArray();
  const std::vector<kit::Ref<NUVAInfiniterCard>>& cards() const { return cards_; }

  const kit::Ref<kit::Label>& welfareLabel() const { return welfareLabel_; }
  const kit::Ref<kit::Label>& superwelfareLabel() const { return superwelfareLabel_; }
  const kit::Ref<kit::ImageView>& turnTableImg() const { return turnTableImg_; }
  const kit::Ref<kit::ImageView>& superturnTableImg() const { return superturnTableImg_; }
  const kit::Ref<kit::Button>& clickOneButton() const { return clickOne_; }
  const kit::Ref<kit::Button>& clickFiveButton() const { return clickFive_; }
  const kit::Ref<kit::Button>& superclickOneButton() const { return superclickOne_; }
  const kit::Ref<kit::Button>& superclickFiveButton() const { return superclickFive_; }
  const std::vector<kit::Ref<NUVATurnCellView>>& welfarecellArray() const { return welfarecellArray_; }
  const std::vector<kit::Ref<NUVATurnCellView>>& superwelfarecellArray() const { return superwelfarecellArray_; }
  const kit::Ref<NUVATurnTableModel>& centerObj() const { return centerObj_; }
  const kit::Ref<NUVATurnTableModel>& supercenterObj() const { return supercenterObj_; }
  const kit::Ref<kit::String>& user_welfare_nums() const { return user_welfare_nums_; }
  const kit::Ref<kit::String>& user_superwelfare_nums() const { return user_superwelfare_nums_; }
  const kit::Ref<kit::String>& use_superwelfare_nums() const { return use_superwelfare_nums_; }
  const kit::Ref<kit::MutableArray>& prop_listArray() const { return prop_listArray_; }
  const std::vector<kit::Ref<kit::Label>>& tipsArray() const { return tipsArray_; }
  const kit::Ref<kit::ImageView>& processView() const { return processView_; }
  const kit::Ref<kit::ImageView>& processIcon() const { return processIcon_; }

 protected:
  void build();

 private:
  struct Spin;

  void setInfiniterView();
  void setWelfareView();
  void setSuperwelfareView();
  // One wheel's disc, plate, count label and draw buttons in a panel.
  void buildWheel(const kit::Ref<kit::View>& panel, double discShift, kit::Ref<kit::Label>& label,
                  kit::Ref<kit::ImageView>& disc, kit::Ref<kit::Button>& one, kit::Ref<kit::Button>& five,
                  void (NUVAResourceHall::*oneAction)(), void (NUVAResourceHall::*fiveAction)());
  // Cells round the disc for the prizes, cell 0 highlighted, and the centre
  // image with its tag.
  std::vector<kit::Ref<NUVATurnCellView>> buildRing(const kit::Ref<kit::ImageView>& disc,
                                                    const std::vector<kit::Ref<NUVATurnTableModel>>& prizes,
                                                    const kit::Ref<NUVATurnTableModel>& centre, long tag);
  void debounceDraw(const char* name, bool super, bool five);
  void step(bool super, long currentTime);
  void finishSpin(bool super, bool five);
  void setBar(double ratio);
  void updateTabs(int selected);

  const bool portrait_;
  kit::Ref<kit::String> userInfo_;
  kit::Ref<kit::Dictionary> responseData_;
  std::function<void()> closeBlock_;
  kit::Id observer_;
  bool shown_ = false, closing_ = false;

  kit::Ref<kit::Button> coverView_, closeButton_, rebtn1_, rebtn2_, rebtn3_;
  kit::Ref<kit::ImageView> logo_, rulesPanel_, redescImage_, descImage_;
  kit::Ref<kit::Label> noticeLabel_;
  kit::Ref<kit::TextView> descTextView_, redescTextView_;
  kit::Ref<kit::View> initerView_, welfareView_, superwelfareView_;
  kit::Ref<kit::String> resourcerule_, welfarerule_, superwelfarerule_;
  kit::Ref<kit::MutableArray> resourceListArray_;
  std::vector<kit::Ref<NUVAInfiniterCard>> cards_;

  kit::Ref<kit::String> game_id_, role_id_, service_id_;
  kit::Ref<kit::Label> welfareLabel_, superwelfareLabel_;
  kit::Ref<kit::ImageView> turnTableImg_, superturnTableImg_, processView_, processIcon_;
  kit::Ref<kit::Button> clickOne_, clickFive_, superclickOne_, superclickFive_;
  std::vector<kit::Ref<NUVATurnCellView>> welfarecellArray_, superwelfarecellArray_;
  kit::Ref<NUVATurnTableModel> centerObj_, supercenterObj_;
  kit::Ref<kit::String> user_welfare_nums_, user_superwelfare_nums_, use_superwelfare_nums_;
  kit::Ref<kit::MutableArray> prop_listArray_ = kit::MutableArray::make();
  std::vector<kit::Ref<kit::Label>> tipsArray_;
  // From a draw's request until its spin ends or its request fails.
  bool drawing_ = false;
  // While a spin's timer runs: a second one never starts beside it.
  bool spinning_ = false;
};

class NUVAResourceHallView : public NUVAResourceHall {
 public:
  static kit::Ref<NUVAResourceHallView> init();
  NUVAResourceHallView() : NUVAResourceHall(false) {}
};

class NUVAVerResourceHallView : public NUVAResourceHall {
 public:
  static kit::Ref<NUVAVerResourceHallView> init();
  NUVAVerResourceHallView() : NUVAResourceHall(true) {}
};
