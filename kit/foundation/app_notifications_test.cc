// Background time: granted through the installed handler, refused without one.

#include <gtest/gtest.h>

#include <vector>

#include "kit/foundation/app_notifications.h"

namespace kit {
namespace {

TEST(BackgroundTask, WithoutHandlerNothingIsGrantedAndEndIsHarmless) {
  BackgroundTaskHandler previous = setBackgroundTaskHandler({});
  EXPECT_FALSE(hasBackgroundTaskHandler());
  EXPECT_EQ(beginBackgroundTask([] {}), InvalidBackgroundTaskId);
  endBackgroundTask(InvalidBackgroundTaskId);
  endBackgroundTask(7);
  setBackgroundTaskHandler(previous);
}

TEST(BackgroundTask, HandlerGrantsEndsAndExpires) {
  std::vector<BackgroundTaskId> ended;
  std::function<void()> pendingExpiration;
  BackgroundTaskId next = 41;
  BackgroundTaskHandler previous = setBackgroundTaskHandler({
      [&](std::function<void()> expiration) {
        pendingExpiration = std::move(expiration);
        return ++next;
      },
      [&](BackgroundTaskId id) { ended.push_back(id); },
  });
  EXPECT_TRUE(hasBackgroundTaskHandler());
  bool expired = false;
  BackgroundTaskId task = beginBackgroundTask([&] { expired = true; });
  EXPECT_EQ(task, 42u);
  pendingExpiration();
  EXPECT_TRUE(expired);
  endBackgroundTask(task);
  endBackgroundTask(InvalidBackgroundTaskId);  // never reaches the handler
  EXPECT_EQ(ended, std::vector<BackgroundTaskId>{42});

  // A handler missing one of its halves counts as none.
  setBackgroundTaskHandler({nullptr, [](BackgroundTaskId) {}});
  EXPECT_FALSE(hasBackgroundTaskHandler());
  setBackgroundTaskHandler(previous);
}

}  // namespace
}  // namespace kit
