// When a web view loads its page again after the page's content process
// ended (both web views follow it): at once, up to MaxReloadsInARow times
// in a row (a page that has stayed up CountResetSeconds since it loaded
// starts the count again); past that, after a pause (kit::Clock) that
// starts at FirstRetryPauseSeconds and doubles with every further end, up
// to MaxRetryPauseSeconds, so that a page that keeps ending is neither
// reloaded in a tight loop nor left blank for good.
//
//   recovery_.pageDidLoad();                        // each finished load
//   recovery_.pageProcessEnded("WebView", url_, [weak, generation] {
//     auto self = weak.lock();
//     if (!self || self->generation_ != generation) return false;  // dropped
//     self->reload();
//     return true;
//   });
#pragma once

#include <functional>
#include <string>

#include "kit/foundation/url.h"

namespace kit {

class PageRecovery {
 public:
  static constexpr int MaxReloadsInARow = 5;
  static constexpr double CountResetSeconds = 30;
  static constexpr double FirstRetryPauseSeconds = 30;
  static constexpr double MaxRetryPauseSeconds = 300;

  // The page finished loading (now, on kit::Clock).
  void pageDidLoad();
  // How long to wait before loading the page again after its content
  // process ended now: 0 for at once. Counts the end.
  double pauseAfterEnd();
  // The page's content process ended: calls `reload` at once, or after the
  // pause on the main queue; `reload` answers false when it drops the load
  // (the view went, or another navigation started meanwhile). Logs what it
  // does as `view` (the view's class) for the page at `url`.
  using Reload = std::function<bool()>;
  void pageProcessEnded(const std::string& view, const Ref<URL>& url, Reload reload);

 private:
  int reloadsInARow_ = 0;
  double lastLoadedAt_ = 0;
  // The pause before the latest retry past the reloads in a row (0: none
  // yet).
  double retryPause_ = 0;
};

}  // namespace kit
