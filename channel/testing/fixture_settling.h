// Test support: what a channel fixture ends before the next test begins,
// so that nothing one test started lands in the next test's records (its
// HUD texts, its countdown waits). Header-only: included by fixtures.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "channel/core/nuva_countdown.h"
#include "kit/foundation/values.h"
#include "kit/net/url_session.h"
#include "kit/testing/run_until.h"

// Ends what the test left in flight on the shared session (the launch's
// init request, a reply held back, a read a layout pass started) while its
// servers still stand, and runs the answers' main-queue work to its end: a
// failed POST's HUD (a cancelled request's "unknown error") appears some
// main-queue steps after its handler ran, each step queueing the next.
inline void settleSharedSession() {
  auto session = kit::URLSession::sharedSession();
  for (const auto& task : session->allTasks()) task->cancel();
  ASSERT_TRUE(kit::test::runUntil([&] { return session->allTasks().empty(); }));
  // The session's delegate queue is serial: once this answers, the
  // completion handlers queued before it have run.
  auto answered = std::make_shared<std::atomic<bool>>(false);
  session->getAllTasksWithCompletionHandler([answered](const auto&) { *answered = true; });
  ASSERT_TRUE(kit::test::runUntil([&] { return answered->load(); }));
  ASSERT_TRUE(kit::test::settleMain());
}

// Ends every countdown registered with the shared countdown service; called
// once the test's views are gone and its answers have landed, so that no
// countdown of one test (a level row's outlives its tab by design) is taken
// for the next test's own.
inline void cancelAllCountdowns() {
  auto countdowns = NUVACountdown::shareInstance();
  auto keys = countdowns->timerDictionary()->allKeys();
  for (const kit::Id& key : *keys) countdowns->cancelTimer(kit::text(key));
}
