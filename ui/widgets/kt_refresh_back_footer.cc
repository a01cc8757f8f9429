// The back footers. See kt_refresh_back_footer.h.
#include "ui/widgets/kt_refresh_back_footer.h"

#include <algorithm>
#include <cmath>

#include "kit/dispatch/bind_post.h"
#include "kit/dispatch/queue.h"
#include "ui/widgets/kt_refresh_extension.h"
#include "ui/widgets/ns_bundle_kt_refresh.h"
#include "ui/widgets/ui_label_kt_refresh.h"
#include "ui/widgets/ui_scroll_view_kt_refresh.h"

using Scroll = UIScrollViewKTExtension;
using Frame = UIViewKTExtension;

// ---- KTRefreshBackFooter

double KTRefreshBackFooter::heightForContentBreakView() const {
  auto scroll = scrollView();
  if (!scroll) return 0;
  const kit::EdgeInsets& recorded = scrollViewOriginalInset();
  return Scroll::KT_contentH(*scroll) - (Frame::KT_h(*scroll) - recorded.bottom - recorded.top);
}

double KTRefreshBackFooter::happenOffsetY() const {
  const double deltaH = heightForContentBreakView();
  const double top = scrollViewOriginalInset().top;
  return deltaH > 0 ? deltaH - top : -top;
}

void KTRefreshBackFooter::willMoveToSuperview(kit::View* newSuperview) {
  KTRefreshFooter::willMoveToSuperview(newSuperview);
  scrollViewContentSizeDidChange(kit::KeyValueChange{});
}

void KTRefreshBackFooter::scrollViewContentSizeDidChange(const kit::KeyValueChange& change) {
  KTRefreshFooter::scrollViewContentSizeDidChange(change);
  auto scroll = scrollView();
  if (!scroll) return;
  const kit::EdgeInsets& recorded = scrollViewOriginalInset();
  const double contentHeight = Scroll::KT_contentH(*scroll) + ignoredBottom_;
  const double visibleHeight = Frame::KT_h(*scroll) - recorded.top - recorded.bottom + ignoredBottom_;
  Frame::setKT_y(*this, std::max(contentHeight, visibleHeight));
}

void KTRefreshBackFooter::scrollViewContentOffsetDidChange(const kit::KeyValueChange& change) {
  KTRefreshFooter::scrollViewContentOffsetDidChange(change);
  auto scroll = scrollView();
  if (!scroll || state_ == KTRefreshState::Refreshing) return;
  setScrollViewOriginalInset(scroll->contentInset());
  const double offsetY = Scroll::KT_offsetY(*scroll);
  const double happen = happenOffsetY();
  if (offsetY <= happen) return;
  const double height = Frame::KT_h(*this);
  const double percent = (offsetY - happen) / height;
  if (state_ == KTRefreshState::NoMoreData) {
    setPullingPercent(percent);
    return;
  }
  if (scroll->isDragging()) {
    setPullingPercent(percent);
    const double pullingAt = happen + height;
    if (state_ == KTRefreshState::Idle && offsetY > pullingAt) {
      setState(KTRefreshState::Pulling);
    } else if (state_ == KTRefreshState::Pulling && offsetY <= pullingAt) {
      setState(KTRefreshState::Idle);
    }
  } else if (state_ == KTRefreshState::Pulling) {
    beginRefreshing();
  } else if (percent < 1) {
    setPullingPercent(percent);
  }
}

void KTRefreshBackFooter::setState(KTRefreshState state) {
  const KTRefreshState old = state_;
  if (state == old) return;
  KTRefreshFooter::setState(state);
  auto scroll = scrollView();
  if (!scroll) return;
  kit::Weak<KTRefreshBackFooter> weak = weakSelf<KTRefreshBackFooter>();
  if (state == KTRefreshState::Idle || state == KTRefreshState::NoMoreData) {
    if (old == KTRefreshState::Refreshing) {
      kit::View::animate(
          KTRefreshSlowAnimationDuration,
          [this, scroll] {
            const double bottom = Scroll::KT_insetB(*scroll) - lastBottomDelta_;
            Scroll::setKT_insetB(*scroll, bottom);
            // The content settles back inside the returned space unless
            // the player holds it.
            const double maxOffset = Scroll::KT_contentH(*scroll) + bottom - Frame::KT_h(*scroll);
            const double restOffset = std::max(maxOffset, -Scroll::KT_insetT(*scroll));
            if (!scroll->isTracking() && Scroll::KT_offsetY(*scroll) > restOffset) {
              Scroll::setKT_offsetY(*scroll, restOffset);
            }
            if (isAutomaticallyChangeAlpha()) setAlpha(0.0);
          },
          [weak](bool) {
            auto footer = weak.lock();
            if (!footer) return;
            footer->setPullingPercent(0.0);
            footer->executeEndRefreshingCompletion();
          });
    }
    const double deltaH = heightForContentBreakView();
    if (old == KTRefreshState::Refreshing && deltaH > 0 &&
        UIScrollViewKTRefresh::KT_totalDataCount(*scroll) != lastRefreshCount_) {
      Scroll::setKT_offsetY(*scroll, Scroll::KT_offsetY(*scroll));
    }
  } else if (state == KTRefreshState::Refreshing) {
    lastRefreshCount_ = UIScrollViewKTRefresh::KT_totalDataCount(*scroll);
    kit::View::animate(
        KTRefreshFastAnimationDuration,
        [this, scroll] {
          double bottom = Frame::KT_h(*this) + scrollViewOriginalInset().bottom;
          const double deltaH = heightForContentBreakView();
          if (deltaH < 0) bottom -= deltaH;  // short content: the missing height too
          lastBottomDelta_ = bottom - Scroll::KT_insetB(*scroll);
          Scroll::setKT_insetB(*scroll, bottom);
          Scroll::setKT_offsetY(*scroll, happenOffsetY() + Frame::KT_h(*this));
        },
        [weak](bool) {
          if (auto footer = weak.lock()) footer->executeRefreshingCallback();
        });
  }
}

void KTRefreshBackFooter::endRefreshing() {
  kit::bindPost(kit::Queue::main(), weakSelf<KTRefreshBackFooter>(),
                [](KTRefreshBackFooter& self) { self.setState(KTRefreshState::Idle); })();
}

void KTRefreshBackFooter::endRefreshingWithNoMoreData() {
  kit::bindPost(kit::Queue::main(), weakSelf<KTRefreshBackFooter>(),
                [](KTRefreshBackFooter& self) { self.setState(KTRefreshState::NoMoreData); })();
}

// ---- KTRefreshBackStateFooter

const kit::Ref<kit::Label>& KTRefreshBackStateFooter::stateLabel() {
  if (!stateLabel_) {
    stateLabel_ = UILabelKTRefresh::KT_label();
    addSubview(stateLabel_);
  }
  return stateLabel_;
}

void KTRefreshBackStateFooter::setTitle(const std::string& title, KTRefreshState state) {
  stateTitles_[state] = title;
  stateLabel()->setText(titleForState(state_).value_or(""));
}

std::optional<std::string> KTRefreshBackStateFooter::titleForState(KTRefreshState state) const {
  auto it = stateTitles_.find(state);
  if (it == stateTitles_.end()) return std::nullopt;
  return it->second;
}

void KTRefreshBackStateFooter::prepare() {
  KTRefreshBackFooter::prepare();
  labelLeftInset_ = KTRefreshLabelLeftInset;
  setTitle(NSBundleKTRefresh::KT_localizedStringForKey(KTRefreshBackFooterIdleText), KTRefreshState::Idle);
  setTitle(NSBundleKTRefresh::KT_localizedStringForKey(KTRefreshBackFooterPullingText), KTRefreshState::Pulling);
  setTitle(NSBundleKTRefresh::KT_localizedStringForKey(KTRefreshBackFooterRefreshingText),
           KTRefreshState::Refreshing);
  setTitle(NSBundleKTRefresh::KT_localizedStringForKey(KTRefreshBackFooterNoMoreDataText),
           KTRefreshState::NoMoreData);
}

void KTRefreshBackStateFooter::placeSubviews() {
  KTRefreshBackFooter::placeSubviews();
  if (stateLabel()->constraints().empty()) stateLabel()->setFrame(bounds());
}

void KTRefreshBackStateFooter::setState(KTRefreshState state) {
  if (state == state_) return;
  KTRefreshBackFooter::setState(state);
  stateLabel()->setText(titleForState(state).value_or(""));
}

// ---- KTRefreshBackNormalFooter

const kit::Ref<kit::ImageView>& KTRefreshBackNormalFooter::arrowView() {
  if (!arrowView_) {
    arrowView_ = kit::ImageView::make();
    arrowView_->setImage(NSBundleKTRefresh::KT_arrowImage());
    addSubview(arrowView_);
  }
  return arrowView_;
}

kit::Ref<kit::ActivityIndicatorView> KTRefreshBackNormalFooter::loadingView() {
  return KTRefreshSpinner(*this, loadingView_, style_);
}

void KTRefreshBackNormalFooter::setActivityIndicatorViewStyle(kit::ActivityIndicatorStyle style) {
  KIT_CHECK_MAIN_THREAD();
  style_ = style;
  if (auto old = loadingView_.lock()) old->removeFromSuperview();
  loadingView_.reset();
  setNeedsLayout();
}

void KTRefreshBackNormalFooter::prepare() {
  KTRefreshBackStateFooter::prepare();
  setActivityIndicatorViewStyle(kit::ActivityIndicatorStyle::Gray);
}

void KTRefreshBackNormalFooter::placeSubviews() {
  KTRefreshBackStateFooter::placeSubviews();
  double centerX = Frame::KT_w(*this) * 0.5;
  if (!stateLabel()->isHidden()) centerX -= labelLeftInset_ + UILabelKTRefresh::KT_textWith(*stateLabel()) * 0.5;
  const kit::Point center{centerX, Frame::KT_h(*this) * 0.5};
  if (arrowView()->constraints().empty()) {
    if (auto image = arrowView()->image()) Frame::setKT_size(*arrowView(), image->size());
    arrowView()->setCenter(center);
  }
  auto spinner = loadingView();
  if (spinner->constraints().empty()) spinner->setCenter(center);
  arrowView()->setTintColor(stateLabel()->textColor());
}

void KTRefreshBackNormalFooter::setState(KTRefreshState state) {
  const KTRefreshState old = state_;
  if (state == old) return;
  KTRefreshBackStateFooter::setState(state);
  auto spinner = loadingView();
  const kit::AffineTransform turned = kit::AffineTransform::makeRotation(KTRefreshArrowRotation);
  if (state == KTRefreshState::Idle) {
    if (old == KTRefreshState::Refreshing) {
      arrowView()->setTransform(turned);
      kit::Weak<KTRefreshBackNormalFooter> weak = weakSelf<KTRefreshBackNormalFooter>();
      kit::View::animate(
          KTRefreshSlowAnimationDuration, [spinner] { spinner->setAlpha(0.0); },
          [weak, spinner](bool) {
            spinner->setAlpha(1.0);
            // A load that began meanwhile keeps its spinner.
            auto self = weak.lock();
            if (!self || self->state() != KTRefreshState::Idle) return;
            spinner->stopAnimating();
            self->arrowView()->setHidden(false);
          });
    } else {
      arrowView()->setHidden(false);
      spinner->stopAnimating();
      kit::View::animate(KTRefreshFastAnimationDuration, [this, turned] { arrowView()->setTransform(turned); });
    }
  } else if (state == KTRefreshState::Pulling) {
    arrowView()->setHidden(false);
    spinner->stopAnimating();
    kit::View::animate(KTRefreshFastAnimationDuration,
                       [this] { arrowView()->setTransform(kit::AffineTransform::identity()); });
  } else if (state == KTRefreshState::Refreshing) {
    arrowView()->setHidden(true);
    spinner->startAnimating();
  } else if (state == KTRefreshState::NoMoreData) {
    arrowView()->setHidden(true);
    spinner->stopAnimating();
  }
}

// ---- KTRefreshBackGifFooter

const kit::Ref<kit::ImageView>& KTRefreshBackGifFooter::gifView() {
  if (!gifView_) {
    gifView_ = kit::ImageView::make();
    addSubview(gifView_);
  }
  return gifView_;
}

void KTRefreshBackGifFooter::setImages(std::vector<kit::Ref<kit::Image>> images, double duration,
                                       KTRefreshState state) {
  KTRefreshStoreImages(*this, sequences_, std::move(images), duration, state);
}

void KTRefreshBackGifFooter::setImages(std::vector<kit::Ref<kit::Image>> images, KTRefreshState state) {
  const double duration = static_cast<double>(images.size()) * KTRefreshImageFrameDuration;
  setImages(std::move(images), duration, state);
}

void KTRefreshBackGifFooter::prepare() {
  KTRefreshBackStateFooter::prepare();
  labelLeftInset_ = KTRefreshGifLabelLeftInset;
}

void KTRefreshBackGifFooter::setPullingPercent(double percent) {
  KTRefreshBackStateFooter::setPullingPercent(percent);
  if (state_ != KTRefreshState::Idle) return;
  if (auto image = sequences_.idleImageFor(percent)) {
    gifView()->stopAnimating();
    gifView()->setImage(image);
  }
}

void KTRefreshBackGifFooter::placeSubviews() {
  KTRefreshBackStateFooter::placeSubviews();
  if (!gifView()->constraints().empty()) return;
  gifView()->setFrame(bounds());
  if (stateLabel()->isHidden()) {
    gifView()->setContentMode(kit::ContentMode::Center);
  } else {
    gifView()->setContentMode(kit::ContentMode::Right);
    Frame::setKT_w(*gifView(), Frame::KT_w(*this) * 0.5 - labelLeftInset_ -
                                   UILabelKTRefresh::KT_textWith(*stateLabel()) * 0.5);
  }
}

void KTRefreshBackGifFooter::setState(KTRefreshState state) {
  if (state == state_) return;
  KTRefreshBackStateFooter::setState(state);
  if (state == KTRefreshState::Pulling || state == KTRefreshState::Refreshing) {
    sequences_.play(*gifView(), state);
  } else if (state == KTRefreshState::Idle) {
    gifView()->setHidden(false);
  } else if (state == KTRefreshState::NoMoreData) {
    gifView()->setHidden(true);
  }
}
