// The resource hall's goods card, landscape (NUVAInfiniterItem, 140 x 290)
// and portrait (NUVAVerInfiniterItem, 162 x 260): the goods picture, its
// coins, title and description, and either the buy button "<money>元购买"
// (not bought) or up to three claim buttons (bought: its coins, its welfare
// spins, its super spins), each "rehallbtn" while claimable and
// "rehallbtnalget" without taps once claimed.
//
// Buying signs the resource order ("charge/resorder") with the role
// description and the order-signing key; an answer "200" with an order id
// posts NUVAResourcePAYNotification, from the session's queue, with the
// five-key order the channel core pays (the hall closes on it); any other
// answer shows its "msg". Claiming GETs "infiniteres/getcoin",
// "infiniteres/getwelfare" or "infiniteres/getsuperwelfare"; "200" shows
// "领取成功", marks the button claimed and, for spins, runs the block that
// reloads that wheel.
#pragma once

#include <functional>
#include <string>

#include "channel/hall/nuva_hall_records.h"
#include "kit/foundation/string.h"
#include "kit/ui/button.h"
#include "kit/ui/image_view.h"
#include "kit/ui/label.h"
#include "kit/ui/view.h"

// The measures that differ between the two forms.
struct NUVAInfiniterLayout {
  const char* background;
  kit::Rect backbg, gameCoin, propImg, title, content, buy, coin, welfare, superwelfare;
  double textWidth, textX, titleTop;
  // Between the title's bottom and the description's top.
  double contentGap;

  static const NUVAInfiniterLayout& landscape();
  static const NUVAInfiniterLayout& portrait();
};

class NUVAInfiniterCard : public kit::View {
 public:
  explicit NUVAInfiniterCard(const NUVAInfiniterLayout& layout) : kit::View(kit::Rect{}), layout_(layout) {}

  // Stores the record and lays the card out by it.
  void setModel(kit::Ref<NUVAInfiniterModel> model);
  const kit::Ref<NUVAInfiniterModel>& model() const { return model_; }
  // The role description (JSON text) the orders and claims read.
  void setUserInfo(const kit::Ref<kit::String>& userInfo) { userInfo_ = userInfo; }
  const kit::Ref<kit::String>& userInfo() const { return userInfo_; }
  void setWelfareBlock(std::function<void()> block) { welfareBlock_ = std::move(block); }
  void setSuperwelfareBlock(std::function<void()> block) { superwelfareBlock_ = std::move(block); }

  // ---- Actions
  void buyBtnClick();
  void coinBtnClick();
  void welfareBtnClick();
  void superwelfareBtnClick();
  // Sends the claim of a type ("coin", "welfare", "super") and runs `done`
  // with the answer on success.
  void getInfiniteresWithType(const std::string& type, std::function<void(const kit::Id& answer)> done);

  // ---- Parts
  const kit::Ref<kit::ImageView>& backbg() const { return backbg_; }
  const kit::Ref<kit::Label>& gameCoin() const { return gameCoin_; }
  const kit::Ref<kit::ImageView>& prop_img() const { return prop_img_; }
  const kit::Ref<kit::Label>& title() const { return title_; }
  const kit::Ref<kit::Label>& contentLabel() const { return contentLabel_; }
  const kit::Ref<kit::Button>& buyBtn() const { return buyBtn_; }
  const kit::Ref<kit::Button>& coinBtn() const { return coinBtn_; }
  const kit::Ref<kit::Button>& welfareBtn() const { return welfareBtn_; }
  const kit::Ref<kit::Button>& superwelfareBtn() const { return superwelfareBtn_; }

 protected:
  void build();

 private:
  void showClaim(const kit::Ref<kit::Button>& button, const kit::Id& flag);
  void markClaimed(const kit::Ref<kit::Button>& button);

  const NUVAInfiniterLayout& layout_;
  kit::Ref<NUVAInfiniterModel> model_;
  kit::Ref<kit::String> userInfo_;
  std::function<void()> welfareBlock_, superwelfareBlock_;
  kit::Ref<kit::ImageView> backbg_, prop_img_;
  kit::Ref<kit::Label> gameCoin_, title_, contentLabel_;
  kit::Ref<kit::Button> buyBtn_, coinBtn_, welfareBtn_, superwelfareBtn_;
};

class NUVAInfiniterItem : public NUVAInfiniterCard {
 public:
  static kit::Ref<NUVAInfiniterItem> init();
  NUVAInfiniterItem() : NUVAInfiniterCard(NUVAInfiniterLayout::landscape()) {}
};

class NUVAVerInfiniterItem : public NUVAInfiniterCard {
 public:
  static kit::Ref<NUVAVerInfiniterItem> init();
  NUVAVerInfiniterItem() : NUVAInfiniterCard(NUVAInfiniterLayout::portrait()) {}
};
