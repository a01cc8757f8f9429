// The account-trade page. See kt_su_trade_vc.h.
#include "platform/usercenter/kt_su_trade_vc.h"

#include "kit/foundation/format.h"
#include "kit/foundation/values.h"
#include "kit/graphics/color.h"
#include "kit/ui/scene_registry.h"
#include "platform/usercenter/kt_su_box_link.h"
#include "platform/usercenter/kt_suspend_vc.h"
#include "platform/usercenter/kt_trade_cells.h"

namespace {

constexpr double W = 300, H = 500;

}  // namespace

void KTSuTradeVC::registerScene() {
  kit::SceneRegistry::shared().registerController(KTSuspendVC::Storyboard, Identifier,
                                                  [] { return kit::make<KTSuTradeVC>(); });
}

void KTSuTradeVC::loadView() {
  auto root = kit::View::make(kit::Rect{0, 0, W, H});
  root->setBackgroundColor(kit::Color::hex(0xF0F0F0));
  root->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);
  auto table = kit::TableView::make(kit::Rect{0, 0, W, H});
  table->setAutoresizingMask(kit::AutoresizingFlexibleWidth | kit::AutoresizingFlexibleHeight);
  table->setDelegate(weakSelf<KTSuTradeVC>());
  table->setDataSource(weakSelf<KTSuTradeVC>());
  root->addSubview(table);
  tableView_ = table;
  setView(root);
}

void KTSuTradeVC::viewDidLoad() {
  KTPagedListVC::viewDidLoad();
  initTableView();
}

void KTSuTradeVC::initTableView() {
  auto table = tableView();
  if (!table) return;
  table->setSeparatorStyle(kit::TableViewSeparatorStyle::None);
  table->setContentInset(kit::EdgeInsets{0, 0, BottomInset, 0});
  KTSuTradeHeadCell::registerNib();
  KTTradeCell::registerNib();
  table->registerNib(KTSuTradeHeadCell::SceneName, KTSuTradeHeadCell::SceneName);
  table->registerNib(KTTradeCell::SceneName, KTTradeCell::SceneName);
  table->setRowHeight(DefaultRowH);
  setUpRefresh(*table);
}

kit::Ref<kit::Dictionary> KTSuTradeVC::listParameters() const { return kit::dict({{"type", "ios"}}); }

long KTSuTradeVC::numberOfRowsInSection(kit::TableView&, long section) {
  return section == 0 ? 1 : static_cast<long>(dataSource()->count());
}

kit::Ref<kit::TableViewCell> KTSuTradeVC::cellForRowAtIndexPath(kit::TableView& table,
                                                                  const kit::IndexPath& indexPath) {
  if (indexPath.section == 0) {
    auto head = table.dequeueReusableCellWithIdentifier(KTSuTradeHeadCell::SceneName, indexPath);
    return head ? head : kit::TableViewCell::make();
  }
  auto cell = kit::as<KTTradeCell>(table.dequeueReusableCellWithIdentifier(KTTradeCell::SceneName, indexPath));
  if (!cell) return kit::TableViewCell::make();
  cell->setModel(record<KTSuTradeModel>(indexPath.row));
  return cell;
}

void KTSuTradeVC::didSelectRowAtIndexPath(kit::TableView&, const kit::IndexPath& indexPath) {
  if (indexPath.section != 1) return;
  auto model = record<KTSuTradeModel>(indexPath.row);
  if (!model) return;
  KTSuBoxLink::open(
      kit::format("%@%@%@", kit::str(KTSuBoxLink::Scheme), kit::str(OfferLink), model->tradeId())->utf8());
}

std::optional<double> KTSuTradeVC::heightForRowAtIndexPath(kit::TableView&, const kit::IndexPath& indexPath) {
  return indexPath.section == 0 ? HeadH : OfferH;
}
