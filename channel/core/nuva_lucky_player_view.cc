// The lucky-player cards. See nuva_lucky_player_view.h.

#include "channel/core/nuva_lucky_player_view.h"

#include <cmath>
#include <limits>

#include "channel/core/nuva_data_format.h"
#include "channel/core/nuva_lucky_player_item.h"
#include "channel/core/nuva_store_records.h"
#include "kit/foundation/bundle.h"
#include "kit/foundation/values.h"
#include "kit/graphics/image.h"
#include "kit/ui/application.h"
#include "kit/ui/font.h"
#include "kit/ui/screen.h"
#include "kit/ui/text_measure.h"
#include "kit/ui/visual_effect_view.h"
#include "kit/ui/window.h"

// ---- The two layouts --------------------------------------------------------------------

const NUVALuckyPlayerLayout& NUVALuckyPlayerLayout::landscape() {
  static const NUVALuckyPlayerLayout layout{
      .card = {575, 310},
      .whiteBackground = true,
      .closeButton = {100, 255, 110, 35},
      .titleInitialY = 30,
      .titleX = 60,
      .titleY = 35,
      .titleInset = 120,
      .titleLimit = 435,
      .tiles = {},
      .centreOnWindow = false,
      .luckBackground = "img_luckbg",
      .dayBackground = "day/img_daybg",
      .activeBackground = "img_activebg",
  };
  return layout;
}

const NUVALuckyPlayerLayout& NUVALuckyPlayerLayout::portrait() {
  static const NUVALuckyPlayerLayout layout{
      .card = {330, 540},
      .whiteBackground = false,
      .closeButton = {60, 460, 110, 35},
      .titleInitialY = 40,
      .titleX = 35,
      .titleY = 40,
      .titleInset = 100,
      .titleLimit = 240,
      .tiles = {{80, 170}, {35, 270}, {135, 270}},
      .centreOnWindow = true,
      .luckBackground = "img_veluckbg",
      .dayBackground = "day/img_vedaybg",
      .activeBackground = "img_veactivebg",
  };
  return layout;
}

kit::Ref<kit::Image> NUVALightImage(std::string_view name) {
  auto bundlePath = kit::Bundle::main()->pathForResource("NUVALight", "bundle");
  auto bundle = bundlePath ? kit::Bundle::bundleWithPath(bundlePath->utf8()) : nullptr;
  auto path = bundle ? bundle->pathForResource(name, "png") : nullptr;
  return path ? kit::Image::withContentsOfFile(path->utf8()) : nullptr;
}

kit::Ref<NUVALuckyPlayerView> NUVALuckyPlayerView::init() {
  auto card = kit::make<NUVALuckyPlayerView>();
  card->initWithFrame({});
  return card;
}

kit::Ref<NUVAVerticalLuckyPlayerView> NUVAVerticalLuckyPlayerView::init() {
  auto card = kit::make<NUVAVerticalLuckyPlayerView>();
  card->initWithFrame({});
  return card;
}

// ---- Building ---------------------------------------------------------------------------

NUVALuckyPlayerCard::NUVALuckyPlayerCard(const NUVALuckyPlayerLayout& layout)
    : kit::View(kit::Rect{}), layout_(layout) {}

void NUVALuckyPlayerCard::initWithFrame(const kit::Rect& frame) {
  setFrame(frame);
  const double W = kit::Screen::main()->bounds().width();

  backbg_ = kit::ImageView::make({0, 0, layout_.card.width, layout_.card.height});
  backbg_->setUserInteractionEnabled(true);
  if (layout_.whiteBackground) backbg_->setBackgroundColor(kit::Color::whiteColor());
  addSubview(backbg_);

  titleLabel_ = kit::Label::make({layout_.titleX, layout_.titleInitialY, W - layout_.titleInset, 25});
  titleLabel_->setBackgroundColor(kit::Color::white(1, 0.3));
  titleLabel_->layer()->setCornerRadius(4);
  titleLabel_->setClipsToBounds(true);
  titleLabel_->setNumberOfLines(0);
  titleLabel_->setFont(kit::Font::boldSystemFont(kTitleFontSize));
  titleLabel_->setTextAlignment(kit::TextAlignment::Center);
  titleLabel_->setTextColor(kit::Color::rgba(17 / 255.0, 204 / 255.0, 177 / 255.0, 1));
  backbg_->addSubview(titleLabel_);

  closeBtn_ = kit::Button::make(layout_.closeButton);
  kit::Weak<NUVALuckyPlayerCard> weak = selfAs<NUVALuckyPlayerCard>();
  closeBtn_->addAction(kit::ControlEvent::TouchUpInside, [weak] {
    if (auto card = weak.lock()) card->closeClick();
  });
  backbg_->addSubview(closeBtn_);
}

void NUVALuckyPlayerCard::setType(const kit::Ref<kit::String>& type) {
  type_ = type ? kit::String::make(type->utf8()) : nullptr;
  const std::string kind = type_ ? type_->utf8() : "";
  const char* background = nullptr;
  const char* button = nullptr;
  if (kind == "luck") {
    background = layout_.luckBackground;
    button = "img_luckbtn";
  } else if (kind == "day") {
    background = layout_.dayBackground;
    button = "day/img_daybtn";
  } else if (kind == "active") {
    background = layout_.activeBackground;
    button = "img_activebtn";
  }
  if (!background) return;
  backbg_->setImage(NUVALightImage(background));
  closeBtn_->setBackgroundImage(NUVALightImage(button), kit::ControlStateNormal);
}

kit::Ref<kit::MutableArray> NUVALuckyPlayerCard::itemsArray() {
  if (!itemsArray_) itemsArray_ = kit::MutableArray::make();
  return itemsArray_;
}

// ---- Showing and closing --------------------------------------------------------------

void NUVALuckyPlayerCard::show() {
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
  const double W = screen.width(), H = screen.height();
  const kit::Size size = layout_.card;
  setFrame({(W - size.width) / 2, (H - size.height) / 2, size.width, size.height});
  if (layout_.centreOnWindow) setCenter(window->center());
  window->addSubview(selfAs<NUVALuckyPlayerCard>());

  showTitle();
  showItems();
}

void NUVALuckyPlayerCard::showTitle() {
  const kit::Id data = playerDic_;
  // The title sits on a light plate: a value that shows nothing visible (a
  // null, a list, a flag, blanks, characters that draw nothing) hides it,
  // as a missing title does. A number shows as its text.
  std::string title = kit::shownText(data["title"]);
  if (!kit::hasVisibleCharacter(title)) title.clear();
  titleLabel_->setText(title);
  if (title.empty()) {
    titleLabel_->setHidden(true);
    return;
  }
  kit::TextAttributes attributes;
  attributes.font = kit::Font::systemFont(kTitleFontSize);
  const double L = layout_.titleLimit;
  const kit::Rect measured = kit::boundingRectWithSize(title, {L, std::numeric_limits<double>::max()},
                                                       kit::StringDrawingUsesLineFragmentOrigin, attributes);
  const double w = std::ceil(measured.width()) + 1;
  const double h = std::ceil(measured.height()) + 20;
  titleLabel_->setFrame({layout_.titleX, layout_.titleY, w > L ? L + 20 : w + 20, h});
}

void NUVALuckyPlayerCard::showItems() {
  const kit::Id data = playerDic_;
  // Anything but an array of rewards shows no tiles.
  auto items = kit::as<kit::Array>(data["items"]);
  if (!items) return;
  size_t index = 0;
  for (const kit::Id& element : *items) {
    auto tile = NUVALuckyPlayerItem::init();
    addSubview(tile);
    auto model = NUVAFixedGiftModel::withValues(element);
    tile->setModel(model);
    itemsArray()->addObject(model);
    const double side = NUVALuckyPlayerItem::kSide;
    if (layout_.tiles.empty()) {
      tile->setFrame({35 + 100.0 * static_cast<double>(index), 112, side, side});
    } else if (index < layout_.tiles.size()) {
      const kit::Point origin = layout_.tiles[index];
      tile->setFrame({origin.x, origin.y, side, side});
    } else {
      // No place for it: a tile without a frame would still draw its parts
      // at the card's corner.
      tile->setHidden(true);
    }
    ++index;
  }
}

void NUVALuckyPlayerCard::dissMiss() {
  closed_ = true;
  auto keep = selfAs<NUVALuckyPlayerCard>();
  if (coverView_) coverView_->removeFromSuperview();
  removeFromSuperview();
}

void NUVALuckyPlayerCard::closeClick() {
  if (closed_) return;
  closed_ = true;
  auto keep = selfAs<NUVALuckyPlayerCard>();
  if (closeBlock_) {
    auto block = closeBlock_;  // the block may replace or drop itself
    block();
  }
  if (coverView_) coverView_->removeFromSuperview();
  removeFromSuperview();
}
