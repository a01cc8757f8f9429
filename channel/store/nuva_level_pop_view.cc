// The level-reached pop-up. See nuva_level_pop_view.h.

#include "channel/store/nuva_level_pop_view.h"

#include "channel/core/nuva_data_format.h"
#include "channel/core/nuva_lucky_player_view.h"
#include "channel/core/nuva_store_records.h"
#include "channel/store/nuva_store_picture.h"
#include "kit/dispatch/bind_post.h"
#include "kit/dispatch/queue.h"
#include "kit/foundation/values.h"
#include "kit/graphics/image.h"
#include "kit/ui/application.h"
#include "kit/ui/font.h"
#include "kit/ui/screen.h"
#include "kit/ui/visual_effect_view.h"
#include "kit/ui/window.h"
#include "ui/images/nuva_animated_gif.h"

namespace {

// The panel, in pop-up points (the picture frame in the background's, the
// picture in its frame's).
const kit::Rect kBackground{0, 50, 300, 230};
const kit::Rect kLogo{40, 26, 220, 50};
const kit::Rect kPictureFrame{20, 26, 260, 136};
const kit::Rect kPicture{4, 4, 252, 128};
const kit::Rect kCloseButton{296, 0, 30, 30};
const kit::Rect kGoButton{100, 296, 100, 30};
// A reward tile: its parts, in tile points (the icon and the amount in the
// item background's).
constexpr double kTileX = 15, kTileY = 160;
const kit::Rect kItemBackground{10, 2, 46, 46};
const kit::Rect kItemIcon{10, 10, 26, 26};
const kit::Rect kAmount{0, 36, 44, 10};
const kit::Rect kName{0, 46, 66, 20};

kit::Ref<kit::Label> tileLabel(const kit::Rect& frame, kit::TextAlignment alignment, kit::Ref<kit::Color> colour) {
  auto label = kit::Label::make(frame);
  label->setFont(kit::Font::systemFont(8));
  label->setNumberOfLines(0);
  label->setTextAlignment(alignment);
  label->setTextColor(std::move(colour));
  return label;
}

}  // namespace

kit::Ref<NUVALevelPopView> NUVALevelPopView::init() {
  auto view = kit::make<NUVALevelPopView>();
  view->p_setupUI();
  return view;
}

void NUVALevelPopView::p_setupUI() {
  backbg_ = kit::ImageView::make(kBackground);
  backbg_->setImage(NUVALightImage("levelpopbg"));
  addSubview(backbg_);

  logo_ = kit::ImageView::make(kLogo);
  logo_->setImage(NUVALightImage("levelpoplogo"));
  addSubview(logo_);

  mainImg_ = kit::ImageView::make(kPictureFrame);
  mainImg_->setImage(NUVALightImage("levelpopimg"));
  backbg_->addSubview(mainImg_);

  adImge_ = NUVAAnimatedGIFView::make(kPicture);
  adImge_->setContentMode(kit::ContentMode::ScaleAspectFit);
  mainImg_->addSubview(adImge_);

  kit::Weak<NUVALevelPopView> weak = weakSelf<NUVALevelPopView>();
  closeButton_ = kit::Button::make(kCloseButton);
  closeButton_->setBackgroundImage(NUVALightImage("levelpopclose"), kit::ControlStateNormal);
  closeButton_->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->dissMiss();
  });
  addSubview(closeButton_);

  goButton_ = kit::Button::make(kGoButton);
  goButton_->setBackgroundImage(NUVALightImage("levelpopbtn"), kit::ControlStateNormal);
  goButton_->setTitle("前往", kit::ControlStateNormal);
  goButton_->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto self = weak.lock()) self->popClick();
  });
  addSubview(goButton_);
}

const kit::Ref<kit::MutableArray>& NUVALevelPopView::itemsArray() {
  if (!itemsArray_) itemsArray_ = kit::MutableArray::make();
  return itemsArray_;
}

void NUVALevelPopView::setAdPic(const kit::Ref<kit::String>& address) {
  KIT_CHECK_MAIN_THREAD();
  adPic_ = address ? kit::str(address->utf8()) : nullptr;
}

void NUVALevelPopView::setItems(const kit::Ref<kit::String>& itemsJSON) {
  KIT_CHECK_MAIN_THREAD();
  items_ = itemsJSON ? kit::str(itemsJSON->utf8()) : nullptr;
  itemsArray()->removeAllObjects();
  // Only an array of items gives tiles.
  if (auto list = kit::as<kit::Array>(NUVADataFormat::arrayWithJsonString(items_))) {
    itemsArray()->addObjectsFromArray(*list);
  }
}

void NUVALevelPopView::setCloseBlock(std::function<void()> block) {
  KIT_CHECK_MAIN_THREAD();
  closeBlock_ = std::move(block);
}

void NUVALevelPopView::show() {
  KIT_CHECK_MAIN_THREAD();
  auto window = kit::Application::shared()->keyWindow();
  if (!window || shown_) return;
  shown_ = true;

  coverView_ = kit::Button::make(window->bounds());
  coverView_->setBackgroundColor(kit::Color::white(0, 0.5));
  auto blur =
      kit::VisualEffectView::make(kit::BlurEffect::withStyle(kit::BlurEffectStyle::Dark), coverView_->bounds());
  blur->setAlpha(kBlurAlpha);
  coverView_->addSubview(blur);
  window->addSubview(coverView_);

  const kit::Rect screen = kit::Screen::main()->bounds();
  setFrame({(screen.width() - kSide) * 0.5, (screen.height() - kSide) * 0.5, kSide, kSide});
  window->addSubview(selfAs<NUVALevelPopView>());

  showAdPicture();
  showItems();
}

void NUVALevelPopView::showAdPicture() {
  const std::string wanted = kit::describe(adPic_);
  NUVAStorePicture::read(adPic_, kit::bindPost(kit::Queue::main(), weakSelf<NUVALevelPopView>(),
                                               [wanted](NUVALevelPopView& self, const kit::Ref<kit::Data>& bytes) {
                                                 if (kit::describe(self.adPic_) != wanted) return;
                                                 self.adImge_->setAnimatedImage(
                                                     NUVAAnimatedGIF::animatedImageWithGIFData(bytes));
                                               }));
}

void NUVALevelPopView::showItems() {
  // Every tile is laid out, also those beyond the panel's width.
  size_t i = 0;
  for (const kit::Id& entry : *itemsArray()) {
    auto model = NUVAFixedGiftModel::withValues(entry);
    auto tile = kit::View::make({kTileX + kTilePitch * static_cast<double>(i), kTileY, kTileSide, kTileSide});
    backbg_->addSubview(tile);

    auto itemBackground = kit::ImageView::make(kItemBackground);
    itemBackground->setImage(NUVALightImage("levelpopitembg"));
    tile->addSubview(itemBackground);

    auto icon = kit::ImageView::make(kItemIcon);
    itemBackground->addSubview(icon);
    NUVAStorePicture::read(model->icon(),
                           kit::bindPost(kit::Queue::main(), kit::Weak<kit::ImageView>(icon),
                                         [](kit::ImageView& view, const kit::Ref<kit::Data>& bytes) {
                                           if (auto image = kit::Image::withData(bytes->span())) view.setImage(image);
                                         }));

    auto amount = tileLabel(kAmount, kit::TextAlignment::Right, kit::Color::whiteColor());
    amount->setText(kit::shownText(model->amount()));
    itemBackground->addSubview(amount);

    auto name = tileLabel(kName, kit::TextAlignment::Center, kit::Color::blackColor());
    name->setText(kit::shownText(model->name()));
    tile->addSubview(name);

    tiles_.push_back(tile);
    ++i;
  }
}

void NUVALevelPopView::dissMiss() {
  KIT_CHECK_MAIN_THREAD();
  auto keep = selfAs<NUVALevelPopView>();
  if (coverView_) coverView_->removeFromSuperview();
  removeFromSuperview();
}

void NUVALevelPopView::popClick() {
  KIT_CHECK_MAIN_THREAD();
  auto keep = selfAs<NUVALevelPopView>();
  // The block runs once, even if the button is tapped again before the
  // pop-up is gone.
  if (auto block = std::move(closeBlock_)) {
    closeBlock_ = nullptr;
    block();
  }
  dissMiss();
}
