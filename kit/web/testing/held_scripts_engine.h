// A page engine for tests of what waits on a page's answers: the page
// driver, except that while it holds, the scripts it is given go
// unanswered, as a browser's do when its page is slow (a loaded machine).
// Once let go, it answers the held scripts, in order, just before the next
// script it is given: a late answer lands inside whatever wait is running
// then, as the browser's would.
//
//   auto engine = kit::test::HeldScriptsEngine::make();
//   auto view = kit::test::webViewOn(engine);
//   engine->hold();
//   ... a wait for a script's answer gives up
//   engine->letGo();
//   ... the next script's wait hears the late answer first
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "kit/web/page_driver.h"
#include "kit/web/web_view.h"
#include "kit/web/web_view_configuration.h"

namespace kit::test {

class HeldScriptsEngine : public PageDriver {
 public:
  static Ref<HeldScriptsEngine> make() { return kit::make<HeldScriptsEngine>(); }

  // Scripts given from now on wait unanswered.
  void hold() { holding_ = true; }
  // The held scripts are answered with the next script given, before it.
  void letGo() { holding_ = false; }
  size_t heldCount() const { return held_.size(); }

  void evaluateScript(const std::string& script, ScriptCompletion completion) override {
    if (holding_) {
      held_.emplace_back(script, std::move(completion));
      return;
    }
    auto held = std::exchange(held_, {});
    for (auto& [heldScript, heldCompletion] : held) PageDriver::evaluateScript(heldScript, std::move(heldCompletion));
    PageDriver::evaluateScript(script, std::move(completion));
  }

 private:
  bool holding_ = false;
  std::vector<std::pair<std::string, ScriptCompletion>> held_;
};

// A web view whose page `engine` runs.
inline Ref<WebView> webViewOn(Ref<PageEngine> engine, const Rect& frame = Rect{0, 0, 320, 480}) {
  auto configuration = WebViewConfiguration::make();
  configuration->pageEngineFactory = [engine = std::move(engine)] { return engine; };
  return WebView::make(frame, configuration);
}

}  // namespace kit::test
