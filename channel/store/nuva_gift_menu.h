// The category menus of the store hub's GM and VIP tabs: a table of one row
// per category, titled with the category's first gift (its "gm_name" or
// "vip_name"). Picking a row posts "CloumnCategoryDataWillLoad" (VIP:
// "VIPCloumnCategoryDataWillLoad") with the row as "%ld" text, which the
// tab's grid follows. A fill selects row 0 without posting: the grid shows
// category 0 by itself. A category without gifts is listed under an empty
// title, so rows and categories stay aligned.
//
//   auto menu = kit::make<NUVAGMMenuController>();
//   menu->tableView()->setFrame(frame);
//   menu->setMenuArray(categories);   // arrays of gift dictionaries
#pragma once

#include <string>

#include "channel/store/nuva_gift_tab.h"
#include "kit/foundation/array.h"
#include "kit/ui/image_view.h"
#include "kit/ui/label.h"
#include "kit/ui/table_view.h"
#include "kit/ui/table_view_cell.h"
#include "kit/ui/view_controller.h"

// One category row: a rounded plate with the title, accent when selected.
class NUVAGiftMenuCell : public kit::TableViewCell {
 public:
  NUVAGiftMenuCell(kit::TableViewCellStyle style, const std::string& reuseIdentifier);

  const kit::Ref<kit::ImageView>& bgView() const { return bgView_; }
  const kit::Ref<kit::Label>& categoryTitleLabel() const { return categoryTitleLabel_; }
  void setFirstTitle(const std::string& title) { categoryTitleLabel_->setText(title); }

  void layoutSubviews() override;
  void setSelected(bool selected, bool animated) override;

 private:
  void showState(bool selected);

  kit::Ref<kit::ImageView> bgView_;
  kit::Ref<kit::Label> categoryTitleLabel_;
};

class NUVAGMMenuCell : public NUVAGiftMenuCell {
 public:
  using NUVAGiftMenuCell::NUVAGiftMenuCell;
};
class NUVAVIPMenuCell : public NUVAGiftMenuCell {
 public:
  using NUVAGiftMenuCell::NUVAGiftMenuCell;
};

class NUVAGiftMenuController : public kit::ViewController,
                               public kit::TableViewDataSource,
                               public kit::TableViewDelegate {
 public:
  static constexpr double kRowHeight = 40, kHeaderFooterHeight = 0.1;

  const NUVAGiftTab& tab() const { return tab_; }
  kit::Ref<kit::TableView> tableView();
  // One record per category, built from its first gift.
  const kit::Ref<kit::MutableArray>& catelogyList();
  const kit::Ref<kit::MutableArray>& menuArray() const { return menuArray_; }
  // Keeps the categories; a non-empty array rebuilds the list, and on the
  // next main-queue turn the table reloads with row 0 selected.
  void setMenuArray(const kit::Ref<kit::MutableArray>& categories);

  void loadView() override;
  void viewDidLoad() override;

  long numberOfRowsInSection(kit::TableView&, long) override;
  kit::Ref<kit::TableViewCell> cellForRowAtIndexPath(kit::TableView& table, const kit::IndexPath& indexPath) override;
  std::optional<double> heightForRowAtIndexPath(kit::TableView&, const kit::IndexPath&) override { return kRowHeight; }
  std::optional<double> heightForHeaderInSection(kit::TableView&, long) override { return kHeaderFooterHeight; }
  std::optional<double> heightForFooterInSection(kit::TableView&, long) override { return kHeaderFooterHeight; }
  kit::Ref<kit::View> viewForHeaderInSection(kit::TableView&, long) override { return kit::View::make(); }
  kit::Ref<kit::View> viewForFooterInSection(kit::TableView&, long) override { return kit::View::make(); }
  void didSelectRowAtIndexPath(kit::TableView& table, const kit::IndexPath& indexPath) override;
  void didDeselectRowAtIndexPath(kit::TableView& table, const kit::IndexPath& indexPath) override;

 protected:
  explicit NUVAGiftMenuController(const NUVAGiftTab& tab) : tab_(tab) {}

 private:
  const NUVAGiftTab& tab_;
  kit::Ref<kit::MutableArray> catelogyList_, menuArray_;
};

class NUVAGMMenuController : public NUVAGiftMenuController {
 public:
  NUVAGMMenuController() : NUVAGiftMenuController(NUVAGiftTab::gm()) {}
};
class NUVAVIPMenuController : public NUVAGiftMenuController {
 public:
  NUVAVIPMenuController() : NUVAGiftMenuController(NUVAGiftTab::vip()) {}
};
