// The pull-to-refresh kit's shared vocabulary: the states every refresh
// component moves through, its sizes and animation times, the keys of its
// texts and the user-defaults key of the header's last-updated date.
#pragma once

#include "kit/foundation/object.h"

namespace kit {
class Font;
class Color;
}  // namespace kit

// Value 0 is never used.
enum class KTRefreshState : long {
  Idle = 1,         // at rest, not pulled far enough
  Pulling = 2,      // pulled past the trigger while dragging; releasing starts a refresh
  Refreshing = 3,   // the callback has run or is about to; waiting for endRefreshing
  WillRefresh = 4,  // beginRefreshing asked outside a window; the first draw starts it
  NoMoreData = 5,   // footers: everything is loaded, no more loading until reset
};

inline constexpr double KTRefreshHeaderHeight = 54.0;
inline constexpr double KTRefreshFooterHeight = 44.0;
inline constexpr double KTRefreshFastAnimationDuration = 0.25;
inline constexpr double KTRefreshSlowAnimationDuration = 0.4;
// Between a state text and the arrow, spinner or image sequence.
inline constexpr double KTRefreshLabelLeftInset = 25.0;
inline constexpr double KTRefreshGifLabelLeftInset = 20.0;
// Seconds per image of an image sequence given without a duration.
inline constexpr double KTRefreshImageFrameDuration = 0.1;
// The arrow's half turn stops just short of pi, so that it turns back the
// way it came.
inline constexpr double KTRefreshArrowRotation = 0.000001 - 3.14159265358979323846;

inline constexpr double KTRefreshLabelFontSize = 14.0;
inline constexpr double KTRefreshLabelGrey = 90.0 / 255.0;
kit::Ref<kit::Font> KTRefreshLabelFont();
kit::Ref<kit::Color> KTRefreshLabelTextColor();

inline constexpr const char* KTRefreshHeaderLastUpdatedTimeKey = "KTRefreshHeaderLastUpdatedTimeKey";

inline constexpr const char* KTRefreshHeaderIdleText = "KTRefreshHeaderIdleText";
inline constexpr const char* KTRefreshHeaderPullingText = "KTRefreshHeaderPullingText";
inline constexpr const char* KTRefreshHeaderRefreshingText = "KTRefreshHeaderRefreshingText";
inline constexpr const char* KTRefreshHeaderLastTimeText = "KTRefreshHeaderLastTimeText";
inline constexpr const char* KTRefreshHeaderDateTodayText = "KTRefreshHeaderDateTodayText";
inline constexpr const char* KTRefreshHeaderNoneLastDateText = "KTRefreshHeaderNoneLastDateText";
inline constexpr const char* KTRefreshAutoFooterIdleText = "KTRefreshAutoFooterIdleText";
inline constexpr const char* KTRefreshAutoFooterRefreshingText = "KTRefreshAutoFooterRefreshingText";
inline constexpr const char* KTRefreshAutoFooterNoMoreDataText = "KTRefreshAutoFooterNoMoreDataText";
inline constexpr const char* KTRefreshBackFooterIdleText = "KTRefreshBackFooterIdleText";
inline constexpr const char* KTRefreshBackFooterPullingText = "KTRefreshBackFooterPullingText";
inline constexpr const char* KTRefreshBackFooterRefreshingText = "KTRefreshBackFooterRefreshingText";
inline constexpr const char* KTRefreshBackFooterNoMoreDataText = "KTRefreshBackFooterNoMoreDataText";
