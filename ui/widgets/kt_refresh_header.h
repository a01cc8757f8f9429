// Refresh headers: KTRefreshHeader sits above the first row of its scroll
// view; pulled fully into view it turns Pulling, and released it refreshes:
// the top inset grows by its height so it stays in view, the callbacks run,
// and endRefreshing slides it back and stores the time in the user defaults.
// KTRefreshStateHeader adds a state line and a last-updated line.
//
//   auto header = KTRefreshStateHeader::headerWithRefreshingBlock([] { ... });
//   header->setLastUpdatedTimeText([](const kit::Ref<kit::Date>& date) { return std::string("..."); });
#pragma once

#include <map>
#include <string>

#include "kit/foundation/calendar.h"
#include "kit/foundation/date.h"
#include "kit/ui/label.h"
#include "ui/widgets/kt_refresh_component.h"

class KTRefreshHeader : public KTRefreshComponent {
 public:
  using KTRefreshComponent::KTRefreshComponent;
  KT_REFRESH_FACTORIES(KTRefreshHeader, header)

  // The user-defaults key of the last-updated date.
  const std::string& lastUpdatedTimeKey() const { return lastUpdatedTimeKey_; }
  virtual void setLastUpdatedTimeKey(const std::string& key);
  // The date stored under the key (nil when none or not a date).
  kit::Ref<kit::Date> lastUpdatedTime() const;
  double ignoredScrollViewContentInsetTop() const { return ignoredScrollViewContentInsetTop_; }
  void setIgnoredScrollViewContentInsetTop(double v) { ignoredScrollViewContentInsetTop_ = v; }
  // The recorded top inset minus the one set while refreshing.
  double insetTDelta() const { return insetTDelta_; }

  void setState(KTRefreshState state) override;
  // Sets Idle on a later main-queue turn; may be called from any thread.
  void endRefreshing() override;

 protected:
  void prepare() override;
  void placeSubviews() override;
  void scrollViewContentOffsetDidChange(const kit::KeyValueChange& change) override;

 private:
  std::string lastUpdatedTimeKey_;
  double ignoredScrollViewContentInsetTop_ = 0;
  double insetTDelta_ = 0;
};

class KTRefreshStateHeader : public KTRefreshHeader {
 public:
  using TimeTextBlock = std::function<std::string(const kit::Ref<kit::Date>& lastUpdatedTime)>;
  using KTRefreshHeader::KTRefreshHeader;
  KT_REFRESH_FACTORIES(KTRefreshStateHeader, header)

  const kit::Ref<kit::Label>& stateLabel();
  const kit::Ref<kit::Label>& lastUpdatedTimeLabel();
  const std::map<KTRefreshState, std::string>& stateTitles() const { return stateTitles_; }
  // Stores the text for the state; the label shows the current state's.
  void setTitle(const std::string& title, KTRefreshState state);
  const TimeTextBlock& lastUpdatedTimeText() const { return lastUpdatedTimeText_; }
  void setLastUpdatedTimeText(TimeTextBlock block) { lastUpdatedTimeText_ = std::move(block); }
  double labelLeftInset() const { return labelLeftInset_; }
  void setLabelLeftInset(double v) { labelLeftInset_ = v; }
  // The Gregorian calendar (the user's when it cannot be made).
  static kit::Ref<kit::Calendar> currentCalendar();

  // Also brings the last-updated line up to date.
  void setLastUpdatedTimeKey(const std::string& key) override;
  void setState(KTRefreshState state) override;

 protected:
  void prepare() override;
  void placeSubviews() override;
  // The width of the wider shown text, for the subclasses' layout.
  double widestTextWidth();
  double labelLeftInset_ = KTRefreshLabelLeftInset;

 private:
  std::string lastUpdatedText(const kit::Ref<kit::Date>& date) const;

  kit::Ref<kit::Label> stateLabel_, lastUpdatedTimeLabel_;
  std::map<KTRefreshState, std::string> stateTitles_;
  TimeTextBlock lastUpdatedTimeText_;
};
