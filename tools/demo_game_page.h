// The game page as the main job plays it: its buttons are tapped at their
// centres through the key window, as a player would, scripts run in it,
// what it sent and the answers it received are read from the page itself
// (noted in the report as they come), and a picture waits until the page
// has drawn what it was told.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "kit/foundation/object.h"
#include "kit/web/web_view.h"
#include "tools/demo_report.h"
#include "tools/demo_session_clock.h"

namespace demo {

class GamePage {
 public:
  // `scriptTimeout`: how long, in real seconds, a script may take to answer
  // before its value is taken as nil.
  GamePage(SessionClock& clock, Report& report, double scriptTimeout = kStepTimeout)
      : clock_(clock), report_(report), scriptTimeout_(scriptTimeout) {}

  // The client's game page view, once the client has started.
  void setView(kit::Ref<kit::WebView> view) { view_ = std::move(view); }

  // Runs a script in `page` (the game page unless given) and waits for its
  // value (nil on failure, or when none comes in the script's time). An
  // answer that comes later is dropped.
  kit::Id value(const std::string& script, SessionClock::Waiting waiting = SessionClock::Waiting::ForRealWork,
                kit::WebView* page = nullptr);
  // Waits until `page` (the game page unless given) has painted what its
  // scripts changed so far.
  void waitForPaint(kit::WebView* page = nullptr);
  // Taps the button with this element id and waits for the page's message.
  void tap(const std::string& id);
  // Waits for the page's next answer with this action that `wanted` accepts
  // (any, when not given); lastAnswer() holds it. The answers before it are
  // noted and passed over; false when none comes in a step's time.
  bool waitForAnswer(const std::string& action, const std::function<bool(const kit::Id&)>& wanted = {});
  const kit::Id& lastAnswer() const { return lastAnswer_; }
  // The data of the last message with this action the page sent (nil:
  // none).
  kit::Id lastSent(const std::string& action);

 private:
  // What the page sent and the answers it received.
  kit::Id state();
  // Notes what the page sent since the last look.
  void noteSent(const kit::Id& state);

  SessionClock& clock_;
  Report& report_;
  const double scriptTimeout_;
  kit::Ref<kit::WebView> view_;
  kit::Id lastAnswer_;
  size_t answersSeen_ = 0;
  size_t sentSeen_ = 0;
};

}  // namespace demo
