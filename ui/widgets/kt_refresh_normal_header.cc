// The normal header's arrow and spinner. See kt_refresh_normal_header.h.
#include "ui/widgets/kt_refresh_normal_header.h"

#include "ui/widgets/kt_refresh_extension.h"
#include "ui/widgets/ns_bundle_kt_refresh.h"

using Frame = UIViewKTExtension;

const kit::Ref<kit::ImageView>& KTRefreshNormalHeader::arrowView() {
  if (!arrowView_) {
    arrowView_ = kit::ImageView::make();
    arrowView_->setImage(NSBundleKTRefresh::KT_arrowImage());
    addSubview(arrowView_);
  }
  return arrowView_;
}

kit::Ref<kit::ActivityIndicatorView> KTRefreshNormalHeader::loadingView() {
  kit::Ref<kit::ActivityIndicatorView> spinner = loadingView_.lock();
  if (!spinner) {
    spinner = kit::ActivityIndicatorView::make(style_);
    spinner->setHidesWhenStopped(true);
    addSubview(spinner);
    loadingView_ = spinner;
  }
  return spinner;
}

void KTRefreshNormalHeader::setActivityIndicatorViewStyle(kit::ActivityIndicatorStyle style) {
  KIT_CHECK_MAIN_THREAD();
  style_ = style;
  if (auto old = loadingView_.lock()) old->removeFromSuperview();
  loadingView_.reset();
  setNeedsLayout();
}

void KTRefreshNormalHeader::prepare() {
  KTRefreshStateHeader::prepare();
  setActivityIndicatorViewStyle(kit::ActivityIndicatorStyle::Gray);
}

void KTRefreshNormalHeader::placeSubviews() {
  KTRefreshStateHeader::placeSubviews();
  double centerX = Frame::KT_w(*this) * 0.5;
  if (!stateLabel()->isHidden()) centerX -= widestTextWidth() * 0.5 + labelLeftInset_;
  const double centerY = Frame::KT_h(*this) * 0.5;
  const kit::Point center{centerX, centerY};
  if (arrowView()->constraints().empty()) {
    if (auto image = arrowView()->image()) Frame::setKT_size(*arrowView(), image->size());
    arrowView()->setCenter(center);
  }
  auto spinner = loadingView();
  if (spinner->constraints().empty()) spinner->setCenter(center);
  arrowView()->setTintColor(stateLabel()->textColor());
}

void KTRefreshNormalHeader::setState(KTRefreshState state) {
  const KTRefreshState old = state_;
  if (state == old) return;
  KTRefreshStateHeader::setState(state);
  auto spinner = loadingView();
  if (state == KTRefreshState::Idle) {
    if (old == KTRefreshState::Refreshing) {
      arrowView()->setTransform(kit::AffineTransform::identity());
      kit::Weak<KTRefreshNormalHeader> weak = weakSelf<KTRefreshNormalHeader>();
      kit::View::animate(
          KTRefreshSlowAnimationDuration, [spinner] { spinner->setAlpha(0.0); },
          [weak](bool) {
            auto self = weak.lock();
            if (!self) return;
            auto loading = self->loadingView();
            loading->setAlpha(1.0);
            // A pull or a refresh that began meanwhile keeps its arrow or
            // its spinner.
            if (self->state() != KTRefreshState::Idle) return;
            loading->stopAnimating();
            self->arrowView()->setHidden(false);
          });
    } else {
      spinner->stopAnimating();
      arrowView()->setHidden(false);
      kit::View::animate(KTRefreshFastAnimationDuration,
                         [this] { arrowView()->setTransform(kit::AffineTransform::identity()); });
    }
  } else if (state == KTRefreshState::Pulling) {
    spinner->stopAnimating();
    arrowView()->setHidden(false);
    kit::View::animate(KTRefreshFastAnimationDuration, [this] {
      arrowView()->setTransform(kit::AffineTransform::makeRotation(KTRefreshArrowRotation));
    });
  } else if (state == KTRefreshState::Refreshing) {
    spinner->setAlpha(1.0);
    spinner->startAnimating();
    arrowView()->setHidden(true);
  }
}
