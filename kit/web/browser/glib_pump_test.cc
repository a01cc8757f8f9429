// GLib's main context run by kit's main run loop: GLib's timers and the
// sources other threads add are dispatched while kit's loop runs, a virtual
// clock still moves only kit's timers, and a wait for the page runs GLib's
// events without running kit's other work.

#include "kit/web/browser/glib_pump.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "kit/dispatch/queue.h"
#include "kit/testing/run_until.h"
#include "kit/testing/virtual_clock_fixture.h"

namespace {

gboolean setFlag(gpointer data) {
  static_cast<std::atomic<int>*>(data)->fetch_add(1);
  return G_SOURCE_REMOVE;
}

TEST(GLibPump, DispatchesGLibTimersAndSourcesAddedByOtherThreads) {
  kit::GLibPump::shared();
  std::atomic<int> timer{0}, idle{0};
  g_timeout_add(30, setFlag, &timer);
  std::thread other([&] { g_idle_add(setFlag, &idle); });
  other.join();
  ASSERT_TRUE(kit::test::runUntil([&] { return timer == 1 && idle == 1; }, 5));
  // A source the main thread adds between passes is seen too.
  g_idle_add(setFlag, &idle);
  kit::GLibPump::shared().poke();
  ASSERT_TRUE(kit::test::runUntil([&] { return idle == 2; }, 5));
}

class GLibPumpClockTest : public kit::test::VirtualClockTest {};

TEST_F(GLibPumpClockTest, AVirtualClockMovesKitsTimersAndGLibKeepsRealTime) {
  kit::GLibPump::shared();
  bool kitTimer = false;
  kit::Queue::main().after(5.0, [&] { kitTimer = true; });
  std::atomic<int> glibTimer{0};
  g_timeout_add(20, setFlag, &glibTimer);
  kit::GLibPump::shared().poke();
  ASSERT_TRUE(kit::test::runUntil([&] { return glibTimer == 1; }, 5));
  EXPECT_FALSE(kitTimer) << "kit's timer waits for the clock";
  advance(5.0);
  EXPECT_TRUE(kitTimer);
}

TEST(GLibPump, AWaitRunsGLibsEventsAndNotKitsOtherWork) {
  kit::GLibPump& pump = kit::GLibPump::shared();
  bool block = false;
  kit::Queue::main().async([&] { block = true; });
  std::atomic<int> glib{0};
  g_timeout_add(10, setFlag, &glib);
  EXPECT_TRUE(pump.waitUntil([&] { return glib == 1; }, 5));
  EXPECT_FALSE(block) << "the wait runs GLib only";
  EXPECT_FALSE(pump.waitUntil([] { return false; }, 0.05)) << "a wait ends at its limit";
  ASSERT_TRUE(kit::test::runUntil([&] { return block; }));
}

}  // namespace
