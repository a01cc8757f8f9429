// Test support: ends every countdown registered with the channel's shared
// countdown service. A fixture calls it once the test's views are gone and
// its answers have landed, so that no countdown of one test (a level row's
// outlives its tab by design) is taken for the next test's own.
#pragma once

#include "channel/core/nuva_countdown.h"
#include "kit/foundation/values.h"

inline void cancelAllCountdowns() {
  auto countdowns = NUVACountdown::shareInstance();
  auto keys = countdowns->timerDictionary()->allKeys();
  for (const kit::Id& key : *keys) countdowns->cancelTimer(kit::text(key));
}
