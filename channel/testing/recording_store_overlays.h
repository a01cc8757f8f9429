// Recording stand-ins for the store overlays (store hub, level pop-up,
// resource hall, not-open pop-up) until the store and hall subsystems
// provide the real views; used by the channel's tests and by the demo. Not
// part of the product.
//
// Each stand-in keeps what the core filled in, and when shown puts a
// placeholder on the key window: a dimming cover with a white card titled
// with the class it stands for and a line or two about what it was given,
// so a screenshot shows the overlay opened. Tests act as the player through
// close(), recharge() and pressButton().
//
//   auto overlays = RecordingStoreOverlays::install();
//   ... core->nuva_openGmShop() ...
//   ASSERT_EQ(overlays->hubs().size(), 1u);
//   overlays->hubs()[0]->close();
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "channel/core/nuva_store_overlays.h"
#include "kit/ui/label.h"
#include "kit/ui/view.h"

// What every stand-in shares: the placeholder it shows and how it leaves.
class RecordingOverlayView : public kit::View {
 public:
  // The class the stand-in plays ("NUVAGMShopView" ...).
  const std::string& className() const { return className_; }
  bool isShown() const { return shown_; }
  // The card's title and detail labels (after show).
  const kit::Ref<kit::Label>& titleLabel() const { return titleLabel_; }
  const kit::Ref<kit::Label>& detailLabel() const { return detailLabel_; }

  // Takes the placeholder off the window.
  void leave();

 protected:
  explicit RecordingOverlayView(std::string className) : className_(std::move(className)) {}
  // Puts the cover and a card of the given size, titled with the class
  // name, on the key window.
  void showPlaceholder(kit::Size cardSize, const std::string& detail);

 private:
  std::string className_;
  bool shown_ = false;
  kit::Ref<kit::Label> titleLabel_;
  kit::Ref<kit::Label> detailLabel_;
};

class RecordingGMShopView : public RecordingOverlayView, public NUVAGMShopOverlay {
 public:
  explicit RecordingGMShopView(NUVAOverlayForm form);

  NUVAOverlayForm form() const { return form_; }

  // What the core filled in.
  kit::Ref<kit::String> shop_type, token, super_user_id, roleid, gmdesc, vipdesc, gmtotal_money, viptotal_money,
      userInfo;
  kit::Ref<kit::Dictionary> playerDic;
  kit::Ref<kit::MutableArray> responseArray, VIPArray, menuBtnArray;
  std::function<void(const kit::Id&)> rechargeBlock;
  std::function<void()> closeBlock;

  // The player closes the hub: closeBlock, then the hub leaves.
  void close();
  // The player asks to recharge: the hub closes itself and passes the JSON
  // text {"event":"open_shop","ext1":"","ext2":""}.
  void recharge();

  void setShop_type(const kit::Ref<kit::String>& v) override { shop_type = v; }
  void setPlayerDic(const kit::Ref<kit::Dictionary>& v) override { playerDic = v; }
  void setResponseArray(const kit::Ref<kit::MutableArray>& v) override { responseArray = v; }
  void setVIPArray(const kit::Ref<kit::MutableArray>& v) override { VIPArray = v; }
  void setMenuBtnArray(const kit::Ref<kit::MutableArray>& v) override { menuBtnArray = v; }
  void setToken(const kit::Ref<kit::String>& v) override { token = v; }
  void setSuper_user_id(const kit::Ref<kit::String>& v) override { super_user_id = v; }
  void setRoleid(const kit::Ref<kit::String>& v) override { roleid = v; }
  void setGmdesc(const kit::Ref<kit::String>& v) override { gmdesc = v; }
  void setVipdesc(const kit::Ref<kit::String>& v) override { vipdesc = v; }
  void setGmtotal_money(const kit::Ref<kit::String>& v) override { gmtotal_money = v; }
  void setViptotal_money(const kit::Ref<kit::String>& v) override { viptotal_money = v; }
  void setUserInfo(const kit::Ref<kit::String>& v) override { userInfo = v; }
  void setRechargeBlock(std::function<void(const kit::Id&)> block) override { rechargeBlock = std::move(block); }
  void setCloseBlock(std::function<void()> block) override { closeBlock = std::move(block); }
  void show() override;

 private:
  NUVAOverlayForm form_;
};

class RecordingLevelPopView : public RecordingOverlayView, public NUVALevelPopOverlay {
 public:
  RecordingLevelPopView() : RecordingOverlayView("NUVALevelPopView") {}

  kit::Ref<kit::String> adPic, items;
  std::function<void()> closeBlock;

  // The pop-up's button: closeBlock, then it leaves.
  void pressButton();
  // Dismissed otherwise: it leaves without closeBlock.
  void dismiss() { leave(); }

  void setAdPic(const kit::Ref<kit::String>& v) override { adPic = v; }
  void setItems(const kit::Ref<kit::String>& v) override { items = v; }
  void setCloseBlock(std::function<void()> block) override { closeBlock = std::move(block); }
  void show() override;
};

class RecordingResourceHallView : public RecordingOverlayView, public NUVAResourceHallOverlay {
 public:
  explicit RecordingResourceHallView(NUVAOverlayForm form);

  NUVAOverlayForm form() const { return form_; }
  kit::Ref<kit::String> userInfo;
  kit::Ref<kit::Dictionary> responseData;

  void setUserInfo(const kit::Ref<kit::String>& v) override { userInfo = v; }
  void setResponseData(const kit::Ref<kit::Dictionary>& v) override { responseData = v; }
  void show() override;

 private:
  NUVAOverlayForm form_;
};

class RecordingNotOpenView : public RecordingOverlayView, public NUVANotOpenOverlay {
 public:
  RecordingNotOpenView() : RecordingOverlayView("NUVANotOpenView") {}
  void show() override;
};

class RecordingStoreOverlays : public NUVAStoreOverlays {
 public:
  // Installs a new factory of stand-ins and returns it.
  static std::shared_ptr<RecordingStoreOverlays> install();

  // Every view made, in order (shown or not).
  std::vector<kit::Ref<RecordingGMShopView>> hubs() const;
  std::vector<kit::Ref<RecordingLevelPopView>> levelPopUps() const;
  std::vector<kit::Ref<RecordingResourceHallView>> halls() const;
  std::vector<kit::Ref<RecordingNotOpenView>> notOpenViews() const;

  std::shared_ptr<NUVAGMShopOverlay> makeGMShopView(NUVAOverlayForm form) override;
  std::shared_ptr<NUVALevelPopOverlay> makeLevelPopView() override;
  std::shared_ptr<NUVAResourceHallOverlay> makeResourceHallView(NUVAOverlayForm form) override;
  std::shared_ptr<NUVANotOpenOverlay> makeNotOpenView() override;

 private:
  mutable std::mutex mutex_;
  std::vector<kit::Ref<RecordingGMShopView>> hubs_;
  std::vector<kit::Ref<RecordingLevelPopView>> levelPopUps_;
  std::vector<kit::Ref<RecordingResourceHallView>> halls_;
  std::vector<kit::Ref<RecordingNotOpenView>> notOpenViews_;
};
