// The prop tile. See nuva_fix_btn.h.

#include "channel/store/nuva_fix_btn.h"

#include <cmath>
#include <limits>

#include "channel/core/nuva_lucky_player_view.h"
#include "channel/store/nuva_store_picture.h"
#include "kit/dispatch/bind_post.h"
#include "kit/dispatch/queue.h"
#include "kit/foundation/format.h"
#include "kit/foundation/number.h"
#include "kit/foundation/values.h"
#include "kit/graphics/image.h"
#include "kit/ui/font.h"
#include "kit/ui/text_measure.h"

namespace {

// The tile's background and its labels' colour.
kit::Ref<kit::Color> tileColor() { return kit::Color::rgba(241 / 255.0, 241 / 255.0, 241 / 255.0, 1); }
kit::Ref<kit::Color> accent() { return kit::Color::rgba(17 / 255.0, 204 / 255.0, 177 / 255.0, 1); }

// A record names an item when its name is there (a JSON null is none).
bool namesAnItem(const kit::Ref<NUVAFixedGiftModel>& model) {
  return model && model->name() && !kit::isKind<kit::Null>(model->name());
}

}  // namespace

kit::Ref<NUVAFixBtn> NUVAFixBtn::init(const kit::Rect& frame) {
  auto tile = kit::make<NUVAFixBtn>(frame);
  tile->p_setUI();
  return tile;
}

NUVAFixBtn::NUVAFixBtn(const kit::Rect& frame) : kit::Button(frame, kit::ButtonType::Custom) {}

void NUVAFixBtn::p_setUI() {
  setBackgroundColor(tileColor());
  layer()->setCornerRadius(kCornerRadius);
  addSubview(icon());
  addSubview(num());
  addSubview(name());
}

void NUVAFixBtn::setModel(kit::Ref<NUVAFixedGiftModel> model) {
  KIT_CHECK_MAIN_THREAD();
  model_ = std::move(model);
  const double w = frame().width(), h = frame().height();

  if (namesAnItem(model_)) {
    num()->setHidden(false);
    name()->setHidden(false);
    icon()->setImage(nullptr);
    showIcon(model_->icon());
    num()->setText(kit::shownText(model_->amount()));
    name()->setText(kit::shownText(model_->name()));
  } else {
    icon()->setImage(NUVALightImage("fixbtnbg"));
    num()->setHidden(true);
    name()->setHidden(true);
  }

  icon()->setFrame({5, 2, w - 10, h - 10});
  kit::TextAttributes attributes;
  attributes.font = kit::Font::systemFont(kFontSize);
  const std::string text = model_ ? kit::shownText(model_->name()) : std::string();
  const kit::Rect measured =
      kit::boundingRectWithSize(text, {std::max(0.0, w - 10), std::numeric_limits<double>::max()},
                                kit::StringDrawingUsesLineFragmentOrigin, attributes);
  const double n = std::ceil(measured.height()) + 1;
  name()->setFrame({0, h - n, w, n});
  num()->setFrame({0, 2, w, kCountHeight});
}

void NUVAFixBtn::showIcon(const kit::Id& address) {
  const std::string wanted = kit::describe(address);
  NUVAStorePicture::read(address, kit::bindPost(kit::Queue::main(), weakSelf<NUVAFixBtn>(),
                                                [wanted](NUVAFixBtn& self, const kit::Ref<kit::Data>& bytes) {
                                                  // A tile that shows another item by now keeps its own picture.
                                                  if (!namesAnItem(self.model_) ||
                                                      kit::describe(self.model_->icon()) != wanted) {
                                                    return;
                                                  }
                                                  if (auto image = kit::Image::withData(bytes->span())) {
                                                    self.icon()->setImage(image);
                                                  }
                                                }));
}

const kit::Ref<kit::ImageView>& NUVAFixBtn::icon() {
  if (!icon_) {
    icon_ = kit::ImageView::make();
    icon_->setContentMode(kit::ContentMode::ScaleAspectFit);
  }
  return icon_;
}

const kit::Ref<kit::Label>& NUVAFixBtn::name() {
  if (!name_) {
    name_ = kit::Label::make();
    name_->setNumberOfLines(0);
    name_->setFont(kit::Font::boldSystemFont(kFontSize));
    name_->setTextAlignment(kit::TextAlignment::Center);
    name_->setTextColor(accent());
  }
  return name_;
}

const kit::Ref<kit::Label>& NUVAFixBtn::num() {
  if (!num_) {
    num_ = kit::Label::make();
    num_->setFont(kit::Font::boldSystemFont(kFontSize));
    num_->setTextAlignment(kit::TextAlignment::Right);
    num_->setTextColor(accent());
  }
  return num_;
}
