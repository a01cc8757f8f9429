// KTKaifuBaseVC: one list of the server-openings page ("Server/lists"
// with its "is_display": "1" the opened servers, "0" those about to open),
// paged as every user-centre list. Rows alternate white and light grey and
// are as high as the server's name needs. A red note above the rows shows
// when the last first page said the game opens servers dynamically
// ("auto"). Main thread.
#pragma once

#include "kit/ui/label.h"
#include "platform/usercenter/kt_paged_list.h"
#include "platform/usercenter/kt_su_models.h"

class KTKaifuBaseVC : public KTPagedListVC {
 public:
  static constexpr const char* Path = "Server/lists";
  static constexpr const char* CellIdentifier = "KTKaifuCell";
  static constexpr const char* DynamicNote = "—— 此游戏为动态开服 ——";
  static kit::Ref<KTKaifuBaseVC> make(std::string isDisplay);

  void viewDidLoad() override;

  std::string listPath() const override { return Path; }
  kit::Ref<kit::Dictionary> listParameters() const override;
  const kit::Class& recordClass() const override { return KTSuKaifuModel::staticClass(); }
  void willApplyFirstPage(const kit::Ref<kit::Dictionary>& reply) override;

  kit::Ref<kit::TableView> tableView() override;
  kit::Ref<kit::TableViewCell> cellForRowAtIndexPath(kit::TableView& table, const kit::IndexPath& indexPath) override;
  std::optional<double> heightForRowAtIndexPath(kit::TableView& table, const kit::IndexPath& indexPath) override;

  const std::string& is_display() const { return isDisplay_; }
  void setIs_display(std::string v) { isDisplay_ = std::move(v); }
  // The dynamic-opening note, made on first use.
  const kit::Ref<kit::Label>& showL();

 private:
  std::string isDisplay_;
  kit::Ref<kit::TableView> tableView_;
  kit::Ref<kit::Label> showL_;
};
