// The footers' shared behaviour and the auto footers. See kt_refresh_footer.h.
#include "ui/widgets/kt_refresh_footer.h"

#include "kit/dispatch/queue.h"
#include "kit/ui/collection_view.h"
#include "kit/ui/gesture_recognizer.h"
#include "kit/ui/table_view.h"
#include "ui/widgets/kt_refresh_extension.h"
#include "ui/widgets/ns_bundle_kt_refresh.h"
#include "ui/widgets/ui_label_kt_refresh.h"
#include "ui/widgets/ui_scroll_view_kt_refresh.h"

using Scroll = UIScrollViewKTExtension;
using Frame = UIViewKTExtension;

kit::Ref<kit::ActivityIndicatorView> KTRefreshSpinner(kit::View& owner, kit::Weak<kit::ActivityIndicatorView>& slot,
                                                      kit::ActivityIndicatorStyle style) {
  kit::Ref<kit::ActivityIndicatorView> spinner = slot.lock();
  if (!spinner) {
    spinner = kit::ActivityIndicatorView::make(style);
    spinner->setHidesWhenStopped(true);
    owner.addSubview(spinner);
    slot = spinner;
  }
  return spinner;
}

// ---- KTRefreshFooter

void KTRefreshFooter::prepare() {
  KTRefreshComponent::prepare();
  Frame::setKT_h(*this, KTRefreshFooterHeight);
  automaticallyHidden_ = false;
}

void KTRefreshFooter::willMoveToSuperview(kit::View* newSuperview) {
  KTRefreshComponent::willMoveToSuperview(newSuperview);
  if (!newSuperview) return;
  auto* scroll = dynamic_cast<kit::ScrollView*>(newSuperview);
  if (!dynamic_cast<kit::TableView*>(newSuperview) && !dynamic_cast<kit::CollectionView*>(newSuperview)) return;
  kit::Weak<KTRefreshFooter> weak = weakSelf<KTRefreshFooter>();
  UIScrollViewKTRefresh::setKT_reloadDataBlock(*scroll, [weak](long totalDataCount) {
    auto footer = weak.lock();
    if (footer && footer->isAutomaticallyHidden()) footer->setHidden(totalDataCount == 0);
  });
}

void KTRefreshFooter::endRefreshingWithNoMoreData() { setState(KTRefreshState::NoMoreData); }

void KTRefreshFooter::resetNoMoreData() { setState(KTRefreshState::Idle); }

// ---- KTRefreshAutoFooter

void KTRefreshAutoFooter::prepare() {
  KTRefreshFooter::prepare();
  automaticallyRefresh_ = true;
  triggerPercent_ = 1.0;
}

void KTRefreshAutoFooter::willMoveToSuperview(kit::View* newSuperview) {
  KTRefreshFooter::willMoveToSuperview(newSuperview);
  auto scroll = scrollView();
  if (!scroll) return;
  const double height = Frame::KT_h(*this);
  if (newSuperview) {
    if (!isHidden()) Scroll::setKT_insetB(*scroll, Scroll::KT_insetB(*scroll) + height);
    Frame::setKT_y(*this, Scroll::KT_contentH(*scroll));
  } else if (!isHidden()) {
    Scroll::setKT_insetB(*scroll, Scroll::KT_insetB(*scroll) - height);
  }
}

void KTRefreshAutoFooter::scrollViewContentSizeDidChange(const kit::KeyValueChange& change) {
  KTRefreshFooter::scrollViewContentSizeDidChange(change);
  if (auto scroll = scrollView()) Frame::setKT_y(*this, Scroll::KT_contentH(*scroll));
}

void KTRefreshAutoFooter::scrollViewContentOffsetDidChange(const kit::KeyValueChange& change) {
  KTRefreshFooter::scrollViewContentOffsetDidChange(change);
  auto scroll = scrollView();
  if (!scroll || state_ != KTRefreshState::Idle || !automaticallyRefresh_ || Frame::KT_y(*this) == 0) return;
  const double height = Frame::KT_h(*this);
  const double contentH = Scroll::KT_contentH(*scroll);
  const double viewH = Frame::KT_h(*scroll);
  if (Scroll::KT_insetT(*scroll) + contentH <= viewH) return;  // short content: the pan decides
  const double trigger = contentH - viewH + height * triggerPercent_ + Scroll::KT_insetB(*scroll) - height;
  if (Scroll::KT_offsetY(*scroll) < trigger) return;
  // Only while moving towards the end.
  if (change.newValue<kit::Point>().y <= change.oldValue<kit::Point>().y) return;
  beginRefreshing();
}

void KTRefreshAutoFooter::scrollViewPanStateDidChange(const kit::KeyValueChange& change) {
  KTRefreshFooter::scrollViewPanStateDidChange(change);
  auto scroll = scrollView();
  if (!scroll || state_ != KTRefreshState::Idle) return;
  if (!pan() || pan()->state() != kit::GestureRecognizerState::Ended) return;
  const double insetT = Scroll::KT_insetT(*scroll);
  const double contentH = Scroll::KT_contentH(*scroll);
  const double viewH = Frame::KT_h(*scroll);
  const double offsetY = Scroll::KT_offsetY(*scroll);
  if (insetT + contentH <= viewH) {
    if (offsetY >= -insetT) beginRefreshing();
  } else if (offsetY >= contentH + Scroll::KT_insetB(*scroll) - viewH) {
    beginRefreshing();
  }
}

void KTRefreshAutoFooter::setState(KTRefreshState state) {
  const KTRefreshState old = state_;
  if (state == old) return;
  KTRefreshFooter::setState(state);
  if (state == KTRefreshState::Refreshing) {
    // The footer already sits in the bottom inset: nothing moves. A load
    // ended or hidden before the pause is over starts nothing, even when
    // another load began meanwhile: that one has its own pause.
    const unsigned long load = ++load_;
    kit::Weak<KTRefreshAutoFooter> weak = weakSelf<KTRefreshAutoFooter>();
    kit::Queue::main().after(CallbackDelay, [weak, load] {
      auto self = weak.lock();
      if (self && self->load_ == load && self->state() == KTRefreshState::Refreshing) {
        self->executeRefreshingCallback();
      }
    });
  } else if ((state == KTRefreshState::Idle || state == KTRefreshState::NoMoreData) &&
             old == KTRefreshState::Refreshing) {
    executeEndRefreshingCompletion();
  }
}

void KTRefreshAutoFooter::setHidden(bool hidden) {
  KIT_CHECK_MAIN_THREAD();
  const bool wasHidden = isHidden();
  KTRefreshFooter::setHidden(hidden);
  auto scroll = scrollView();
  if (!scroll || !superview()) return;
  const double height = Frame::KT_h(*this);
  if (!wasHidden && hidden) {
    setState(KTRefreshState::Idle);
    Scroll::setKT_insetB(*scroll, Scroll::KT_insetB(*scroll) - height);
  } else if (wasHidden && !hidden) {
    Scroll::setKT_insetB(*scroll, Scroll::KT_insetB(*scroll) + height);
    Frame::setKT_y(*this, Scroll::KT_contentH(*scroll));
  }
}

// ---- KTRefreshAutoStateFooter

const kit::Ref<kit::Label>& KTRefreshAutoStateFooter::stateLabel() {
  if (!stateLabel_) {
    stateLabel_ = UILabelKTRefresh::KT_label();
    addSubview(stateLabel_);
  }
  return stateLabel_;
}

void KTRefreshAutoStateFooter::setTitle(const std::string& title, KTRefreshState state) {
  stateTitles_[state] = title;
  auto it = stateTitles_.find(state_);
  stateLabel()->setText(it == stateTitles_.end() ? "" : it->second);
}

void KTRefreshAutoStateFooter::stateLabelClick() {
  if (state_ == KTRefreshState::Idle) beginRefreshing();
}

void KTRefreshAutoStateFooter::prepare() {
  KTRefreshAutoFooter::prepare();
  labelLeftInset_ = KTRefreshLabelLeftInset;
  setTitle(NSBundleKTRefresh::KT_localizedStringForKey(KTRefreshAutoFooterIdleText), KTRefreshState::Idle);
  setTitle(NSBundleKTRefresh::KT_localizedStringForKey(KTRefreshAutoFooterRefreshingText),
           KTRefreshState::Refreshing);
  setTitle(NSBundleKTRefresh::KT_localizedStringForKey(KTRefreshAutoFooterNoMoreDataText),
           KTRefreshState::NoMoreData);
  stateLabel()->setUserInteractionEnabled(true);
  kit::Weak<KTRefreshAutoStateFooter> weak = weakSelf<KTRefreshAutoStateFooter>();
  stateLabel()->addGestureRecognizer(kit::TapGestureRecognizer::make([weak](kit::GestureRecognizer&) {
    if (auto footer = weak.lock()) footer->stateLabelClick();
  }));
}

void KTRefreshAutoStateFooter::placeSubviews() {
  KTRefreshAutoFooter::placeSubviews();
  if (stateLabel()->constraints().empty()) stateLabel()->setFrame(bounds());
}

void KTRefreshAutoStateFooter::setState(KTRefreshState state) {
  if (state == state_) return;
  KTRefreshAutoFooter::setState(state);
  if (refreshingTitleHidden_ && state == KTRefreshState::Refreshing) {
    stateLabel()->setText("");
  } else {
    auto it = stateTitles_.find(state);
    stateLabel()->setText(it == stateTitles_.end() ? "" : it->second);
  }
}

// ---- KTRefreshAutoNormalFooter

kit::Ref<kit::ActivityIndicatorView> KTRefreshAutoNormalFooter::loadingView() {
  return KTRefreshSpinner(*this, loadingView_, style_);
}

void KTRefreshAutoNormalFooter::setActivityIndicatorViewStyle(kit::ActivityIndicatorStyle style) {
  KIT_CHECK_MAIN_THREAD();
  style_ = style;
  if (auto old = loadingView_.lock()) old->removeFromSuperview();
  loadingView_.reset();
  setNeedsLayout();
}

void KTRefreshAutoNormalFooter::prepare() {
  KTRefreshAutoStateFooter::prepare();
  setActivityIndicatorViewStyle(kit::ActivityIndicatorStyle::Gray);
}

void KTRefreshAutoNormalFooter::placeSubviews() {
  KTRefreshAutoStateFooter::placeSubviews();
  auto spinner = loadingView();
  if (!spinner->constraints().empty()) return;
  double centerX = Frame::KT_w(*this) * 0.5;
  if (!isRefreshingTitleHidden()) centerX -= UILabelKTRefresh::KT_textWith(*stateLabel()) * 0.5 + labelLeftInset_;
  spinner->setCenter(kit::Point{centerX, Frame::KT_h(*this) * 0.5});
}

void KTRefreshAutoNormalFooter::setState(KTRefreshState state) {
  if (state == state_) return;
  KTRefreshAutoStateFooter::setState(state);
  if (state == KTRefreshState::NoMoreData || state == KTRefreshState::Idle) {
    loadingView()->stopAnimating();
  } else if (state == KTRefreshState::Refreshing) {
    loadingView()->startAnimating();
  }
}

// ---- KTRefreshAutoGifFooter

const kit::Ref<kit::ImageView>& KTRefreshAutoGifFooter::gifView() {
  if (!gifView_) {
    gifView_ = kit::ImageView::make();
    addSubview(gifView_);
  }
  return gifView_;
}

void KTRefreshAutoGifFooter::setImages(std::vector<kit::Ref<kit::Image>> images, double duration,
                                       KTRefreshState state) {
  KTRefreshStoreImages(*this, sequences_, std::move(images), duration, state);
}

void KTRefreshAutoGifFooter::setImages(std::vector<kit::Ref<kit::Image>> images, KTRefreshState state) {
  const double duration = static_cast<double>(images.size()) * KTRefreshImageFrameDuration;
  setImages(std::move(images), duration, state);
}

void KTRefreshAutoGifFooter::prepare() {
  KTRefreshAutoStateFooter::prepare();
  labelLeftInset_ = KTRefreshGifLabelLeftInset;
}

void KTRefreshAutoGifFooter::placeSubviews() {
  KTRefreshAutoStateFooter::placeSubviews();
  if (!gifView()->constraints().empty()) return;
  gifView()->setFrame(bounds());
  if (isRefreshingTitleHidden()) {
    gifView()->setContentMode(kit::ContentMode::Center);
  } else {
    gifView()->setContentMode(kit::ContentMode::Right);
    Frame::setKT_w(*gifView(), Frame::KT_w(*this) * 0.5 - labelLeftInset_ -
                                   UILabelKTRefresh::KT_textWith(*stateLabel()) * 0.5);
  }
}

void KTRefreshAutoGifFooter::setState(KTRefreshState state) {
  if (state == state_) return;
  KTRefreshAutoStateFooter::setState(state);
  if (state == KTRefreshState::Refreshing) {
    if (sequences_.imagesFor(state)) {
      gifView()->setHidden(false);
      sequences_.play(*gifView(), state);
    }
  } else if (state == KTRefreshState::NoMoreData || state == KTRefreshState::Idle) {
    gifView()->stopAnimating();
    gifView()->setHidden(true);
  }
}
