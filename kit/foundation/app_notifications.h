// The application's lifecycle notifications and background time, for code
// below the user interface layer.
//
// Caches and stores react to the application's memory warnings, to its
// entering the background and to its termination; they observe these names
// on the default notification center. The application object posts them.
//
// Work that must finish after the application leaves the foreground (closing
// a database, say) asks for background time around it. The application layer
// installs the handler that grants it; without one (a process with no
// application object) beginBackgroundTask gives InvalidBackgroundTaskId and
// the caller simply goes ahead.
#pragma once

#include <functional>

namespace kit {

inline constexpr const char* ApplicationDidReceiveMemoryWarningNotification =
    "UIApplicationDidReceiveMemoryWarningNotification";
inline constexpr const char* ApplicationDidEnterBackgroundNotification = "UIApplicationDidEnterBackgroundNotification";
inline constexpr const char* ApplicationWillTerminateNotification = "UIApplicationWillTerminateNotification";

// Identifies a granted stretch of background time; 0 means none was granted.
using BackgroundTaskId = unsigned long;
inline constexpr BackgroundTaskId InvalidBackgroundTaskId = 0;

struct BackgroundTaskHandler {
  // Grants background time; `expiration` runs when the time is about to run
  // out. Returns InvalidBackgroundTaskId when none can be granted.
  std::function<BackgroundTaskId(std::function<void()> expiration)> begin;
  std::function<void(BackgroundTaskId)> end;
};

// Installs the handler and returns the one it replaces (an empty handler
// removes it).
BackgroundTaskHandler setBackgroundTaskHandler(BackgroundTaskHandler handler);
// True when a handler is installed, that is, when the process has an
// application object that grants background time.
bool hasBackgroundTaskHandler();

BackgroundTaskId beginBackgroundTask(std::function<void()> expiration);
// Ends a task that beginBackgroundTask granted; InvalidBackgroundTaskId is
// ignored.
void endBackgroundTask(BackgroundTaskId task);

}  // namespace kit
