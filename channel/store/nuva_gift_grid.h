// The gift grids of the store hub's GM and VIP tabs: the gifts of the
// category on show, each with its icon, name, amount and, once claimed, the
// badge "albuy". Choosing a gift posts "DescCategoryDataWillLoad" (VIP:
// "VIPDescCategoryDataWillLoad") with its record, and the hub describes it.
// The grid follows the menu's "CloumnCategoryDataWillLoad" and marks a
// claim announced by "SuccessGetNotification" (VIP:
// "VIPSuccessGetNotification"): the claimed gift is badged and its category
// stays on show. A claim can be announced on any thread; the grid takes it
// up on the main queue, where its arrays are read. A category without
// gifts selects and posts nothing.
//
//   auto grid = kit::make<NUVAGMDetailViewController>();
//   grid->view()->setFrame(frame);
//   grid->setSecondMArr(categories);
#pragma once

#include <string>

#include "channel/store/nuva_gift_tab.h"
#include "kit/foundation/array.h"
#include "kit/foundation/notification_center.h"
#include "kit/ui/collection_view.h"
#include "kit/ui/collection_view_layout.h"
#include "kit/ui/image_view.h"
#include "kit/ui/label.h"
#include "kit/ui/view_controller.h"

// One gift of the grid. The setters write through to the views.
class NUVAGiftDetailCell : public kit::CollectionViewCell {
 public:
  NUVAGiftDetailCell();

  // Reads the icon (the late answer for an address the cell no longer
  // shows is dropped).
  void setIconUrl(const std::string& address);
  void setGiftNum(const std::string& text) { num_->setText(text); }
  void setGiftName(const std::string& text) { name_->setText(text); }

  const kit::Ref<kit::ImageView>& icon() const { return icon_; }
  const kit::Ref<kit::Label>& name() const { return name_; }
  const kit::Ref<kit::Label>& num() const { return num_; }
  const kit::Ref<kit::ImageView>& bgView() const { return bgView_; }
  const kit::Ref<kit::ImageView>& albuy() const { return albuy_; }

  void layoutSubviews() override;
  void setSelected(bool selected) override;

 private:
  void showState(bool selected);

  kit::Ref<kit::ImageView> icon_, bgView_, albuy_;
  kit::Ref<kit::Label> name_, num_;
  std::string iconAddress_;
};

class NUVAGMDetailCell : public NUVAGiftDetailCell {};
class NUVAVIPDetailCell : public NUVAGiftDetailCell {};

class NUVAGiftDetailController : public kit::ViewController,
                                 public kit::CollectionViewDataSource,
                                 public kit::CollectionViewDelegate {
 public:
  const NUVAGiftTab& tab() const { return tab_; }
  kit::Ref<kit::CollectionView> collectionView();
  // The records of the category on show.
  const kit::Ref<kit::MutableArray>& detailCategoryList();
  // The category on show as the menu's row text; nil: category 0.
  const kit::Ref<kit::String>& index() const { return index_; }
  const std::optional<kit::IndexPath>& selectIndexPath() const { return selectIndexPath_; }
  const kit::Ref<kit::MutableArray>& secondMArr() const { return secondMArr_; }
  // Keeps every category; a non-empty array shows category 0 and, on the
  // next main-queue turn, selects and describes its first gift.
  void setSecondMArr(const kit::Ref<kit::MutableArray>& categories);
  const kit::Ref<kit::CollectionViewFlowLayout>& flowLayout();

  // ---- Notifications
  void loadHeaderCategoryData(const kit::Ref<kit::Notification>& notification);
  void successGetData(const kit::Ref<kit::Notification>& notification);

  void loadView() override;
  void viewDidLoad() override;

  long numberOfItemsInSection(kit::CollectionView&, long) override;
  kit::Ref<kit::CollectionViewCell> cellForItemAtIndexPath(kit::CollectionView& grid,
                                                           const kit::IndexPath& indexPath) override;
  void didSelectItemAtIndexPath(kit::CollectionView& grid, const kit::IndexPath& indexPath) override;

 protected:
  explicit NUVAGiftDetailController(const NUVAGiftTab& tab) : tab_(tab) {}

 private:
  void showCategory(const kit::Ref<kit::MutableArray>& categories);
  void selectFirstGift();
  void markClaimed(const kit::Ref<NUVAStoreRecord>& claimed);

  const NUVAGiftTab& tab_;
  kit::Ref<kit::MutableArray> detailCategoryList_, secondMArr_;
  kit::Ref<kit::String> index_;
  std::optional<kit::IndexPath> selectIndexPath_;
  kit::Ref<kit::CollectionViewFlowLayout> flowLayout_;
};

class NUVAGMDetailViewController : public NUVAGiftDetailController {
 public:
  NUVAGMDetailViewController() : NUVAGiftDetailController(NUVAGiftTab::gm()) {}
};
class NUVAVIPDetailViewController : public NUVAGiftDetailController {
 public:
  NUVAVIPDetailViewController() : NUVAGiftDetailController(NUVAGiftTab::vip()) {}
};
