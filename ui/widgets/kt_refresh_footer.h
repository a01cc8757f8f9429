// Refresh footers that load the next page. KTRefreshFooter holds what all
// footers share (height, the no-more-data state, automatic hiding by the
// reload-data block). The auto footers sit right below the content and load
// by themselves when the player scrolls them into view:
// KTRefreshAutoFooter, KTRefreshAutoStateFooter (a text that can be
// tapped), KTRefreshAutoNormalFooter (text and spinner; the user-centre
// lists use it) and KTRefreshAutoGifFooter (text and an image sequence).
//
//   auto footer = KTRefreshAutoNormalFooter::footerWithRefreshingBlock([] { ... load the next page ... });
//   UIScrollViewKTRefresh::setKT_footer(*table, footer);
//   ... lastPage ? footer->endRefreshingWithNoMoreData() : footer->endRefreshing();
#pragma once

#include <map>
#include <string>

#include "kit/ui/activity_indicator_view.h"
#include "kit/ui/image_view.h"
#include "kit/ui/label.h"
#include "ui/widgets/kt_refresh_component.h"
#include "ui/widgets/kt_refresh_gif_header.h"

class KTRefreshFooter : public KTRefreshComponent {
 public:
  using KTRefreshComponent::KTRefreshComponent;
  KT_REFRESH_FACTORIES(KTRefreshFooter, footer)

  double ignoredScrollViewContentInsetBottom() const { return ignoredBottom_; }
  void setIgnoredScrollViewContentInsetBottom(double v) { ignoredBottom_ = v; }
  // Hide when the list reloads empty (only through KT_reloadData).
  bool isAutomaticallyHidden() const { return automaticallyHidden_; }
  void setAutomaticallyHidden(bool v) { automaticallyHidden_ = v; }

  // NoMoreData: a final text, no loading until reset.
  virtual void endRefreshingWithNoMoreData();
  void noticeNoMoreData() { endRefreshingWithNoMoreData(); }
  void resetNoMoreData();

  void willMoveToSuperview(kit::View* newSuperview) override;

 protected:
  void prepare() override;
  double ignoredBottom_ = 0;

 private:
  bool automaticallyHidden_ = false;
};

class KTRefreshAutoFooter : public KTRefreshFooter {
 public:
  using KTRefreshFooter::KTRefreshFooter;
  KT_REFRESH_FACTORIES(KTRefreshAutoFooter, footer)

  bool isAutomaticallyRefresh() const { return automaticallyRefresh_; }
  void setAutomaticallyRefresh(bool v) { automaticallyRefresh_ = v; }
  // The part of the footer's height that must be in view before it loads.
  double triggerAutomaticallyRefreshPercent() const { return triggerPercent_; }
  void setTriggerAutomaticallyRefreshPercent(double v) { triggerPercent_ = v; }
  double appearencePercentTriggerAutoRefresh() const { return triggerPercent_; }
  void setAppearencePercentTriggerAutoRefresh(double v) { triggerPercent_ = v; }

  void willMoveToSuperview(kit::View* newSuperview) override;
  void setState(KTRefreshState state) override;
  // Hiding gives the footer's height of bottom inset back and sets Idle;
  // showing takes it again and moves the footer below the content.
  void setHidden(bool hidden) override;

  // The pause between turning Refreshing and running the callbacks.
  static constexpr double CallbackDelay = 0.5;

 protected:
  void prepare() override;
  void scrollViewContentSizeDidChange(const kit::KeyValueChange& change) override;
  void scrollViewContentOffsetDidChange(const kit::KeyValueChange& change) override;
  void scrollViewPanStateDidChange(const kit::KeyValueChange& change) override;

 private:
  bool automaticallyRefresh_ = true;
  double triggerPercent_ = 1.0;
  // Counts the loads: a delayed callback runs only for the load that
  // scheduled it, not for one started after that load ended.
  unsigned long load_ = 0;
};

class KTRefreshAutoStateFooter : public KTRefreshAutoFooter {
 public:
  using KTRefreshAutoFooter::KTRefreshAutoFooter;
  KT_REFRESH_FACTORIES(KTRefreshAutoStateFooter, footer)

  // Made on first use; a tap on it loads when Idle.
  const kit::Ref<kit::Label>& stateLabel();
  const std::map<KTRefreshState, std::string>& stateTitles() const { return stateTitles_; }
  void setTitle(const std::string& title, KTRefreshState state);
  double labelLeftInset() const { return labelLeftInset_; }
  void setLabelLeftInset(double v) { labelLeftInset_ = v; }
  bool isRefreshingTitleHidden() const { return refreshingTitleHidden_; }
  void setRefreshingTitleHidden(bool v) { refreshingTitleHidden_ = v; }
  void stateLabelClick();

  void setState(KTRefreshState state) override;

 protected:
  void prepare() override;
  void placeSubviews() override;
  double labelLeftInset_ = KTRefreshLabelLeftInset;

 private:
  kit::Ref<kit::Label> stateLabel_;
  std::map<KTRefreshState, std::string> stateTitles_;
  bool refreshingTitleHidden_ = false;
};

class KTRefreshAutoNormalFooter : public KTRefreshAutoStateFooter {
 public:
  using KTRefreshAutoStateFooter::KTRefreshAutoStateFooter;
  KT_REFRESH_FACTORIES(KTRefreshAutoNormalFooter, footer)

  kit::Ref<kit::ActivityIndicatorView> loadingView();
  kit::ActivityIndicatorStyle activityIndicatorViewStyle() const { return style_; }
  void setActivityIndicatorViewStyle(kit::ActivityIndicatorStyle style);

  void setState(KTRefreshState state) override;

 protected:
  void prepare() override;
  void placeSubviews() override;

 private:
  kit::Weak<kit::ActivityIndicatorView> loadingView_;
  kit::ActivityIndicatorStyle style_ = kit::ActivityIndicatorStyle::Gray;
};

class KTRefreshAutoGifFooter : public KTRefreshAutoStateFooter {
 public:
  using KTRefreshAutoStateFooter::KTRefreshAutoStateFooter;
  KT_REFRESH_FACTORIES(KTRefreshAutoGifFooter, footer)

  const kit::Ref<kit::ImageView>& gifView();
  const KTRefreshImageSequences& sequences() const { return sequences_; }
  void setImages(std::vector<kit::Ref<kit::Image>> images, double duration, KTRefreshState state);
  void setImages(std::vector<kit::Ref<kit::Image>> images, KTRefreshState state);

  void setState(KTRefreshState state) override;

 protected:
  void prepare() override;
  void placeSubviews() override;

 private:
  kit::Ref<kit::ImageView> gifView_;
  KTRefreshImageSequences sequences_;
};

// A spinner owned by a footer's subview list: made on first use with the
// style, hiding itself when stopped.
kit::Ref<kit::ActivityIndicatorView> KTRefreshSpinner(kit::View& owner, kit::Weak<kit::ActivityIndicatorView>& slot,
                                                      kit::ActivityIndicatorStyle style);
