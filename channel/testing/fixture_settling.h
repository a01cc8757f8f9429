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

// Waits until every request sent so far on the shared session has been
// answered (its server's answer chosen, so a reply queued for the route was
// taken by it or is left for the next request) and the answers' main-queue
// work has run to its end: a failed POST's HUD appears some main-queue steps
// after its handler ran, each step queueing the next. Returns false on
// time-out.
inline bool sharedSessionAnswered() {
  auto session = kit::URLSession::sharedSession();
  if (!kit::test::runUntil([&] { return session->allTasks().empty(); })) return false;
  // The session's delegate queue is serial: once this answers, the
  // completion handlers queued before it have run.
  auto answered = std::make_shared<std::atomic<bool>>(false);
  session->getAllTasksWithCompletionHandler([answered](const auto&) { *answered = true; });
  return kit::test::runUntil([&] { return answered->load(); }) && kit::test::settleMain();
}

// Ends what the test left in flight on the shared session (the launch's
// init request, a reply held back, a read a layout pass started) while its
// servers still stand, and runs the answers' main-queue work to its end (a
// cancelled request's "unknown error" HUD included).
inline void settleSharedSession() {
  for (const auto& task : kit::URLSession::sharedSession()->allTasks()) task->cancel();
  ASSERT_TRUE(sharedSessionAnswered());
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
