// KTRefreshNormalHeader: the state header with an arrow that turns when the
// pull passes the trigger and a spinner while refreshing, left of the wider
// of its two texts. The user-centre lists use it.
#pragma once

#include "kit/ui/activity_indicator_view.h"
#include "kit/ui/image_view.h"
#include "ui/widgets/kt_refresh_header.h"

class KTRefreshNormalHeader : public KTRefreshStateHeader {
 public:
  using KTRefreshStateHeader::KTRefreshStateHeader;
  KT_REFRESH_FACTORIES(KTRefreshNormalHeader, header)

  // The arrow picture of the refresh bundle, tinted like the state text.
  const kit::Ref<kit::ImageView>& arrowView();
  // Made on first use with the current style; hides itself when stopped.
  kit::Ref<kit::ActivityIndicatorView> loadingView();
  kit::ActivityIndicatorStyle activityIndicatorViewStyle() const { return style_; }
  // The next spinner takes the style; the current one leaves the header.
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
