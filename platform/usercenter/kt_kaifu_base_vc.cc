// One list of the server-openings page. See kt_kaifu_base_vc.h.
#include "platform/usercenter/kt_kaifu_base_vc.h"

#include "kit/foundation/number.h"
#include "kit/foundation/values.h"
#include "kit/graphics/color.h"
#include "kit/ui/font.h"
#include "kit/ui/screen.h"
#include "platform/usercenter/kt_kaifu_cell.h"

namespace {

// The page is 300 wide; its table leaves 147 points and the user centre's
// bar of the screen's height (and in portrait 44 more).
constexpr double W = 300, Reserved = 147, PortraitReserve = 44;
constexpr double RowH = 44;
const kit::Rect kNoteFrame{0, 10, 300, 20};

}  // namespace

kit::Ref<KTKaifuBaseVC> KTKaifuBaseVC::make(std::string isDisplay) {
  auto page = kit::make<KTKaifuBaseVC>();
  page->setIs_display(std::move(isDisplay));
  return page;
}

void KTKaifuBaseVC::viewDidLoad() {
  KTPagedListVC::viewDidLoad();
  view()->addSubview(tableView());
  view()->addSubview(showL());
}

kit::Ref<kit::Dictionary> KTKaifuBaseVC::listParameters() const {
  return kit::dict({{"is_display", kit::Id(kit::str(isDisplay_))}});
}

void KTKaifuBaseVC::willApplyFirstPage(const kit::Ref<kit::Dictionary>& reply) {
  const kit::Id value = kit::Id(reply)["auto"];
  bool dynamic = false;
  if (auto n = kit::as<kit::Number>(value)) dynamic = n->boolValue();
  else if (auto s = kit::as<kit::String>(value)) dynamic = s->boolValue();
  showL()->setHidden(!dynamic);
}

kit::Ref<kit::TableView> KTKaifuBaseVC::tableView() {
  if (tableView_) return tableView_;
  const double S = kit::Screen::main()->bounds().size.height;
  double H = S - Reserved - barHeight();
  if (!screenIsLandscape()) H -= PortraitReserve;
  tableView_ = kit::TableView::make(kit::Rect{0, 0, W, H});
  tableView_->setDelegate(weakSelf<KTKaifuBaseVC>());
  tableView_->setDataSource(weakSelf<KTKaifuBaseVC>());
  tableView_->setRowHeight(RowH);
  tableView_->setSeparatorStyle(kit::TableViewSeparatorStyle::None);
  KTKaifuCell::registerNib();
  tableView_->registerNib(KTKaifuCell::SceneName, CellIdentifier);
  setUpRefresh(*tableView_);
  return tableView_;
}

kit::Ref<kit::TableViewCell> KTKaifuBaseVC::cellForRowAtIndexPath(kit::TableView& table,
                                                                   const kit::IndexPath& indexPath) {
  auto cell = kit::as<KTKaifuCell>(table.dequeueReusableCellWithIdentifier(CellIdentifier, indexPath));
  if (!cell) return kit::TableViewCell::make();
  cell->setModel(record<KTSuKaifuModel>(indexPath.row));
  cell->setBackgroundColor(indexPath.row % 2 == 0 ? kit::Color::whiteColor()
                                                    : kit::Color::rgba(0.941, 0.941, 0.941, 1));
  return cell;
}

std::optional<double> KTKaifuBaseVC::heightForRowAtIndexPath(kit::TableView&, const kit::IndexPath& indexPath) {
  auto model = record<KTSuKaifuModel>(indexPath.row);
  return model ? model->rowHeight() : RowH;
}

const kit::Ref<kit::Label>& KTKaifuBaseVC::showL() {
  if (!showL_) {
    showL_ = kit::Label::make(kNoteFrame);
    showL_->setText(DynamicNote);
    showL_->setFont(kit::Font::systemFont(14));
    showL_->setTextColor(kit::Color::redColor());
    showL_->setTextAlignment(kit::TextAlignment::Center);
    showL_->setHidden(true);
  }
  return showL_;
}
