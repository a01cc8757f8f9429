// The process-wide resume and suspend announcements of session tasks.
#include "net/session_task_notifications.h"

#include "kit/dispatch/once.h"
#include "kit/foundation/notification_center.h"
#include "kit/net/url_session_task.h"

void SDPURLSessionTaskSwizzling::load() {
  static kit::OnceToken token;
  kit::once(token, [] {
    kit::URLSessionTask::addLifecycleHook(
        [](kit::URLSessionTask& task, kit::URLSessionTask::LifecycleCall call, kit::URLSessionTaskState before) {
          const bool resumed = call == kit::URLSessionTask::LifecycleCall::Resume;
          const char* name = nullptr;
          if (resumed && before != kit::URLSessionTaskState::Running) name = SDPSessionTaskResumeNotification;
          if (!resumed && before != kit::URLSessionTaskState::Suspended) name = SDPSessionTaskSuspendNotification;
          if (name) kit::NotificationCenter::defaultCenter()->postNotificationName(name, task.self());
        });
  });
}
