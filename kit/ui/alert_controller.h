// kit::AlertController: the platform's alert. A title, a message, actions
// (default, cancel, destructive) with handlers and text fields, shown by
// presenting it. Pressing an action's button dismisses the alert and then
// runs the action's handler; kit::test::pressAlertAction presses one by its
// title, as a player would.
//
//   auto alert = kit::AlertController::make("提示", "连接服务器失败");
//   alert->addAction(kit::AlertAction::make("重试", kit::AlertActionStyle::Default, [weak](auto&) { ... }));
//   controller->presentViewController(alert, true);
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "kit/ui/button.h"
#include "kit/ui/text_field.h"
#include "kit/ui/view_controller.h"

namespace kit {

enum class AlertActionStyle { Default = 0, Cancel = 1, Destructive = 2 };
enum class AlertControllerStyle { ActionSheet = 0, Alert = 1 };

class AlertAction : public Object {
 public:
  using Handler = std::function<void(AlertAction&)>;
  static Ref<AlertAction> make(std::string title, AlertActionStyle style, Handler handler = {}) {
    return kit::make<AlertAction>(std::move(title), style, std::move(handler));
  }
  AlertAction(std::string title, AlertActionStyle style, Handler handler)
      : title_(std::move(title)), style_(style), handler_(std::move(handler)) {}
  const std::string& title() const { return title_; }
  AlertActionStyle style() const { return style_; }
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool v) { enabled_ = v; }
  // The title's colour (the platform's key "titleTextColor"); nil for the
  // alert's tint.
  const Ref<Color>& titleTextColor() const { return titleTextColor_; }
  void setTitleTextColor(Ref<Color> colour) { titleTextColor_ = std::move(colour); }
  // Runs the handler (used by the alert).
  void perform() {
    if (handler_) handler_(*this);
  }

 private:
  std::string title_;
  AlertActionStyle style_;
  Handler handler_;
  bool enabled_ = true;
  Ref<Color> titleTextColor_;
};

class AlertController : public ViewController {
 public:
  static Ref<AlertController> make(std::string title, std::string message,
                                   AlertControllerStyle style = AlertControllerStyle::Alert);
  AlertController(std::string title, std::string message, AlertControllerStyle style);

  const std::string& alertTitle() const { return alertTitle_; }
  void setAlertTitle(std::string t) { alertTitle_ = std::move(t); }
  const std::string& message() const { return message_; }
  void setMessage(std::string m) { message_ = std::move(m); }
  AlertControllerStyle preferredStyle() const { return style_; }

  // A second cancel action is refused (the platform raises; kit logs and
  // ignores it).
  void addAction(const Ref<AlertAction>& action);
  const std::vector<Ref<AlertAction>>& actions() const { return actions_; }
  Ref<AlertAction> preferredAction() const { return preferred_.lock(); }
  void setPreferredAction(const Ref<AlertAction>& a) { preferred_ = a; }
  void addTextField(std::function<void(TextField&)> configuration = {});
  const std::vector<Ref<TextField>>& textFields() const { return textFields_; }

  // Dismisses the alert and runs the action's handler. Actions that are
  // disabled or not the alert's do nothing; returns whether it ran.
  bool press(const Ref<AlertAction>& action);
  // The button shown for an action (after the view has loaded).
  Ref<Button> buttonForAction(const AlertAction* action);

  void loadView() override;

 private:
  std::string alertTitle_, message_;
  AlertControllerStyle style_;
  std::vector<Ref<AlertAction>> actions_;
  Weak<AlertAction> preferred_;
  std::vector<Ref<TextField>> textFields_;
  std::vector<std::pair<const AlertAction*, Weak<Button>>> buttons_;
};

}  // namespace kit
