// The store hub the channel core lays over the game page: a white panel
// over a dimmed, blurred cover, with a bar of tab buttons built from the
// channel's menu ids ("1" GM gifts, "2" VIP gifts, "3" time-limited packs,
// "4" vouchers, "8" level gifts; "8" lands before the last tab collected so
// far) and the five tab views, at most one of them visible. NUVAGMShopView
// is the landscape hub (each tab has its own close button), and
// NUVAVerticalGMShopView the portrait one (one close button at the panel's
// corner, in the key window).
//
// The hub closes on its close controls, when the vouchers tab's free video
// was watched, and on a pack or level order (NUVAGIFTPAYNotification,
// NUVALEVELPAYNotification, which may be posted on any thread): the close
// block runs at once on the calling thread, and the views leave the window
// on the next main-queue turn. A landscape hub whose menu ids make no tab
// gets a close button on the panel, so that it can always be closed.
//
// The hub implements the core's NUVAGMShopOverlay: the core fills it
// through the setters and shows it once; the key window holds it then.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "channel/core/nuva_store_overlays.h"
#include "channel/store/nuva_gift_pane.h"
#include "channel/store/nuva_levelstore_view.h"
#include "channel/store/nuva_time_store_view.h"
#include "channel/store/nuva_voucher_view.h"
#include "kit/foundation/array.h"
#include "kit/foundation/dictionary.h"
#include "kit/ui/button.h"
#include "kit/ui/image_view.h"
#include "kit/ui/label.h"
#include "kit/ui/view.h"

class NUVAGMShopHub : public kit::View, public NUVAGMShopOverlay {
 public:
  static constexpr double kBlurAlpha = 0.4;
  static constexpr const char* kVersion = "V2.2.0";

  ~NUVAGMShopHub() override;

  // ---- NUVAGMShopOverlay
  void setShop_type(const kit::Ref<kit::String>& shopType) override { shop_type_ = shopType; }
  void setPlayerDic(const kit::Ref<kit::Dictionary>& playerDic) override { playerDic_ = playerDic; }
  void setResponseArray(const kit::Ref<kit::MutableArray>& goods) override { responseArray_ = goods; }
  void setVIPArray(const kit::Ref<kit::MutableArray>& goods) override { VIPArray_ = goods; }
  void setMenuBtnArray(const kit::Ref<kit::MutableArray>& menuIds) override { menuBtnArray_ = menuIds; }
  void setToken(const kit::Ref<kit::String>& token) override { token_ = copied(token); }
  void setSuper_user_id(const kit::Ref<kit::String>& id) override { super_user_id_ = copied(id); }
  // Keeps the role id and hands it to the time store tab.
  void setRoleid(const kit::Ref<kit::String>& roleid) override;
  void setGmdesc(const kit::Ref<kit::String>& text) override { gmdesc_ = copied(text); }
  void setVipdesc(const kit::Ref<kit::String>& text) override { vipdesc_ = copied(text); }
  void setGmtotal_money(const kit::Ref<kit::String>& text) override { gmtotal_money_ = copied(text); }
  void setViptotal_money(const kit::Ref<kit::String>& text) override { viptotal_money_ = copied(text); }
  // Keeps the role description and hands it to the voucher, time store and
  // level store tabs.
  void setUserInfo(const kit::Ref<kit::String>& userInfo) override;
  void setRechargeBlock(std::function<void(const kit::Id& request)> block) override {
    rechargeBlock_ = std::move(block);
  }
  void setCloseBlock(std::function<void()> block) override;
  // Cover, panel (and the portrait close button) into the key window; the
  // panes are filled and the first tab chosen.
  void show() override;

  // ---- Actions
  // The close block at once; the views leave on the next main-queue turn.
  // Any thread.
  void closeClick();
  // Closes, then hands the recharge block {"event":"open_shop",...}.
  void toChargeBtnClick();
  // A tab button: shows its tab.
  void ClickSegmentView(const kit::Ref<kit::Button>& button);

  // ---- State and parts
  NUVAOverlayForm form() const { return form_; }
  const kit::Ref<kit::String>& shop_type() const { return shop_type_; }
  const kit::Ref<kit::String>& userInfo() const { return userInfo_; }
  const kit::Ref<kit::String>& roleid() const { return roleid_; }
  const kit::Ref<kit::Dictionary>& playerDic() const { return playerDic_; }
  const kit::Ref<kit::Button>& coverView() const { return coverView_; }
  // Portrait only (after show).
  const kit::Ref<kit::Button>& closeBtn() const { return closeBtn_; }
  // The landscape panel's close button when no tab exists.
  const kit::Ref<kit::Button>& panelCloseButton() const { return panelCloseButton_; }
  const kit::Ref<kit::ImageView>& backbg() const { return backbg_; }
  const kit::Ref<kit::View>& gmShopView() const { return gmShopView_; }
  const kit::Ref<kit::View>& vipView() const { return vipView_; }
  const kit::Ref<NUVAVoucherView>& voucherView() const { return voucherView_; }
  const kit::Ref<NUVATimeStoreTab>& timeStoreView() const { return timeStoreView_; }
  const kit::Ref<NUVALevelstoreTab>& levelStoreView() const { return levelStoreView_; }
  const kit::Ref<kit::Label>& bundlename() const { return bundlename_; }
  const kit::Ref<NUVAGiftPane>& gmPane() const { return gmPane_; }
  const kit::Ref<NUVAGiftPane>& vipPane() const { return vipPane_; }
  // The tab buttons in bar order, their ids, and the tab chosen last.
  const std::vector<kit::Ref<kit::Button>>& btnArray() const { return btnArray_; }
  const std::vector<std::string>& strArray() const { return strArray_; }
  const std::vector<std::string>& btnImage() const { return btnImage_; }
  const std::vector<std::string>& btnselImage() const { return btnselImage_; }
  const kit::Ref<kit::Button>& tmpBtn() const { return tmpBtn_; }
  // The close buttons of the landscape tabs (voucher, time store, level).
  const std::vector<kit::Ref<kit::Button>>& tabCloseButtons() const { return tabCloseButtons_; }

 protected:
  explicit NUVAGMShopHub(NUVAOverlayForm form);
  // Builds the panel, the five tabs and the version label.
  void p_setupUI();

 private:
  // What closing needs, shared with the order observers, so that a post on
  // another thread never holds the hub itself.
  struct CloseRoad {
    std::function<void()> closeBlock;
  };

  static kit::Ref<kit::String> copied(const kit::Ref<kit::String>& text) {
    return text ? kit::str(text->utf8()) : nullptr;
  }
  static void close(const std::shared_ptr<CloseRoad>& road, const kit::Weak<NUVAGMShopHub>& hub);
  void leaveWindow();
  double W() const;
  double H() const;
  kit::Ref<kit::Button> makeCloseButton(const kit::Rect& frame);
  void setSegmentView();
  void showTab(long tag);

  NUVAOverlayForm form_;
  kit::Ref<kit::String> shop_type_, token_, super_user_id_, roleid_, userInfo_;
  kit::Ref<kit::String> gmtotal_money_, viptotal_money_, gmdesc_, vipdesc_;
  kit::Ref<kit::Dictionary> playerDic_;
  kit::Ref<kit::MutableArray> menuBtnArray_, responseArray_, VIPArray_;
  std::function<void(const kit::Id&)> rechargeBlock_;
  std::shared_ptr<CloseRoad> closeRoad_ = std::make_shared<CloseRoad>();
  std::vector<kit::Id> orderObservers_;
  bool shown_ = false;

  kit::Ref<kit::Button> coverView_, closeBtn_, panelCloseButton_, tmpBtn_;
  kit::Ref<kit::ImageView> backbg_;
  kit::Ref<kit::View> gmShopView_, vipView_;
  kit::Ref<NUVAVoucherView> voucherView_;
  kit::Ref<NUVATimeStoreTab> timeStoreView_;
  kit::Ref<NUVALevelstoreTab> levelStoreView_;
  kit::Ref<kit::Label> bundlename_;
  kit::Ref<NUVAGiftPane> gmPane_, vipPane_;
  std::vector<kit::Ref<kit::Button>> btnArray_, tabCloseButtons_;
  std::vector<std::string> strArray_, btnImage_, btnselImage_;
};

class NUVAGMShopView : public NUVAGMShopHub {
 public:
  static kit::Ref<NUVAGMShopView> init();
  static kit::Ref<NUVAGMShopView> make() { return init(); }
  NUVAGMShopView() : NUVAGMShopHub(NUVAOverlayForm::Landscape) {}
};

class NUVAVerticalGMShopView : public NUVAGMShopHub {
 public:
  static kit::Ref<NUVAVerticalGMShopView> init();
  static kit::Ref<NUVAVerticalGMShopView> make() { return init(); }
  NUVAVerticalGMShopView() : NUVAGMShopHub(NUVAOverlayForm::Portrait) {}
};
