// KTSuHomeMsgVC: the full list of the platform's news for the game (scene
// "KTSuHomeMsgVC" of the storyboard "KTSuspendVC"), ten rows a page from
// "News/lists", paged as every user-centre list. The home page's "more"
// slides it in over the container's tag-1000 area; its back button slides
// it out and removes it; a row opens the message in the user-centre web
// page titled "消息详情". Main thread.
#pragma once

#include <functional>

#include "kit/ui/button.h"
#include "platform/usercenter/kt_paged_list.h"
#include "platform/usercenter/kt_su_models.h"

class KTSuHomeMsgVC : public KTPagedListVC {
 public:
  static constexpr const char* Identifier = "KTSuHomeMsgVC";
  static constexpr const char* Path = "News/lists";
  static constexpr const char* PageSize = "10";
  static constexpr const char* MessageTitle = "消息详情";
  static constexpr double SlideOffset = 300, SlideDuration = 0.8, TitleBarH = 44, RowH = 80;
  static void registerScene();
  // Opens the list over the tag-1000 area of the opener's parent (the user
  // centre's container), off to the right until it appears; nil when the
  // opener has no such container.
  static kit::Ref<KTSuHomeMsgVC> loadMsgVC(kit::ViewController& opener);

  void loadView() override;
  void viewDidLoad() override;
  void viewDidAppear(bool animated) override;
  void initTableView();
  // The back action: removeBlock with the page, when set.
  void goBack();

  std::string listPath() const override { return Path; }
  kit::Ref<kit::Dictionary> listParameters() const override;
  const kit::Class& recordClass() const override { return KTSuHomeMsgModel::staticClass(); }

  kit::Ref<kit::TableView> tableView() override { return tableView_.lock(); }
  kit::Ref<kit::TableViewCell> cellForRowAtIndexPath(kit::TableView& table, const kit::IndexPath& indexPath) override;
  void didSelectRowAtIndexPath(kit::TableView& table, const kit::IndexPath& indexPath) override;

  using RemoveBlock = std::function<void(KTSuHomeMsgVC& page)>;
  void setRemoveBlock(RemoveBlock block) { removeBlock_ = std::move(block); }
  kit::Ref<kit::Button> backBtn() const { return backBtn_.lock(); }

 private:
  kit::Weak<kit::TableView> tableView_;
  kit::Weak<kit::Button> backBtn_;
  RemoveBlock removeBlock_;
};
