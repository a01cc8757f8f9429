// One of the store hub's two free-gift panes (GM gifts, VIP gifts): the
// category menu on the left, the grid of the chosen category in the middle,
// and the chosen gift's name and description, its privilege text, the
// claim button and the plate with the amount recharged so far; the limit
// text runs along the bottom. In landscape the pane has its own close
// button. The hub builds both panes when it is made and fills them when it
// is shown.
//
// The claim button posts the chosen gift to "gmstore/index" (VIP:
// "vipstore/index") with the hub's token, user id and role id. "200" shows
// "领取成功" and posts "SuccessGetNotification" (VIP:
// "VIPSuccessGetNotification") with the gift, on the reply's thread; "500"
// shows "还未达到开启要求"; any other status shows the server's "msg" as an
// error. Every tap sends a claim; no gift chosen sends nothing.
#pragma once

#include <functional>
#include <string>

#include "channel/core/nuva_store_overlays.h"
#include "channel/store/nuva_gift_grid.h"
#include "channel/store/nuva_gift_menu.h"
#include "channel/store/nuva_gift_tab.h"
#include "kit/foundation/notification_center.h"
#include "kit/ui/button.h"
#include "kit/ui/image_view.h"
#include "kit/ui/label.h"
#include "kit/ui/text_view.h"
#include "kit/ui/view.h"

class NUVAGiftPane : public kit::Object {
 public:
  // Who claims: read from the hub at the tap.
  struct Claimant {
    kit::Ref<kit::String> token, super_user_id, roleid;
  };

  static kit::Ref<NUVAGiftPane> make(const NUVAGiftTab& tab, NUVAOverlayForm form,
                                     std::function<Claimant()> claimant, std::function<void()> closeClick);
  NUVAGiftPane(const NUVAGiftTab& tab, NUVAOverlayForm form, std::function<Claimant()> claimant,
               std::function<void()> closeClick);

  // Builds the pane's views into `pane` and starts following the grid's
  // chosen gift (setGMShopView / setVIPView).
  void build(const kit::Ref<kit::View>& pane);
  // Hands the categories to the menu and the grid, titles the plate and
  // sets the limit text; an empty array leaves the pane as built.
  void fill(const kit::Ref<kit::MutableArray>& categories, const kit::Ref<kit::String>& totalMoney,
            const kit::Ref<kit::String>& limitText);
  // Stops following notifications (the hub's close).
  void stopObserving();

  // The label's text with the kerning `space` over its whole length, and
  // centred.
  static void changeWordSpaceForLabel(kit::Label& label, double space);

  // ---- Actions
  // The grid chose a gift: shows its name, description and privilege.
  void loadDescData(const kit::Ref<kit::Notification>& notification);
  // The claim button.
  void toGetClick();

  // ---- Parts
  const NUVAGiftTab& tab() const { return tab_; }
  const kit::Ref<kit::View>& pane() const { return pane_; }
  const kit::Ref<NUVAGiftMenuController>& menu() const { return menu_; }
  const kit::Ref<NUVAGiftDetailController>& grid() const { return grid_; }
  const kit::Ref<kit::ImageView>& categoryFrame() const { return categoryFrame_; }
  const kit::Ref<kit::ImageView>& gridFrame() const { return gridFrame_; }
  const kit::Ref<kit::ImageView>& descBgView() const { return descBgView_; }
  const kit::Ref<kit::Label>& nameLabel() const { return nameLabel_; }
  const kit::Ref<kit::TextView>& descTextView() const { return descTextView_; }
  const kit::Ref<kit::ImageView>& gmdescBgView() const { return gmdescBgView_; }
  const kit::Ref<kit::Label>& gmdescLabel() const { return gmdescLabel_; }
  const kit::Ref<kit::Button>& claimButton() const { return claimButton_; }
  const kit::Ref<kit::Button>& totalMoney() const { return totalMoney_; }
  const kit::Ref<kit::Label>& limitLabel() const { return limitLabel_; }
  // Landscape only; nil in portrait.
  const kit::Ref<kit::Button>& closeButton() const { return closeButton_; }
  // The gift chosen last (nil until the grid announces one).
  const kit::Ref<NUVAStoreRecord>& model() const { return model_; }

 private:
  static void claimAnswered(const NUVAGiftTab& tab, const kit::Id& answer, const kit::Ref<NUVAStoreRecord>& claimed);

  const NUVAGiftTab& tab_;
  NUVAOverlayForm form_;
  std::function<Claimant()> claimant_;
  std::function<void()> closeClick_;
  kit::Ref<kit::View> pane_;
  kit::Ref<NUVAGiftMenuController> menu_;
  kit::Ref<NUVAGiftDetailController> grid_;
  kit::Ref<kit::ImageView> categoryFrame_, gridFrame_, descBgView_, gmdescBgView_;
  kit::Ref<kit::Label> nameLabel_, gmdescLabel_, limitLabel_;
  kit::Ref<kit::TextView> descTextView_;
  kit::Ref<kit::Button> claimButton_, totalMoney_, closeButton_;
  kit::Ref<NUVAStoreRecord> model_;
};
