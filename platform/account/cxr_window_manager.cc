// The platform SDK's window registry. See cxr_window_manager.h.
#include "platform/account/cxr_window_manager.h"

#include <string>
#include <vector>

#include "kit/dispatch/thread_check.h"
#include "kit/foundation/no_destructor.h"
#include "kit/ui/application.h"
#include "kit/ui/screen.h"
#include "kit/ui/view_controller.h"

kit::Ref<CXRWindowManager> CXRWindowManager::shared() {
  static const kit::NoDestructor<kit::Ref<CXRWindowManager>> instance(kit::make<CXRWindowManager>());
  return *instance;
}

kit::Ref<kit::Window> CXRWindowManager::topWindow() {
  KIT_CHECK_MAIN_THREAD();
  auto application = kit::Application::shared();
  const kit::Rect screen = kit::Screen::main()->bounds();
  const std::vector<kit::Ref<kit::Window>> windows = application->windows();
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
    const kit::Ref<kit::Window>& window = *it;
    if (!window->isHidden() && window->isOpaque() && window->bounds() == screen) return window;
  }
  return application->keyWindow();
}

kit::Ref<kit::Window> CXRWindowManager::windowForKey(std::string_view key) {
  return std::dynamic_pointer_cast<kit::Window>(shared()->windowDic()->objectForKey(key));
}

void CXRWindowManager::saveWindow(const kit::Ref<kit::Window>& window, std::string_view key) {
  KIT_CHECK_MAIN_THREAD();
  if (window) shared()->windowDic()->setObject(window, key);
  else shared()->windowDic()->removeObjectForKey(key);
}

void CXRWindowManager::hideWindowForKey(std::string_view key) {
  KIT_CHECK_MAIN_THREAD();
  if (auto window = windowForKey(key)) window->setHidden(true);
}

void CXRWindowManager::showWindowForKey(std::string_view key) {
  KIT_CHECK_MAIN_THREAD();
  if (auto window = windowForKey(key)) window->setHidden(false);
}

void CXRWindowManager::destroyWindowForKey(std::string_view key) {
  KIT_CHECK_MAIN_THREAD();
  kit::Ref<kit::Window> window = windowForKey(key);
  if (!window) return;
  window->setHidden(true);
  if (const kit::Ref<kit::ViewController>& root = window->rootViewController()) {
    if (root->presentedViewController()) root->dismissViewController(false);
  }
  window->setRootViewController(nullptr);
  shared()->windowDic()->removeObjectForKey(key);
}

const kit::Ref<kit::MutableDictionary>& CXRWindowManager::windowDic() {
  if (!windowDic_) windowDic_ = kit::MutableDictionary::make();
  return windowDic_;
}

void CXRWindowManager::setWindowDic(kit::Ref<kit::MutableDictionary> windows) { windowDic_ = std::move(windows); }
