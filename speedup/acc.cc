// The speed-up tool's floating button. See acc.h.
#include "speedup/acc.h"

#include "kit/dispatch/queue.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/no_destructor.h"
#include "kit/ui/font.h"
#include "kit/ui/screen.h"

namespace {

// The button's window; main thread only. Never destroyed, so that no
// window outlives the platform layer at exit.
kit::Ref<kit::Window>& window() {
  static kit::NoDestructor<kit::Ref<kit::Window>> shown;
  return *shown;
}

kit::Ref<kit::Window> makeWindow() {
  const kit::Rect screen = kit::Screen::main()->bounds();
  const double margin = 8;
  auto touch = kit::Window::make({screen.size.width - acc::Side - margin, screen.size.height * 0.4, acc::Side, acc::Side});
  touch->setWindowLevel(acc::Level);
  touch->setBackgroundColor(kit::Color::clearColor());
  auto button = kit::Button::make({0, 0, acc::Side, acc::Side});
  button->setBackgroundColor(kit::Color::hex(0x2B7CFF, 0.9));
  button->layer()->setCornerRadius(acc::Side / 2);
  button->layer()->setBorderWidth(2);
  button->layer()->setBorderColor(kit::Color::white(1, 0.8));
  button->setTitle("加速", kit::ControlStateNormal);
  button->setTitleColor(kit::Color::whiteColor(), kit::ControlStateNormal);
  button->titleLabel()->setFont(kit::Font::boldSystemFont(12));
  touch->addSubview(button);
  return touch;
}

}  // namespace

void acc::acc_showTouch() {
  kit::Queue::main().async([] {
    if (!window()) window() = makeWindow();
    window()->setHidden(false);
  });
}

kit::Ref<kit::Window> acc::touchWindow() {
  KIT_CHECK_MAIN_THREAD();
  return window();
}

kit::Ref<kit::Button> acc::touchButton() {
  KIT_CHECK_MAIN_THREAD();
  if (!window() || window()->subviews().empty()) return nullptr;
  return std::dynamic_pointer_cast<kit::Button>(window()->subviews().front());
}

void acc::reset() {
  KIT_CHECK_MAIN_THREAD();
  if (window()) window()->setHidden(true);
  window().reset();
}
