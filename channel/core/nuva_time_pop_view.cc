// The time-store banner: building its parts from the channel's resource
// bundle. See nuva_time_pop_view.h.
#include "channel/core/nuva_time_pop_view.h"

#include "kit/foundation/bundle.h"
#include "kit/foundation/data_file.h"
#include "kit/graphics/color.h"
#include "kit/ui/font.h"
#include "kit/ui/gesture_recognizer.h"
#include "ui/images/nuva_animated_gif.h"

namespace {

// The banner's size and the places of its parts, in banner points.
constexpr double W = 300, H = 75;
const kit::Rect kLastTimeFrame{200, 50, 75, 15};
const kit::Rect kCloseFrame{275, 5, 25, 25};

// The channel's resource bundle inside the main bundle, or nil.
kit::Ref<kit::Bundle> lightBundle() {
  kit::Ref<kit::String> path = kit::Bundle::main()->pathForResource("NUVALight", "bundle");
  return path ? kit::Bundle::bundleWithPath(path->utf8()) : nullptr;
}

// The path of a file of the resource bundle, or "" when it is missing.
std::string lightResource(std::string_view name, std::string_view type) {
  kit::Ref<kit::Bundle> bundle = lightBundle();
  kit::Ref<kit::String> path = bundle ? bundle->pathForResource(name, type) : nullptr;
  return path ? path->utf8() : std::string();
}

}  // namespace

kit::Ref<NUVATimePopView> NUVATimePopView::make(const kit::Rect& frame) {
  auto view = kit::make<NUVATimePopView>(frame);
  view->p_setupUI();
  return view;
}

void NUVATimePopView::p_setupUI() {
  addSubview(popBg());
  popBg()->setFrame(kit::Rect{0, 0, W, H});

  const std::string gifPath = lightResource("timepopbg", "gif");
  kit::Ref<kit::Data> gifData = gifPath.empty() ? nullptr : kit::dataWithContentsOfFile(gifPath);
  popBg()->setAnimatedImage(NUVAAnimatedGIF::animatedImageWithGIFData(gifData));

  popBg()->addSubview(lastTimeLabel());
  lastTimeLabel()->setFrame(kLastTimeFrame);

  popBg()->addSubview(closeImage());
  closeImage()->setFrame(kCloseFrame);
}

void NUVATimePopView::setHidden(bool hidden) {
  kit::View::setHidden(hidden);
  popBg()->setHidden(hidden);
}

void NUVATimePopView::addPopGestureRecognizer() {
  if (closeBlock_) closeBlock_();
}

const kit::Ref<NUVAAnimatedGIFView>& NUVATimePopView::popBg() {
  if (!popBg_) {
    popBg_ = NUVAAnimatedGIFView::make();
    popBg_->setUserInteractionEnabled(true);
    popBg_->setContentMode(kit::ContentMode::ScaleAspectFill);
  }
  return popBg_;
}

const kit::Ref<kit::Label>& NUVATimePopView::lastTimeLabel() {
  if (!lastTimeLabel_) {
    lastTimeLabel_ = kit::Label::make();
    lastTimeLabel_->setText("5秒后自动关闭");
    lastTimeLabel_->setFont(kit::Font::boldSystemFont(10));
    lastTimeLabel_->setTextAlignment(kit::TextAlignment::Right);
    lastTimeLabel_->setTextColor(kit::Color::rgba(17 / 255.0, 204 / 255.0, 177 / 255.0, 1.0));
  }
  return lastTimeLabel_;
}

const kit::Ref<kit::ImageView>& NUVATimePopView::closeImage() {
  if (!closeImage_) {
    closeImage_ = kit::ImageView::make();
    closeImage_->setUserInteractionEnabled(true);
    const std::string path = lightResource("close", "png");
    if (!path.empty()) closeImage_->setImage(kit::Image::withContentsOfFile(path));
    kit::Weak<NUVATimePopView> weak = weakSelf<NUVATimePopView>();
    closeImage_->addGestureRecognizer(kit::TapGestureRecognizer::make([weak](kit::GestureRecognizer&) {
      if (auto self = weak.lock()) self->addPopGestureRecognizer();
    }));
  }
  return closeImage_;
}
