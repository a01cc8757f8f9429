// The GM and VIP gift grids. See nuva_gift_grid.h.

#include "channel/store/nuva_gift_grid.h"

#include <algorithm>

#include "channel/core/nuva_lucky_player_view.h"
#include "channel/store/nuva_store_picture.h"
#include "channel/store/nuva_store_support.h"
#include "kit/dispatch/bind_post.h"
#include "kit/dispatch/queue.h"
#include "kit/dispatch/thread.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/values.h"
#include "kit/graphics/color.h"
#include "kit/graphics/image.h"
#include "kit/ui/application.h"
#include "kit/ui/font.h"
#include "kit/ui/screen.h"

namespace {

kit::Ref<kit::Color> accent() { return kit::Color::hex(0x11CCB1); }

// L and S: the larger screen side over 667, the smaller over 375.
double unitL() {
  const kit::Rect s = kit::Screen::main()->bounds();
  return std::max(s.width(), s.height()) / 667;
}
double unitS() {
  const kit::Rect s = kit::Screen::main()->bounds();
  return std::min(s.width(), s.height()) / 375;
}

}  // namespace

// ---- The cell ---------------------------------------------------------------------------

NUVAGiftDetailCell::NUVAGiftDetailCell() : kit::CollectionViewCell(kit::Rect{}) {
  contentView()->setBackgroundColor(kit::Color::whiteColor());
  bgView_ = kit::ImageView::make();
  bgView_->setUserInteractionEnabled(true);
  bgView_->layer()->setCornerRadius(4);
  bgView_->layer()->setMasksToBounds(true);
  icon_ = kit::ImageView::make();
  name_ = kit::Label::make();
  name_->setFont(kit::Font::systemFont(10));
  name_->setNumberOfLines(0);
  name_->setTextAlignment(kit::TextAlignment::Left);
  name_->setTextColor(kit::Color::whiteColor());
  num_ = kit::Label::make();
  num_->setFont(kit::Font::systemFont(8));
  num_->setTextAlignment(kit::TextAlignment::Center);
  num_->setTextColor(kit::Color::whiteColor());
  num_->layer()->setCornerRadius(5);
  num_->layer()->setMasksToBounds(true);
  albuy_ = kit::ImageView::make();
  albuy_->setImage(NUVALightImage("albuy"));
  albuy_->setUserInteractionEnabled(true);
}

void NUVAGiftDetailCell::setIconUrl(const std::string& address) {
  iconAddress_ = address;
  icon_->setImage(nullptr);
  NUVAStorePicture::read(kit::str(address),
                         kit::bindPost(kit::Queue::main(), weakSelf<NUVAGiftDetailCell>(),
                                       [address](NUVAGiftDetailCell& self, const kit::Ref<kit::Data>& bytes) {
                                         if (self.iconAddress_ != address) return;
                                         if (auto image = kit::Image::withData(bytes->span())) {
                                           self.icon_->setImage(image);
                                         }
                                       }));
}

void NUVAGiftDetailCell::layoutSubviews() {
  kit::CollectionViewCell::layoutSubviews();
  const double L = unitL(), S = unitS();
  auto content = contentView();
  for (const auto& part : {kit::Ref<kit::View>(bgView_), kit::Ref<kit::View>(icon_), kit::Ref<kit::View>(name_),
                           kit::Ref<kit::View>(num_), kit::Ref<kit::View>(albuy_)}) {
    content->addSubview(part);
  }
  const kit::Rect bounds = content->bounds();
  bgView_->setFrame(content->frame());
  icon_->setFrame({0, 15, 36, 36});
  name_->setFrame({40, 5, bounds.width() - 40, 40});
  num_->setFrame({40, 45, 30 * L, 15});
  albuy_->setFrame({bounds.width() - 45 * L - 2, bounds.height() - 28 * L - 12, 45 * L, 28 * S});
  showState(isSelected());
}

void NUVAGiftDetailCell::setSelected(bool selected) {
  kit::CollectionViewCell::setSelected(selected);
  showState(selected);
}

void NUVAGiftDetailCell::showState(bool selected) {
  bgView_->setBackgroundColor(selected ? accent() : kit::Color::hex(0xF1F1F1));
  num_->setTextColor(selected ? accent() : kit::Color::whiteColor());
  num_->setBackgroundColor(selected ? kit::Color::whiteColor() : accent());
  name_->setTextColor(selected ? kit::Color::whiteColor() : accent());
}

// ---- The grid ---------------------------------------------------------------------------

const kit::Ref<kit::CollectionViewFlowLayout>& NUVAGiftDetailController::flowLayout() {
  if (flowLayout_) return flowLayout_;
  const double W = kit::Screen::main()->bounds().width() - 60, L = unitL(), S = unitS();
  const auto orientation = kit::Application::shared()->statusBarOrientation();
  const bool portrait = orientation == kit::InterfaceOrientation::Portrait ||
                        orientation == kit::InterfaceOrientation::PortraitUpsideDown;
  flowLayout_ = kit::CollectionViewFlowLayout::make();
  const double width = portrait ? (W - 0.25 * W - 30) * 0.5 : (0.5 * W - 40 * L) * 0.5;
  flowLayout_->itemSize = {width, 68 * S};
  flowLayout_->minimumLineSpacing = 5;
  flowLayout_->minimumInteritemSpacing = 0;
  flowLayout_->sectionInset = {5, 5, 0, 5};
  return flowLayout_;
}

kit::Ref<kit::CollectionView> NUVAGiftDetailController::collectionView() {
  return kit::as<kit::CollectionView>(view());
}

void NUVAGiftDetailController::loadView() { setView(kit::CollectionView::make(kit::Rect{}, flowLayout())); }

void NUVAGiftDetailController::viewDidLoad() {
  kit::ViewController::viewDidLoad();
  auto grid = collectionView();
  grid->setBackgroundColor(tab_.whiteGrid ? kit::Color::whiteColor() : kit::Color::clearColor());
  if (&tab_ == &NUVAGiftTab::gm()) {
    grid->registerClass<NUVAGMDetailCell>(tab_.detailCell);
  } else {
    grid->registerClass<NUVAVIPDetailCell>(tab_.detailCell);
  }
  grid->setBounces(true);
  grid->setShowsVerticalScrollIndicator(false);
  grid->setDataSource(weakSelf<NUVAGiftDetailController>());
  grid->setDelegate(weakSelf<NUVAGiftDetailController>());
  auto center = kit::NotificationCenter::defaultCenter();
  auto self = selfAs<NUVAGiftDetailController>();
  center->addObserver(self, &NUVAGiftDetailController::loadHeaderCategoryData, tab_.categoryNotification);
  center->addObserver(self, &NUVAGiftDetailController::successGetData, tab_.successNotification);
}

const kit::Ref<kit::MutableArray>& NUVAGiftDetailController::detailCategoryList() {
  if (!detailCategoryList_) detailCategoryList_ = kit::MutableArray::make();
  return detailCategoryList_;
}

void NUVAGiftDetailController::showCategory(const kit::Ref<kit::MutableArray>& categories) {
  detailCategoryList()->removeAllObjects();
  const long chosen = index_ ? NUVAStoreSupport::integerOf(index_) : 0;
  if (!categories || chosen < 0 || static_cast<size_t>(chosen) >= categories->count()) return;
  auto gifts = kit::as<kit::Array>(categories->objectAtIndex(static_cast<size_t>(chosen)));
  if (!gifts) return;
  for (const kit::Id& gift : *gifts) detailCategoryList()->addObject(tab_.record(gift));
}

void NUVAGiftDetailController::setSecondMArr(const kit::Ref<kit::MutableArray>& categories) {
  KIT_CHECK_MAIN_THREAD();
  secondMArr_ = categories;
  if (!categories || categories->count() == 0) return;
  // A fill shows category 0 whatever the index says.
  detailCategoryList()->removeAllObjects();
  if (auto gifts = kit::as<kit::Array>(categories->objectAtIndex(0))) {
    for (const kit::Id& gift : *gifts) detailCategoryList()->addObject(tab_.record(gift));
  }
  kit::Queue::main().async([weak = weakSelf<NUVAGiftDetailController>()] {
    auto self = weak.lock();
    if (!self) return;
    self->collectionView()->reloadData();
    self->selectFirstGift();
  });
}

void NUVAGiftDetailController::selectFirstGift() {
  // A category without gifts has nothing to select or describe.
  if (detailCategoryList()->count() == 0) return;
  auto grid = collectionView();
  const auto first = kit::IndexPath::forItem(0, 0);
  grid->selectItemAtIndexPath(first, false, 0);
  didSelectItemAtIndexPath(*grid, first);
}

void NUVAGiftDetailController::loadHeaderCategoryData(const kit::Ref<kit::Notification>& notification) {
  KIT_CHECK_MAIN_THREAD();
  index_ = kit::text(notification->object());
  showCategory(secondMArr_);
  collectionView()->reloadData();
  selectFirstGift();
}

void NUVAGiftDetailController::successGetData(const kit::Ref<kit::Notification>& notification) {
  auto claimed = kit::as<NUVAStoreRecord>(notification->object());
  if (kit::Thread::isMainThread()) {
    markClaimed(claimed);
    return;
  }
  // Claims are announced on the network's thread; the arrays belong to the
  // main queue.
  kit::Queue::main().async([weak = weakSelf<NUVAGiftDetailController>(), claimed] {
    if (auto self = weak.lock()) self->markClaimed(claimed);
  });
}

void NUVAGiftDetailController::markClaimed(const kit::Ref<NUVAStoreRecord>& claimed) {
  const std::string giftId = NUVAGiftTab::text(claimed, "gift_id");
  const std::string groupId = NUVAGiftTab::text(claimed, tab_.groupKey);
  auto marked = kit::MutableArray::make();
  if (secondMArr_) {
    for (const kit::Id& category : *secondMArr_) {
      auto gifts = kit::MutableArray::make();
      if (auto list = kit::as<kit::Array>(category)) {
        for (const kit::Id& gift : *list) {
          auto values = kit::as<kit::Dictionary>(gift);
          if (!values) {
            gifts->addObject(gift);
            continue;
          }
          auto record = tab_.record(gift);
          auto copy = kit::MutableDictionary::make();
          copy->addEntriesFromDictionary(*values);
          if (NUVAGiftTab::text(record, "gift_id") == giftId && NUVAGiftTab::text(record, tab_.groupKey) == groupId) {
            copy->setObject(kit::str("1"), std::string_view("status"));
          }
          gifts->addObject(copy);
        }
      }
      marked->addObject(gifts);
    }
  }
  setSecondMArr(marked);
  showCategory(marked);
  kit::Queue::main().async([weak = weakSelf<NUVAGiftDetailController>()] {
    if (auto self = weak.lock()) self->collectionView()->reloadData();
  });
}

long NUVAGiftDetailController::numberOfItemsInSection(kit::CollectionView&, long) {
  return static_cast<long>(detailCategoryList()->count());
}

kit::Ref<kit::CollectionViewCell> NUVAGiftDetailController::cellForItemAtIndexPath(kit::CollectionView& grid,
                                                                                   const kit::IndexPath& indexPath) {
  auto cell = kit::as<NUVAGiftDetailCell>(grid.dequeueReusableCellWithReuseIdentifier(tab_.detailCell, indexPath));
  auto record = kit::as<NUVAStoreRecord>(detailCategoryList()->objectAtIndex(static_cast<size_t>(indexPath.item())));
  auto shown = [&](const char* key) { return kit::shownText(record ? record->valueForKey(key) : nullptr); };
  cell->setGiftName(shown("gift_name"));
  cell->setIconUrl(NUVAGiftTab::text(record, "gift_icon"));
  cell->setGiftNum(shown("gift_num"));
  cell->albuy()->setHidden(!tab_.badged(record->valueForKey("status")));
  return cell;
}

void NUVAGiftDetailController::didSelectItemAtIndexPath(kit::CollectionView& grid, const kit::IndexPath& indexPath) {
  if (static_cast<size_t>(indexPath.item()) >= detailCategoryList()->count()) return;
  selectIndexPath_ = indexPath;
  if (auto cell = grid.cellForItemAtIndexPath(indexPath)) cell->setSelected(true);
  kit::NotificationCenter::defaultCenter()->postNotificationName(
      tab_.descNotification, detailCategoryList()->objectAtIndex(static_cast<size_t>(indexPath.item())));
}
