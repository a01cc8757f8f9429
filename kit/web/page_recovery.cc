// Loading a page again after its content process ended. See
// page_recovery.h.
#include "kit/web/page_recovery.h"

#include <algorithm>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/queue.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/log.h"

namespace kit {

void PageRecovery::pageDidLoad() { lastLoadedAt_ = Clock::now(); }

double PageRecovery::pauseAfterEnd() {
  if (reloadsInARow_ > 0 && Clock::now() - lastLoadedAt_ >= CountResetSeconds) {
    reloadsInARow_ = 0;
    retryPause_ = 0;
  }
  if (reloadsInARow_ < MaxReloadsInARow) {
    ++reloadsInARow_;
    return 0;
  }
  retryPause_ = retryPause_ == 0 ? FirstRetryPauseSeconds : std::min(retryPause_ * 2, MaxRetryPauseSeconds);
  return retryPause_;
}

void PageRecovery::pageProcessEnded(const std::string& view, const Ref<URL>& url, Reload reload) {
  KIT_CHECK_MAIN_THREAD();
  const double pause = pauseAfterEnd();
  if (pause == 0) {
    log("%s: the page's content process ended; reloading %@", view.c_str(), url);
    reload();
    return;
  }
  log("%s: the page's content process keeps ending; trying %@ again in %.0f s", view.c_str(), url, pause);
  Queue::main().after(pause, [view, url, reload = std::move(reload)] {
    if (reload()) log("%s: trying %@ again", view.c_str(), url);
  });
}

}  // namespace kit
