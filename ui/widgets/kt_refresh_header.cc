// The refresh header's pull, inset and last-updated handling, and the state
// header's two lines. See kt_refresh_header.h.
#include "ui/widgets/kt_refresh_header.h"

#include <algorithm>

#include "kit/dispatch/bind_post.h"
#include "kit/dispatch/queue.h"
#include "kit/foundation/date_formatter.h"
#include "kit/foundation/user_defaults.h"
#include "ui/widgets/kt_refresh_extension.h"
#include "ui/widgets/ns_bundle_kt_refresh.h"
#include "ui/widgets/ui_label_kt_refresh.h"

using Scroll = UIScrollViewKTExtension;
using Frame = UIViewKTExtension;

// ---- KTRefreshHeader

void KTRefreshHeader::prepare() {
  KTRefreshComponent::prepare();
  setLastUpdatedTimeKey(KTRefreshHeaderLastUpdatedTimeKey);
  Frame::setKT_h(*this, KTRefreshHeaderHeight);
}

void KTRefreshHeader::setLastUpdatedTimeKey(const std::string& key) { lastUpdatedTimeKey_ = key; }

kit::Ref<kit::Date> KTRefreshHeader::lastUpdatedTime() const {
  return std::dynamic_pointer_cast<kit::Date>(kit::UserDefaults::standardUserDefaults()->objectForKey(lastUpdatedTimeKey_));
}

void KTRefreshHeader::placeSubviews() {
  KTRefreshComponent::placeSubviews();
  Frame::setKT_y(*this, -Frame::KT_h(*this) - ignoredScrollViewContentInsetTop_);
}

void KTRefreshHeader::scrollViewContentOffsetDidChange(const kit::KeyValueChange& change) {
  KTRefreshComponent::scrollViewContentOffsetDidChange(change);
  auto scroll = scrollView();
  if (!scroll) return;
  const double height = Frame::KT_h(*this);
  const double offsetY = Scroll::KT_offsetY(*scroll);
  if (state_ == KTRefreshState::Refreshing) {
    // Pinned while the player scrolls; the space goes back as the content moves up.
    if (!window()) return;
    const double recordedTop = scrollViewOriginalInset().top;
    const double insetT = std::min(std::max(-offsetY, recordedTop), recordedTop + height);
    Scroll::setKT_insetT(*scroll, insetT);
    insetTDelta_ = recordedTop - insetT;
    return;
  }
  setScrollViewOriginalInset(scroll->contentInset());
  const double happen = -scrollViewOriginalInset().top;
  if (offsetY > happen) return;  // out of sight
  const double trigger = happen - height;
  const double percent = (happen - offsetY) / height;
  if (scroll->isDragging()) {
    setPullingPercent(percent);
    if (state_ == KTRefreshState::Idle && offsetY < trigger) {
      setState(KTRefreshState::Pulling);
    } else if (state_ == KTRefreshState::Pulling && offsetY >= trigger) {
      setState(KTRefreshState::Idle);
    }
  } else if (state_ == KTRefreshState::Pulling) {
    beginRefreshing();
  } else if (percent < 1) {
    setPullingPercent(percent);
  }
}

void KTRefreshHeader::setState(KTRefreshState state) {
  const KTRefreshState old = state_;
  if (state == old) return;
  KTRefreshComponent::setState(state);
  if (state == KTRefreshState::Refreshing) {
    kit::bindPost(kit::Queue::main(), weakSelf<KTRefreshHeader>(), [](KTRefreshHeader& self) {
      kit::Weak<KTRefreshHeader> weak = self.weakSelf<KTRefreshHeader>();
      kit::View::animate(
          KTRefreshFastAnimationDuration,
          [&self] {
            auto scroll = self.scrollView();
            if (!scroll) return;
            const double top = self.scrollViewOriginalInset().top + Frame::KT_h(self);
            Scroll::setKT_insetT(*scroll, top);
            scroll->setContentOffset(kit::Point{0, -top});
          },
          [weak](bool) {
            if (auto header = weak.lock()) header->executeRefreshingCallback();
          });
    })();
  } else if (state == KTRefreshState::Idle && old == KTRefreshState::Refreshing) {
    auto defaults = kit::UserDefaults::standardUserDefaults();
    defaults->setObject(kit::Date::now(), lastUpdatedTimeKey_);
    defaults->synchronize();
    kit::Weak<KTRefreshHeader> weak = weakSelf<KTRefreshHeader>();
    kit::View::animate(
        KTRefreshSlowAnimationDuration,
        [this] {
          if (auto scroll = scrollView()) {
            const double top = Scroll::KT_insetT(*scroll) + insetTDelta_;
            Scroll::setKT_insetT(*scroll, top);
            // The content comes back to its resting place above the
            // returned space unless the player holds it.
            if (!scroll->isTracking() && Scroll::KT_offsetY(*scroll) < -top) Scroll::setKT_offsetY(*scroll, -top);
          }
          if (isAutomaticallyChangeAlpha()) setAlpha(0.0);
        },
        [weak](bool) {
          auto header = weak.lock();
          if (!header) return;
          header->setPullingPercent(0.0);
          header->executeEndRefreshingCompletion();
        });
  }
}

void KTRefreshHeader::endRefreshing() {
  kit::bindPost(kit::Queue::main(), weakSelf<KTRefreshHeader>(),
                [](KTRefreshHeader& self) { self.setState(KTRefreshState::Idle); })();
}

// ---- KTRefreshStateHeader

const kit::Ref<kit::Label>& KTRefreshStateHeader::stateLabel() {
  if (!stateLabel_) {
    stateLabel_ = UILabelKTRefresh::KT_label();
    addSubview(stateLabel_);
  }
  return stateLabel_;
}

const kit::Ref<kit::Label>& KTRefreshStateHeader::lastUpdatedTimeLabel() {
  if (!lastUpdatedTimeLabel_) {
    lastUpdatedTimeLabel_ = UILabelKTRefresh::KT_label();
    addSubview(lastUpdatedTimeLabel_);
  }
  return lastUpdatedTimeLabel_;
}

void KTRefreshStateHeader::setTitle(const std::string& title, KTRefreshState state) {
  stateTitles_[state] = title;
  auto it = stateTitles_.find(state_);
  stateLabel()->setText(it == stateTitles_.end() ? "" : it->second);
}

kit::Ref<kit::Calendar> KTRefreshStateHeader::currentCalendar() {
  if (auto gregorian = kit::Calendar::calendarWithIdentifier(kit::CalendarIdentifierGregorian)) return gregorian;
  return kit::Calendar::currentCalendar();
}

void KTRefreshStateHeader::setLastUpdatedTimeKey(const std::string& key) {
  KTRefreshHeader::setLastUpdatedTimeKey(key);
  if (lastUpdatedTimeLabel()->isHidden()) return;
  kit::Ref<kit::Date> date = lastUpdatedTime();
  if (lastUpdatedTimeText_) {
    lastUpdatedTimeLabel()->setText(lastUpdatedTimeText_(date));
    return;
  }
  lastUpdatedTimeLabel()->setText(lastUpdatedText(date));
}

std::string KTRefreshStateHeader::lastUpdatedText(const kit::Ref<kit::Date>& date) const {
  const std::string lastTime = NSBundleKTRefresh::KT_localizedStringForKey(KTRefreshHeaderLastTimeText);
  if (!date) return lastTime + NSBundleKTRefresh::KT_localizedStringForKey(KTRefreshHeaderNoneLastDateText);
  auto calendar = currentCalendar();
  const unsigned units = kit::CalendarUnitYear | kit::CalendarUnitMonth | kit::CalendarUnitDay |
                         kit::CalendarUnitHour | kit::CalendarUnitMinute;
  const kit::DateComponents then = calendar->components(units, *date);
  const kit::DateComponents now = calendar->components(units, *kit::Date::now());
  // Today is the same day of the same month of the same year.
  const bool today = then.year == now.year && then.month == now.month && then.day == now.day;
  std::string format, todayWord;
  if (today) {
    format = " HH:mm";
    todayWord = NSBundleKTRefresh::KT_localizedStringForKey(KTRefreshHeaderDateTodayText);
  } else if (then.year == now.year) {
    format = "MM-dd HH:mm";
  } else {
    format = "yyyy-MM-dd HH:mm";
  }
  auto formatter = kit::DateFormatter::make(format);
  return lastTime + todayWord + formatter->stringFromDate(*date)->utf8();
}

void KTRefreshStateHeader::prepare() {
  KTRefreshHeader::prepare();
  labelLeftInset_ = KTRefreshLabelLeftInset;
  setTitle(NSBundleKTRefresh::KT_localizedStringForKey(KTRefreshHeaderIdleText), KTRefreshState::Idle);
  setTitle(NSBundleKTRefresh::KT_localizedStringForKey(KTRefreshHeaderPullingText), KTRefreshState::Pulling);
  setTitle(NSBundleKTRefresh::KT_localizedStringForKey(KTRefreshHeaderRefreshingText), KTRefreshState::Refreshing);
}

void KTRefreshStateHeader::placeSubviews() {
  KTRefreshHeader::placeSubviews();
  if (stateLabel()->isHidden()) return;
  const bool stateFree = stateLabel()->constraints().empty();
  if (lastUpdatedTimeLabel()->isHidden()) {
    if (stateFree) stateLabel()->setFrame(bounds());
    return;
  }
  const double width = Frame::KT_w(*this);
  const double stateHeight = Frame::KT_h(*this) * 0.5;
  if (stateFree) stateLabel()->setFrame(kit::Rect{0, 0, width, stateHeight});
  if (lastUpdatedTimeLabel()->constraints().empty()) {
    lastUpdatedTimeLabel()->setFrame(kit::Rect{0, stateHeight, width, Frame::KT_h(*this) - stateHeight});
  }
}

double KTRefreshStateHeader::widestTextWidth() {
  const double stateWidth = UILabelKTRefresh::KT_textWith(*stateLabel());
  const double timeWidth =
      lastUpdatedTimeLabel()->isHidden() ? 0.0 : UILabelKTRefresh::KT_textWith(*lastUpdatedTimeLabel());
  return std::max(stateWidth, timeWidth);
}

void KTRefreshStateHeader::setState(KTRefreshState state) {
  if (state == state_) return;
  KTRefreshHeader::setState(state);
  auto it = stateTitles_.find(state);
  stateLabel()->setText(it == stateTitles_.end() ? "" : it->second);
  setLastUpdatedTimeKey(lastUpdatedTimeKey());
}
