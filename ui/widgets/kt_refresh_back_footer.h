// Back footers: hidden below the content, they work like an upside-down
// header. The player pulls past the end and releases; the bottom inset grows
// so the footer stays in view while the next page loads, and endRefreshing
// gives the space back. KTRefreshBackStateFooter adds a state text,
// KTRefreshBackNormalFooter an arrow (upright while Pulling, turned while
// Idle) and a spinner, KTRefreshBackGifFooter image sequences.
#pragma once

#include "ui/widgets/kt_refresh_footer.h"

class KTRefreshBackFooter : public KTRefreshFooter {
 public:
  using KTRefreshFooter::KTRefreshFooter;
  KT_REFRESH_FACTORIES(KTRefreshBackFooter, footer)

  // The data count when the load began.
  long lastRefreshCount() const { return lastRefreshCount_; }
  // How much the bottom inset grew for the load.
  double lastBottomDelta() const { return lastBottomDelta_; }
  // How much taller the content is than the visible area (negative when
  // shorter).
  double heightForContentBreakView() const;
  // The offset at which the footer starts to come into view.
  double happenOffsetY() const;

  void willMoveToSuperview(kit::View* newSuperview) override;
  void setState(KTRefreshState state) override;
  // Both take effect on a later main-queue turn; callable from any thread.
  void endRefreshing() override;
  void endRefreshingWithNoMoreData() override;

 protected:
  void scrollViewContentOffsetDidChange(const kit::KeyValueChange& change) override;
  void scrollViewContentSizeDidChange(const kit::KeyValueChange& change) override;

 private:
  long lastRefreshCount_ = 0;
  double lastBottomDelta_ = 0;
};

class KTRefreshBackStateFooter : public KTRefreshBackFooter {
 public:
  using KTRefreshBackFooter::KTRefreshBackFooter;
  KT_REFRESH_FACTORIES(KTRefreshBackStateFooter, footer)

  const kit::Ref<kit::Label>& stateLabel();
  const std::map<KTRefreshState, std::string>& stateTitles() const { return stateTitles_; }
  void setTitle(const std::string& title, KTRefreshState state);
  // The stored text of the state; nullopt when none.
  std::optional<std::string> titleForState(KTRefreshState state) const;
  double labelLeftInset() const { return labelLeftInset_; }
  void setLabelLeftInset(double v) { labelLeftInset_ = v; }

  void setState(KTRefreshState state) override;

 protected:
  void prepare() override;
  void placeSubviews() override;
  double labelLeftInset_ = KTRefreshLabelLeftInset;

 private:
  kit::Ref<kit::Label> stateLabel_;
  std::map<KTRefreshState, std::string> stateTitles_;
};

class KTRefreshBackNormalFooter : public KTRefreshBackStateFooter {
 public:
  using KTRefreshBackStateFooter::KTRefreshBackStateFooter;
  KT_REFRESH_FACTORIES(KTRefreshBackNormalFooter, footer)

  const kit::Ref<kit::ImageView>& arrowView();
  kit::Ref<kit::ActivityIndicatorView> loadingView();
  kit::ActivityIndicatorStyle activityIndicatorViewStyle() const { return style_; }
  void setActivityIndicatorViewStyle(kit::ActivityIndicatorStyle style);

  void setState(KTRefreshState state) override;

 protected:
  void prepare() override;
  void placeSubviews() override;

 private:
  kit::Ref<kit::ImageView> arrowView_;
  kit::Weak<kit::ActivityIndicatorView> loadingView_;
  kit::ActivityIndicatorStyle style_ = kit::ActivityIndicatorStyle::Gray;
};

class KTRefreshBackGifFooter : public KTRefreshBackStateFooter {
 public:
  using KTRefreshBackStateFooter::KTRefreshBackStateFooter;
  KT_REFRESH_FACTORIES(KTRefreshBackGifFooter, footer)

  const kit::Ref<kit::ImageView>& gifView();
  const KTRefreshImageSequences& sequences() const { return sequences_; }
  void setImages(std::vector<kit::Ref<kit::Image>> images, double duration, KTRefreshState state);
  void setImages(std::vector<kit::Ref<kit::Image>> images, KTRefreshState state);

  void setPullingPercent(double percent) override;
  void setState(KTRefreshState state) override;

 protected:
  void prepare() override;
  void placeSubviews() override;

 private:
  kit::Ref<kit::ImageView> gifView_;
  KTRefreshImageSequences sequences_;
};
