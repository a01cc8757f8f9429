// The gif header's image sequences. See kt_refresh_gif_header.h.
#include "ui/widgets/kt_refresh_gif_header.h"

#include <algorithm>
#include <cmath>

#include "ui/widgets/kt_refresh_extension.h"

using Frame = UIViewKTExtension;

const std::vector<kit::Ref<kit::Image>>* KTRefreshImageSequences::imagesFor(KTRefreshState state) const {
  auto it = stateImages.find(state);
  return it == stateImages.end() || it->second.empty() ? nullptr : &it->second;
}

bool KTRefreshImageSequences::play(kit::ImageView& view, KTRefreshState state) const {
  const auto* images = imagesFor(state);
  if (!images) return false;
  view.stopAnimating();
  if (images->size() == 1) {
    view.setImage(images->back());
  } else {
    view.setAnimationImages(*images);
    auto duration = stateDurations.find(state);
    view.setAnimationDuration(duration == stateDurations.end() ? 0 : duration->second);
    view.startAnimating();
  }
  return true;
}

kit::Ref<kit::Image> KTRefreshImageSequences::idleImageFor(double percent) const {
  const auto* images = imagesFor(KTRefreshState::Idle);
  if (!images) return nullptr;
  const double count = static_cast<double>(images->size());
  const double index = std::clamp(std::floor(count * percent), 0.0, count - 1);
  return (*images)[static_cast<size_t>(index)];
}

const kit::Ref<kit::ImageView>& KTRefreshGifHeader::gifView() {
  if (!gifView_) {
    gifView_ = kit::ImageView::make();
    addSubview(gifView_);
  }
  return gifView_;
}

void KTRefreshStoreImages(kit::View& component, KTRefreshImageSequences& sequences,
                          std::vector<kit::Ref<kit::Image>> images, double duration, KTRefreshState state) {
  KIT_CHECK_MAIN_THREAD();
  const kit::Ref<kit::Image> first = images.empty() ? nullptr : images.front();
  sequences.stateImages[state] = std::move(images);
  sequences.stateDurations[state] = duration;
  if (first && first->size().height > Frame::KT_h(component)) Frame::setKT_h(component, first->size().height);
}

void KTRefreshGifHeader::setImages(std::vector<kit::Ref<kit::Image>> images, double duration, KTRefreshState state) {
  KTRefreshStoreImages(*this, sequences_, std::move(images), duration, state);
}

void KTRefreshGifHeader::setImages(std::vector<kit::Ref<kit::Image>> images, KTRefreshState state) {
  const double duration = static_cast<double>(images.size()) * KTRefreshImageFrameDuration;
  setImages(std::move(images), duration, state);
}

void KTRefreshGifHeader::prepare() {
  KTRefreshStateHeader::prepare();
  labelLeftInset_ = KTRefreshGifLabelLeftInset;
}

void KTRefreshGifHeader::setPullingPercent(double percent) {
  KTRefreshStateHeader::setPullingPercent(percent);
  if (state_ != KTRefreshState::Idle) return;
  if (auto image = sequences_.idleImageFor(percent)) {
    gifView()->stopAnimating();
    gifView()->setImage(image);
  }
}

void KTRefreshGifHeader::placeSubviews() {
  KTRefreshStateHeader::placeSubviews();
  if (!gifView()->constraints().empty()) return;
  gifView()->setFrame(bounds());
  if (stateLabel()->isHidden() && lastUpdatedTimeLabel()->isHidden()) {
    gifView()->setContentMode(kit::ContentMode::Center);
  } else {
    gifView()->setContentMode(kit::ContentMode::Right);
    Frame::setKT_w(*gifView(), Frame::KT_w(*this) * 0.5 - widestTextWidth() * 0.5 - labelLeftInset_);
  }
}

void KTRefreshGifHeader::setState(KTRefreshState state) {
  if (state == state_) return;
  KTRefreshStateHeader::setState(state);
  if (state == KTRefreshState::Pulling || state == KTRefreshState::Refreshing) {
    sequences_.play(*gifView(), state);
  } else if (state == KTRefreshState::Idle) {
    gifView()->stopAnimating();
  }
}
