// The store hub's time store tab (menu id "3"): the current pack
// collection's name, the server's notice, the note "每种礼包限购1次", a
// countdown to the collection's next refresh ("倒计时%d分钟%d秒") and the pack
// table. NUVATimeStoreView is the landscape tab, NUVAVerticalTimeStoreView
// the portrait one; both are NUVATimeStoreTab built from a table of
// measures taken from the screen's size.
//
// The tab reads the pack list ("timestore/goodsnew") when the hub gives it
// the role id, when its refresh countdown ends and after every payment
// (NUVAGIFTPAYSUCCESSNotification). Each layout pass reads the menu
// ("menu/new") and starts the refresh countdown of its "time_shop_refresh"
// seconds; the tab runs one countdown, under a key of its own, so a new one
// replaces the running one. When it ends the tab reads the pack list and
// the menu again. A refresh time of 0 or less re-reads at once; a second
// such answer in a row waits 10 seconds first. The countdown stops when the
// tab leaves its window.
//
//   auto tab = NUVATimeStoreView::init();
//   tab->setUserInfo(userInfo);   // first: it holds the server id
//   tab->setRoleid(roleId);       // reads the pack list
#pragma once

#include <string>

#include "channel/core/nuva_store_overlays.h"
#include "channel/store/nuva_gift_view_controller.h"
#include "kit/foundation/notification_center.h"
#include "kit/ui/image_view.h"
#include "kit/ui/label.h"
#include "kit/ui/view.h"

class NUVATimeStoreTab : public kit::View {
 public:
  // The wait before re-reading after a second refresh time of 0 or less in
  // a row.
  static constexpr double kZeroRefreshWait = 10;

  ~NUVATimeStoreTab() override;

  // ---- Inputs from the hub
  const kit::Ref<kit::String>& userInfo() const { return userInfo_; }
  // Keeps the role description, hands it to the table and takes the
  // server id from it.
  void setUserInfo(const kit::Ref<kit::String>& userInfo);
  const kit::Ref<kit::String>& roleid() const { return roleid_; }
  // Keeps the role id and reads the pack list.
  void setRoleid(const kit::Ref<kit::String>& roleid);
  const kit::Ref<kit::String>& service_id() const { return service_id_; }

  // ---- Requests
  // The menu and the refresh countdown.
  void refreshData();
  // The pack list (not sent while NUVAPLIST holds no game id).
  void getTimeStoreData();
  // After a payment: the pack list.
  void giftPaySuccessData(const kit::Ref<kit::Notification>& notification);

  // ---- Parts
  const kit::Ref<NUVAGiftTableController>& giftVC() const { return giftVC_; }
  const kit::Ref<kit::ImageView>& backdrop() const { return backdrop_; }
  const kit::Ref<kit::Label>& giftNameLabel() const { return giftNameLabel_; }
  const kit::Ref<kit::Label>& limitlabel() const { return limitlabel_; }
  const kit::Ref<kit::Label>& limitNoteLabel() const { return limitNoteLabel_; }
  const kit::Ref<kit::Label>& countLabel() const { return countLabel_; }
  // The layer over the whole tab that holds the notice, the note and the
  // countdown (it takes no touches).
  const kit::Ref<kit::View>& textLayer() const { return textLayer_; }
  NUVAOverlayForm form() const { return form_; }
  // The key of the tab's refresh countdown on NUVACountdown.
  const kit::Ref<kit::String>& countdownKey() const { return countdownKey_; }

  void layoutSubviews() override;
  void didMoveToWindow() override;

 protected:
  explicit NUVATimeStoreTab(NUVAOverlayForm form);
  // Builds the parts and registers for payments (the platform's init).
  void p_setupUI();

 private:
  void menuAnswered(const kit::Id& answer);
  void startCountdown(double seconds, bool showsCount);
  void showCount(double secondsLeft);
  void packsAnswered(const kit::Id& answer);

  NUVAOverlayForm form_;
  kit::Ref<kit::String> roleid_, userInfo_, service_id_;
  kit::Ref<NUVAGiftTableController> giftVC_;
  kit::Ref<kit::ImageView> backdrop_;
  kit::Ref<kit::View> textLayer_;
  kit::Ref<kit::Label> giftNameLabel_, limitlabel_, limitNoteLabel_, countLabel_;
  kit::Ref<kit::String> countdownKey_;
  int zeroRefreshesInRow_ = 0;
};

class NUVATimeStoreView : public NUVATimeStoreTab {
 public:
  static kit::Ref<NUVATimeStoreView> init();
  static kit::Ref<NUVATimeStoreView> make() { return init(); }
  NUVATimeStoreView() : NUVATimeStoreTab(NUVAOverlayForm::Landscape) {}
};

class NUVAVerticalTimeStoreView : public NUVATimeStoreTab {
 public:
  static kit::Ref<NUVAVerticalTimeStoreView> init();
  static kit::Ref<NUVAVerticalTimeStoreView> make() { return init(); }
  NUVAVerticalTimeStoreView() : NUVATimeStoreTab(NUVAOverlayForm::Portrait) {}
};
