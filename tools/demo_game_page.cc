// The game page as the main job plays it. See demo_game_page.h.
#include "tools/demo_game_page.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

#include "kit/foundation/array.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/values.h"
#include "kit/ui/application.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/window.h"

namespace demo {

namespace {

// One frame of the page's drawing, in real time, and how long the page may
// take to draw.
constexpr auto kPageFrame = std::chrono::milliseconds(20);
constexpr double kPagePaintTimeout = 2.0;

std::string describePoint(kit::Point p) {
  char text[48];
  std::snprintf(text, sizeof text, "(%.0f, %.0f)", p.x, p.y);
  return text;
}

// The start of a script, for a note about it (cut between characters).
std::string excerpt(const std::string& script) {
  size_t end = 60;
  if (script.size() <= end) return script;
  while (end > 0 && (static_cast<unsigned char>(script[end]) & 0xC0) == 0x80) --end;
  return script.substr(0, end) + "…";
}

}  // namespace

kit::Id GamePage::value(const std::string& script, SessionClock::Waiting waiting, kit::WebView* page) {
  kit::WebView* target = page ? page : view_.get();
  if (!target) return nullptr;
  // The answer may come after this wait has given up (a page slowed down
  // by a loaded machine), inside a later wait: it lands in a state of its
  // own, which nobody reads then.
  struct Answer {
    bool done = false;
    kit::Id value;
    kit::Ref<kit::Error> error;
  };
  auto answer = std::make_shared<Answer>();
  target->evaluateJavaScript(script, [answer](kit::Id v, kit::Ref<kit::Error> error) {
    answer->value = std::move(v);
    answer->error = std::move(error);
    answer->done = true;
  });
  if (!clock_.run([&] { return answer->done; }, waiting, kit::Forever, scriptTimeout_)) {
    report_.note("no answer from the page in time to " + excerpt(script));
    return nullptr;
  }
  if (answer->error) report_.note("page script failed: " + kit::describe(answer->error));
  return answer->value;
}

// Two of the page's animation frames, then long enough for the view's
// picture to take the frame: the page paints in real time.
void GamePage::waitForPaint(kit::WebView* page) {
  if (!view_) return;
  constexpr auto drawing = SessionClock::Waiting::ForThePage;
  value("window.kitPainted = false; requestAnimationFrame(function () {"
        " requestAnimationFrame(function () { window.kitPainted = true; }); }); true",
        drawing, page);
  clock_.run([&] { return kit::describe(value("window.kitPainted === true", drawing, page)) == "1"; }, drawing,
             kit::Forever, kPagePaintTimeout);
  const auto painted = std::chrono::steady_clock::now();
  clock_.run([&] { return std::chrono::steady_clock::now() - painted >= kPageFrame; }, drawing);
}

kit::Id GamePage::state() {
  kit::Id text = value("JSON.stringify({sent: gamePage.sent, answers: gamePage.answers})");
  if (!text) return nullptr;
  return kit::JSONSerialization::JSONObjectWithData(kit::Data::make(kit::describe(text)));
}

void GamePage::noteSent(const kit::Id& state) {
  auto sent = kit::as<kit::Array>(state["sent"]);
  for (size_t i = sentSeen_; sent && i < sent->count(); ++i)
    report_.note("page → client: eventComplete " + kit::describe(sent->objectAtIndex(i)));
  if (sent) sentSeen_ = std::max(sentSeen_, sent->count());
}

void GamePage::tap(const std::string& id) {
  kit::Id centre = value("(function () { var r = document.getElementById('" + id +
                         "').getBoundingClientRect(); return {x: r.left + r.width / 2, y: r.top + r.height / 2}; })()");
  if (!centre || !view_) {
    report_.note("no button #" + id + " on the page");
    return;
  }
  const kit::Point inPage{std::stod(kit::describe(centre["x"])), std::stod(kit::describe(centre["y"]))};
  const kit::Point inWindow = view_->convertPointToView(inPage, nullptr);
  report_.note("tap #" + id + " at " + describePoint(inWindow));
  auto window = kit::Application::shared()->keyWindow();
  if (!window || !kit::test::tapAt(*window, inWindow)) report_.note("(the tap did not land)");
  clock_.run(
      [&] {
        kit::Id now = state();
        auto sent = kit::as<kit::Array>(now["sent"]);
        if (!sent || sent->count() <= sentSeen_) return false;
        noteSent(now);
        return true;
      },
      SessionClock::Waiting::ForRealWork);
}

// The page keeps its answers across the reload after a logout.
bool GamePage::waitForAnswer(const std::string& action, const std::function<bool(const kit::Id&)>& wanted) {
  lastAnswer_ = nullptr;
  return clock_.run(
      [&] {
        kit::Id now = state();
        auto answers = kit::as<kit::Array>(now["answers"]);
        if (!answers) return false;
        for (size_t i = answersSeen_; i < answers->count(); ++i) {
          kit::Id answer = answers->objectAtIndex(i);
          report_.note("client → page: CallbackFromIOS " + compactJSON(answer));
          answersSeen_ = i + 1;
          if (kit::describe(answer["action"]) == action && (!wanted || wanted(answer))) {
            lastAnswer_ = answer;
            return true;
          }
        }
        return false;
      },
      SessionClock::Waiting::ForRealWork);
}

kit::Id GamePage::lastSent(const std::string& action) {
  auto sent = kit::as<kit::Array>(state()["sent"]);
  for (size_t i = sent ? sent->count() : 0; i > 0; --i) {
    kit::Id message =
        kit::JSONSerialization::JSONObjectWithData(kit::Data::make(kit::describe(sent->objectAtIndex(i - 1))));
    if (kit::describe(message["action"]) == action) return message["data"];
  }
  return nullptr;
}

}  // namespace demo
