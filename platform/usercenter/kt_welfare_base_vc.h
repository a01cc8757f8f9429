// KTWelfareBaseVC: the welfare page's list of the game's gift packs for
// the logged-in user ("Card/lists"), paged as every user-centre list. A
// pack not yet claimed shows a claim button; claiming asks "Card/receive",
// shows the server's message and, when the pack was claimed, reloads the
// list so that the pack shows its code. Copying a code puts it on the
// pasteboard and then shows the pack's instructions in an alert. A claim
// reply that is no object shows nothing. Main thread.
#pragma once

#include "kit/ui/button.h"
#include "net/network_manager.h"
#include "platform/usercenter/kt_paged_list.h"
#include "platform/usercenter/kt_su_models.h"

class KTWelfareBaseVC : public KTPagedListVC {
 public:
  static constexpr const char* Path = "Card/lists";
  static constexpr const char* ClaimPath = "Card/receive";
  static constexpr const char* CopiedTitle = "礼包码已复制";
  static constexpr const char* CopiedAction = "知道了";
  static constexpr double AlertDelay = 0.1;
  static kit::Ref<KTWelfareBaseVC> make() { return kit::make<KTWelfareBaseVC>(); }

  void viewDidLoad() override;

  std::string listPath() const override { return Path; }
  kit::Ref<kit::Dictionary> listParameters() const override;
  const kit::Class& recordClass() const override { return KTSuGiftModel::staticClass(); }

  kit::Ref<kit::TableView> tableView() override;
  kit::Ref<kit::TableViewCell> cellForRowAtIndexPath(kit::TableView& table, const kit::IndexPath& indexPath) override;
  std::optional<double> heightForRowAtIndexPath(kit::TableView& table, const kit::IndexPath& indexPath) override;

  // Claims the pack (the button stays as it is while the request runs).
  void getGiftCodeWithBtn(kit::Button& button, const kit::Ref<KTSuGiftModel>& model);
  // The copy flow of a code row.
  void copyCode(const kit::Ref<kit::String>& code, const kit::Ref<KTSuGiftModel>& model);
  // The client for claims, taken on first use.
  const kit::Ref<NetWorkManager>& netManager();

 private:
  kit::Ref<kit::TableView> tableView_;
  kit::Ref<NetWorkManager> netManager_;
};
