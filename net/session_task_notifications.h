// The notifications of the URL session manager and its tasks, with their
// user-info keys, and the process-wide announcement of every session
// task's resume and suspend.
#pragma once

// Posted by every task of the process when resume() finds it not running,
// or suspend() finds it not suspended; the object is the task.
inline constexpr const char* SDPSessionTaskResumeNotification = "com.sdp.networking.task.resume";
inline constexpr const char* SDPSessionTaskSuspendNotification = "com.sdp.networking.task.suspend";

// Posted by a manager on the main queue, for its own tasks only.
inline constexpr const char* SDPManagerTaskResumedNotification = "com.sdp.networking.manager.task.resumed";
inline constexpr const char* SDPManagerTaskSuspendedNotification = "com.sdp.networking.manager.task.suspended";
// Posted on the main queue after a task's completion callback, with the
// completion keys below.
inline constexpr const char* SDPManagerTaskCompletedNotification = "com.sdp.networking.manager.task.completed";
// The object is the session.
inline constexpr const char* SDPManagerSessionInvalidatedNotification =
    "com.sdp.networking.manager.session.invalidated";
// The object is the download task; the user info is the move error's.
inline constexpr const char* SDPManagerDownloadMoveFailedNotification =
    "com.sdp.networking.manager.download.move-failed";

// Completion user-info keys.
inline constexpr const char* SDPCompletedTaskSerializerKey = "com.sdp.networking.task.complete.serializer";
inline constexpr const char* SDPCompletedTaskDataKey = "com.sdp.networking.task.complete.data";
inline constexpr const char* SDPCompletedTaskFileKey = "com.sdp.networking.task.complete.file";
inline constexpr const char* SDPCompletedTaskObjectKey = "com.sdp.networking.task.complete.object";
inline constexpr const char* SDPCompletedTaskErrorKey = "com.sdp.networking.task.complete.error";

// Announces every resume and suspend of every session task with the two
// task-level notifications above. Installed once per process, when the
// program starts (and, to be sure, when the first manager is made).
class SDPURLSessionTaskSwizzling {
 public:
  static void load();
};
