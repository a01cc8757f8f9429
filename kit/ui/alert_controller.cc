// Alerts: actions, text fields, the card they are drawn on.
#include "kit/ui/alert_controller.h"

#include <algorithm>
#include <cstdio>

#include "kit/ui/label.h"
#include "kit/ui/screen.h"
#include "kit/ui/text_measure.h"

namespace kit {

Ref<AlertController> AlertController::make(std::string title, std::string message, AlertControllerStyle style) {
  return kit::make<AlertController>(std::move(title), std::move(message), style);
}

AlertController::AlertController(std::string title, std::string message, AlertControllerStyle style)
    : alertTitle_(std::move(title)), message_(std::move(message)), style_(style) {
  setModalPresentationStyle(ModalPresentationStyle::OverFullScreen);
  setModalTransitionStyle(ModalTransitionStyle::CrossDissolve);
}

void AlertController::addAction(const Ref<AlertAction>& action) {
  if (!action) return;
  if (action->style() == AlertActionStyle::Cancel &&
      std::any_of(actions_.begin(), actions_.end(),
                  [](const Ref<AlertAction>& a) { return a->style() == AlertActionStyle::Cancel; })) {
    std::fprintf(stderr, "kit: an alert can have only one cancel action; \"%s\" ignored\n", action->title().c_str());
    return;
  }
  actions_.push_back(action);
}

void AlertController::addTextField(std::function<void(TextField&)> configuration) {
  auto field = TextField::make(Rect{0, 0, 238, 24});
  field->setBorderStyle(TextBorderStyle::Line);
  field->setFont(Font::systemFont(13));
  if (configuration) configuration(*field);
  textFields_.push_back(field);
}

bool AlertController::press(const Ref<AlertAction>& action) {
  if (!action || !action->isEnabled()) return false;
  if (std::find(actions_.begin(), actions_.end(), action) == actions_.end()) return false;
  Ref<AlertController> keep = std::static_pointer_cast<AlertController>(shared_from_this());
  dismissViewController(false);
  action->perform();
  return true;
}

Ref<Button> AlertController::buttonForAction(const AlertAction* action) {
  view();
  for (auto& [a, b] : buttons_)
    if (a == action) return b.lock();
  return nullptr;
}

void AlertController::loadView() {
  const Rect screen = Screen::main()->bounds();
  auto root = View::make(screen);
  root->setBackgroundColor(Color::white(0, 0.4));
  setView(root);

  const double W = 270, pad = 16;
  auto card = View::make(Rect{0, 0, W, 0});
  card->setBackgroundColor(Color::white(0.97, 1));
  card->layer()->setCornerRadius(13);
  card->setClipsToBounds(true);
  double y = 20;
  auto addText = [&](const std::string& text, Ref<Font> font) {
    if (text.empty()) return;
    auto label = Label::make(Rect{pad, y, W - 2 * pad, 0});
    label->setText(text);
    label->setFont(font);
    label->setNumberOfLines(0);
    label->setTextAlignment(TextAlignment::Center);
    const Size s = label->sizeThatFits({W - 2 * pad, 0});
    label->setFrame({pad, y, W - 2 * pad, s.height});
    card->addSubview(label);
    y += s.height + 4;
  };
  addText(alertTitle_, Font::boldSystemFont(17));
  addText(message_, Font::systemFont(13));
  for (auto& field : textFields_) {
    y += 8;
    field->setFrame({pad, y, W - 2 * pad, 24});
    card->addSubview(field);
    y += 24;
  }
  y += 16;

  // Two actions sit side by side (cancel first); others are stacked with
  // cancel last.
  std::vector<Ref<AlertAction>> order = actions_;
  std::stable_sort(order.begin(), order.end(), [&](const Ref<AlertAction>& a, const Ref<AlertAction>& b) {
    const bool ca = a->style() == AlertActionStyle::Cancel, cb = b->style() == AlertActionStyle::Cancel;
    return order.size() == 2 ? (ca && !cb) : (!ca && cb);
  });
  Weak<AlertController> weak = std::static_pointer_cast<AlertController>(weak_from_this().lock());
  const bool sideBySide = order.size() == 2;
  buttons_.clear();
  for (size_t i = 0; i < order.size(); ++i) {
    const Ref<AlertAction>& action = order[i];
    Rect frame = sideBySide ? Rect{i * W / 2, y, W / 2, 44} : Rect{0, y + 44.0 * i, W, 44};
    auto button = Button::make(frame);
    button->setTitle(action->title());
    const bool destructive = action->style() == AlertActionStyle::Destructive;
    button->setTitleColor(destructive ? Color::redColor() : Color::rgba(0, 122.0 / 255, 1, 1));
    button->titleLabel()->setFont(action->style() == AlertActionStyle::Cancel || action == preferredAction()
                                      ? Font::boldSystemFont(17)
                                      : Font::systemFont(17));
    button->setEnabled(action->isEnabled());
    Weak<AlertAction> weakAction = action;
    button->addAction(ControlEvent::TouchUpInside, [weak, weakAction] {
      auto self = weak.lock();
      auto a = weakAction.lock();
      if (self && a) self->press(a);
    });
    auto line = View::make(Rect{frame.minX(), frame.minY(), frame.width(), 0.5});
    line->setBackgroundColor(Color::white(0.8));
    card->addSubview(line);
    card->addSubview(button);
    buttons_.emplace_back(action.get(), button);
  }
  const double height = y + (sideBySide ? 44 : 44.0 * order.size());
  card->setFrame({(screen.size.width - W) / 2, (screen.size.height - height) / 2, W, height});
  card->setAutoresizingMask(AutoresizingFlexibleLeftMargin | AutoresizingFlexibleRightMargin |
                            AutoresizingFlexibleTopMargin | AutoresizingFlexibleBottomMargin);
  root->addSubview(card);
}

}  // namespace kit
