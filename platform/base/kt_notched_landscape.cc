// The notched-landscape test. See kt_notched_landscape.h.
#include "platform/base/kt_notched_landscape.h"

#include "kit/ui/application.h"
#include "kit/ui/screen.h"
#include "kit/ui/window.h"

bool KTIsNotchedLandscape() {
  const kit::Rect screen = kit::Screen::main()->bounds();
  if (screen.width() <= screen.height()) return false;
  if (kit::Device::current()->systemVersionNumber() < 11) return false;
  kit::Ref<kit::Window> key = kit::Application::shared()->keyWindow();
  return key && key->safeAreaInsets().bottom > 0;
}
