// The keyboard's frame and its showing and hiding around text inputs.
#include "kit/ui/keyboard.h"

#include "kit/ui/application.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/main_loop.h"
#include "kit/ui/responder.h"

namespace kit {

Rect Keyboard::frame() {
  const DeviceProfile& profile = DeviceProfile::current();
  const Size screen = profile.screenSize;
  const bool landscape = screen.width > screen.height;
  const double height = (landscape ? 162 : 216) + profile.safeAreaInsets.bottom;
  return {0, screen.height - height, screen.width, height};
}

bool Keyboard::textInputIsActive() {
  return dynamic_cast<TextInputTraits*>(Responder::currentFirstResponder().get()) != nullptr;
}

void Keyboard::inputDidBegin() {
  Ref<Application> app = Application::shared();
  if (!app->isKeyboardVisible()) app->showKeyboard(frame(), AnimationDuration);
}

void Keyboard::inputDidEnd() {
  runOnMainSoon([] {
    Ref<Application> app = Application::shared();
    if (app->isKeyboardVisible() && !textInputIsActive()) app->hideKeyboard(AnimationDuration);
  });
}

}  // namespace kit
