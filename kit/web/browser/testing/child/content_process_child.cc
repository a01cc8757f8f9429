// A client for the process tests: it shows a page in the browser engine,
// prints the process ids of its page content processes on one line
// ("content <pid> ..."), and runs until it is killed. The test then sees
// whether WebKit's processes die with it.
#include <unistd.h>

#include <cstdio>

#include "kit/dispatch/runloop.h"
#include "kit/testing/run_until.h"
#include "kit/web/browser/browser_runtime.h"
#include "kit/web/browser/testing/browser_test_support.h"
#include "kit/web/web_view.h"

int main() {
  if (!kit::browserEngineAvailable()) {
    std::printf("unavailable %s\n", kit::browserEngineUnavailableReason().c_str());
    return 2;
  }
  kit::useBrowserEngine();
  auto web = kit::WebView::make(kit::Rect{0, 0, 320, 480});
  struct Finish : kit::NavigationDelegate {
    bool done = false;
    void didFinishNavigation(kit::WebView&, const kit::Ref<kit::Navigation>&) override { done = true; }
  };
  auto finish = std::make_shared<Finish>();
  web->setNavigationDelegate(finish);
  web->loadHTMLString("<title>child</title><p>child</p>", kit::URL::URLWithString("http://127.0.0.1/child.html"));
  if (!kit::test::runUntil([&] { return finish->done; }, 30)) return 3;
  std::printf("content");
  for (pid_t pid : kit::test::webContentProcesses()) std::printf(" %d", static_cast<int>(pid));
  std::printf("\n");
  std::fflush(stdout);
  kit::RunLoop::main().run();
  return 0;
}
