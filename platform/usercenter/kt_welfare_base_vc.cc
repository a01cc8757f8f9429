// The welfare page's gift-pack list. See kt_welfare_base_vc.h.
#include "platform/usercenter/kt_welfare_base_vc.h"

#include "kit/dispatch/queue.h"
#include "kit/foundation/format.h"
#include "kit/foundation/number.h"
#include "kit/foundation/values.h"
#include "kit/graphics/color.h"
#include "kit/ui/alert_controller.h"
#include "kit/ui/pasteboard.h"
#include "kit/ui/screen.h"
#include "net/mutable_dictionary_fields.h"
#include "platform/account/cxr_message.h"
#include "platform/base/share_vale.h"
#include "platform/usercenter/kt_gift_cells.h"

namespace {

// The list is 300 wide; its height leaves 104 points and the bar of the
// screen's height and gains 60 back (in portrait 44 less).
constexpr double W = 300, Reserved = 104, Regained = 60, PortraitReserve = 44;
constexpr unsigned Accent = 0xFF7F00;

bool hasCode(const kit::Ref<KTSuGiftModel>& model) {
  return model && model->code() && model->code()->length() > 0;
}

}  // namespace

void KTWelfareBaseVC::viewDidLoad() {
  KTPagedListVC::viewDidLoad();
  view()->addSubview(tableView());
}

kit::Ref<kit::Dictionary> KTWelfareBaseVC::listParameters() const {
  auto parameters = kit::MutableDictionary::make();
  setObjectForField(*parameters, ShareVale::sharedInstance()->userName(), "username");
  return parameters;
}

const kit::Ref<NetWorkManager>& KTWelfareBaseVC::netManager() {
  if (!netManager_) netManager_ = NetWorkManager::sharedInstance();
  return netManager_;
}

kit::Ref<kit::TableView> KTWelfareBaseVC::tableView() {
  if (tableView_) return tableView_;
  const double S = kit::Screen::main()->bounds().size.height;
  double H = S - Reserved - barHeight() + Regained;
  if (!screenIsLandscape()) H -= PortraitReserve;
  tableView_ = kit::TableView::make(kit::Rect{0, 0, W, H});
  tableView_->setDelegate(weakSelf<KTWelfareBaseVC>());
  tableView_->setDataSource(weakSelf<KTWelfareBaseVC>());
  tableView_->setSeparatorStyle(kit::TableViewSeparatorStyle::None);
  tableView_->setShowsVerticalScrollIndicator(false);
  tableView_->setShowsHorizontalScrollIndicator(false);
  KTCopyGiftCell::registerNib();
  KTGetGiftCell::registerNib();
  tableView_->registerNib(KTCopyGiftCell::SceneName, KTCopyGiftCell::SceneName);
  tableView_->registerNib(KTGetGiftCell::SceneName, KTGetGiftCell::SceneName);
  setUpRefresh(*tableView_);
  return tableView_;
}

kit::Ref<kit::TableViewCell> KTWelfareBaseVC::cellForRowAtIndexPath(kit::TableView& table,
                                                                      const kit::IndexPath& indexPath) {
  auto model = record<KTSuGiftModel>(indexPath.row);
  kit::Weak<KTWelfareBaseVC> weak = weakSelf<KTWelfareBaseVC>();
  kit::Weak<KTSuGiftModel> weakModel = model;
  if (hasCode(model)) {
    auto cell = kit::as<KTCopyGiftCell>(table.dequeueReusableCellWithIdentifier(KTCopyGiftCell::SceneName, indexPath));
    if (!cell) return kit::TableViewCell::make();
    cell->setModel(model);
    cell->setCopyBlock([weak, weakModel](const kit::Ref<kit::String>& code) {
      if (auto self = weak.lock()) self->copyCode(code, weakModel.lock());
    });
    return cell;
  }
  auto cell = kit::as<KTGetGiftCell>(table.dequeueReusableCellWithIdentifier(KTGetGiftCell::SceneName, indexPath));
  if (!cell) return kit::TableViewCell::make();
  cell->setModel(model);
  cell->setGetCodeBlock([weak, model](kit::Button& button) {
    if (auto self = weak.lock()) self->getGiftCodeWithBtn(button, model);
  });
  return cell;
}

std::optional<double> KTWelfareBaseVC::heightForRowAtIndexPath(kit::TableView&, const kit::IndexPath& indexPath) {
  auto model = record<KTSuGiftModel>(indexPath.row);
  if (!model) return 0.0;
  return hasCode(model) ? model->copyH() : model->getCodeH();
}

void KTWelfareBaseVC::getGiftCodeWithBtn(kit::Button&, const kit::Ref<KTSuGiftModel>& model) {
  auto parameters = kit::MutableDictionary::make();
  setObjectForField(*parameters, ShareVale::sharedInstance()->userName(), "username");
  setObjectForField(*parameters, model ? model->ID() : nullptr, "cardid");
  kit::Weak<KTWelfareBaseVC> weak = weakSelf<KTWelfareBaseVC>();
  netManager()->PostCouponURL(
      ClaimPath, parameters,
      [weak](const kit::Id& reply) {
        auto self = weak.lock();
        if (!self || !kit::as<kit::Dictionary>(reply)) return;
        // A reply without a readable message shows none, as a failed claim.
        if (const std::string message = kit::readableText(reply["b"]); !message.empty()) {
          CXRMessage::showMessage(kit::str(message), self->view());
        }
        long status = 0;
        if (auto n = kit::as<kit::Number>(reply["a"])) status = n->integerValue();
        else if (auto s = kit::as<kit::String>(reply["a"])) status = s->integerValue();
        if (status == 1) self->loadNewData();
      },
      [](const kit::Ref<kit::Error>&) {});
}

void KTWelfareBaseVC::copyCode(const kit::Ref<kit::String>& code, const kit::Ref<KTSuGiftModel>& model) {
  kit::Pasteboard::general()->setString(code ? code->utf8() : "");
  kit::Weak<KTWelfareBaseVC> weak = weakSelf<KTWelfareBaseVC>();
  kit::Weak<KTSuGiftModel> weakModel = model;
  kit::Queue::main().after(AlertDelay, [weak, weakModel] {
    auto page = weak.lock();
    if (!page) return;
    auto model = weakModel.lock();
    auto alert = kit::AlertController::make(
        CopiedTitle, "使用说明：" + kit::shownText(model ? model->instructions() : nullptr));
    auto action = kit::AlertAction::make(CopiedAction, kit::AlertActionStyle::Default);
    if (kit::Device::current()->systemVersionNumber() > 8.3) action->setTitleTextColor(kit::Color::hex(Accent));
    alert->addAction(action);
    page->presentViewController(alert, true);
  });
}
