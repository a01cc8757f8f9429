// The channel's store overlays as the channel core opens them: the store
// hub (NUVAGMShopView in landscape, NUVAVerticalGMShopView in portrait), the
// level pop-up (NUVALevelPopView), the resource hall (NUVAResourceHallView /
// NUVAVerResourceHallView) and the hall's not-open pop-up (NUVANotOpenView).
//
// The overlays live in the store and hall subsystems. The core reaches them
// only through these interfaces and an installable factory: the subsystem
// that provides the views installs its factory at start-up; until one is
// installed, opening an overlay does nothing but log. Each view made by the
// factory is filled through its setters and then shown; once shown it owns
// itself (its window holds it) and removes itself when it closes.
//
// A view class implements the interface next to its kit::View base:
//
//   class NUVAGMShopView : public kit::View, public NUVAGMShopOverlay { ... };
//   class StoreViews : public NUVAStoreOverlays {
//     std::shared_ptr<NUVAGMShopOverlay> makeGMShopView(NUVAOverlayForm form) override {
//       if (form == NUVAOverlayForm::Portrait) return kit::make<NUVAVerticalGMShopView>();
//       return kit::make<NUVAGMShopView>();
//     }
//     ...
//   };
//   NUVAStoreOverlays::install(std::make_shared<StoreViews>());
//
// Every call is made on the main thread.
#pragma once

#include <functional>
#include <memory>

#include "kit/foundation/array.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/string.h"

// The order notifications the overlays post on the default notification
// centre after the game server created an order. Their object is a
// dictionary with "good_name", "good_id", "order_id", "remark" and "money".
inline constexpr const char* NUVAGIFTPAYNotification = "NUVAGIFTPAYNotification";    // time-limited packs
inline constexpr const char* NUVALEVELPAYNotification = "NUVALEVELPAYNotification";  // level gifts
inline constexpr const char* NUVAResourcePAYNotification = "NUVAResourcePAYNotification";  // hall goods

// Which class of an overlay: the interface orientation decides (portrait
// and portrait upside down give the portrait class).
enum class NUVAOverlayForm { Landscape, Portrait };

// The store hub: filled through these setters before show().
class NUVAGMShopOverlay {
 public:
  virtual ~NUVAGMShopOverlay() = default;

  // The tab to open first: "1" level gifts, "2" vouchers, otherwise the
  // default tab.
  virtual void setShop_type(const kit::Ref<kit::String>& shopType) = 0;
  // The lucky-player data for the vouchers tab (may be nil).
  virtual void setPlayerDic(const kit::Ref<kit::Dictionary>& playerDic) = 0;
  // Per-category arrays of GM and VIP item objects, each with "id" and
  // "status".
  virtual void setResponseArray(const kit::Ref<kit::MutableArray>& goods) = 0;
  virtual void setVIPArray(const kit::Ref<kit::MutableArray>& goods) = 0;
  // The menu ids ("1", "2", "3", "4", "8"); one tab per id.
  virtual void setMenuBtnArray(const kit::Ref<kit::MutableArray>& menuIds) = 0;
  virtual void setToken(const kit::Ref<kit::String>& token) = 0;
  virtual void setSuper_user_id(const kit::Ref<kit::String>& superUserId) = 0;
  virtual void setRoleid(const kit::Ref<kit::String>& roleid) = 0;
  virtual void setGmdesc(const kit::Ref<kit::String>& text) = 0;
  virtual void setVipdesc(const kit::Ref<kit::String>& text) = 0;
  virtual void setGmtotal_money(const kit::Ref<kit::String>& text) = 0;
  virtual void setViptotal_money(const kit::Ref<kit::String>& text) = 0;
  // The role description: a JSON text with ten keys, with which the hub
  // signs its own requests.
  virtual void setUserInfo(const kit::Ref<kit::String>& userInfo) = 0;
  // Called when the player asks to recharge: the hub closes itself and
  // passes a JSON text whose "event" is "open_shop".
  virtual void setRechargeBlock(std::function<void(const kit::Id& request)> block) = 0;
  // Called when the hub closes, before it leaves the window.
  virtual void setCloseBlock(std::function<void()> block) = 0;
  // Attaches the hub with a dimmed, blurred cover to the key window.
  virtual void show() = 0;
};

// The level-reached pop-up.
class NUVALevelPopOverlay {
 public:
  virtual ~NUVALevelPopOverlay() = default;
  // The address of the animated advertising picture.
  virtual void setAdPic(const kit::Ref<kit::String>& address) = 0;
  // The rewards as the JSON text of an array (other text gives no items).
  virtual void setItems(const kit::Ref<kit::String>& itemsJSON) = 0;
  // Run when the pop-up's button is pressed, before it removes itself
  // (dismissing it otherwise does not run it).
  virtual void setCloseBlock(std::function<void()> block) = 0;
  virtual void show() = 0;
};

// The resource hall; it closes itself and reports nothing back.
class NUVAResourceHallOverlay {
 public:
  virtual ~NUVAResourceHallOverlay() = default;
  virtual void setUserInfo(const kit::Ref<kit::String>& userInfo) = 0;
  // The whole "infiniteres/goodsnew" answer; the hall reads "data".
  virtual void setResponseData(const kit::Ref<kit::Dictionary>& answer) = 0;
  virtual void show() = 0;
};

// The pop-up shown when the resource hall has no goods.
class NUVANotOpenOverlay {
 public:
  virtual ~NUVANotOpenOverlay() = default;
  virtual void show() = 0;
};

// Makes the overlays. A factory may return nil for a view it cannot make;
// the core then logs and shows nothing.
class NUVAStoreOverlays {
 public:
  virtual ~NUVAStoreOverlays() = default;

  // NUVAGMShopView or NUVAVerticalGMShopView.
  virtual std::shared_ptr<NUVAGMShopOverlay> makeGMShopView(NUVAOverlayForm form) = 0;
  // NUVALevelPopView.
  virtual std::shared_ptr<NUVALevelPopOverlay> makeLevelPopView() = 0;
  // NUVAResourceHallView or NUVAVerResourceHallView.
  virtual std::shared_ptr<NUVAResourceHallOverlay> makeResourceHallView(NUVAOverlayForm form) = 0;
  // NUVANotOpenView.
  virtual std::shared_ptr<NUVANotOpenOverlay> makeNotOpenView() = 0;

  // The factory in use; nil until one is installed.
  static std::shared_ptr<NUVAStoreOverlays> installed();
  static void install(std::shared_ptr<NUVAStoreOverlays> overlays);

  // The form the status bar orientation asks for now.
  static NUVAOverlayForm currentForm();
};
