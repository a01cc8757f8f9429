// The store hub's level store tab (menu id "8"): the level pack table and,
// below it, a notice line from the server (bold 12, #11CCB1). The tab reads
// the pack list ("levelstore/goodsnew") at every layout pass and shows the
// notice and the packs of a "200" answer whose "data" has entries.
// NUVALevelstoreView is the landscape tab, NUVAVerLevelstoreView the
// portrait one; both are NUVALevelstoreTab, measured from the screen.
//
//   auto tab = NUVALevelstoreView::init();
//   tab->setUserInfo(userInfo);
#pragma once

#include "channel/core/nuva_store_overlays.h"
#include "channel/store/nuva_level_store_controller.h"
#include "kit/ui/label.h"
#include "kit/ui/view.h"

class NUVALevelstoreTab : public kit::View {
 public:
  const kit::Ref<kit::String>& userInfo() const { return userInfo_; }
  // Keeps the role description and hands it to the table.
  void setUserInfo(const kit::Ref<kit::String>& userInfo);
  // Reads the pack list; shows its notice and its packs.
  void refreshData();

  // The table, made on first use.
  const kit::Ref<NUVALevelTableController>& giftVC();
  const kit::Ref<kit::Label>& limitlabel() const { return limitlabel_; }
  // The layer over the tab that holds the notice (it takes no touches).
  const kit::Ref<kit::View>& textLayer() const { return textLayer_; }
  NUVAOverlayForm form() const { return form_; }

  void layoutSubviews() override;

 protected:
  explicit NUVALevelstoreTab(NUVAOverlayForm form) : kit::View(kit::Rect{}), form_(form) {}
  // Builds the parts (the platform's initWithFrame:).
  void p_setupUI();

 private:
  void packsAnswered(const kit::Id& answer);

  NUVAOverlayForm form_;
  kit::Ref<kit::String> userInfo_;
  kit::Ref<NUVALevelTableController> giftVC_;
  kit::Ref<kit::View> textLayer_;
  kit::Ref<kit::Label> limitlabel_;
};

class NUVALevelstoreView : public NUVALevelstoreTab {
 public:
  static kit::Ref<NUVALevelstoreView> init();
  static kit::Ref<NUVALevelstoreView> make() { return init(); }
  NUVALevelstoreView() : NUVALevelstoreTab(NUVAOverlayForm::Landscape) {}
};

class NUVAVerLevelstoreView : public NUVALevelstoreTab {
 public:
  static kit::Ref<NUVAVerLevelstoreView> init();
  static kit::Ref<NUVAVerLevelstoreView> make() { return init(); }
  NUVAVerLevelstoreView() : NUVALevelstoreTab(NUVAOverlayForm::Portrait) {}
};
