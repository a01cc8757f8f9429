// CXRWindowManager: the registry of the platform SDK's extra windows by
// key, and the lookup of the front-most usable window that the pay sheet
// and toasts are put on. The registry owns the windows it holds: a window
// lives until destroyWindowForKey removes it (hiding keeps it). It sets no
// window level; its users do. Main thread.
//
//   CXRWindowManager::saveWindow(ballWindow, "CXRHelperBtn");
//   CXRWindowManager::hideWindowForKey("CXRHelperBtn");
//   CXRMessage::showMessage("无法连接服务器");   // on CXRWindowManager::topWindow()
#pragma once

#include <string_view>

#include "kit/foundation/dictionary.h"
#include "kit/ui/window.h"

class CXRWindowManager : public kit::Object {
 public:
  // The one registry, made on first use.
  static kit::Ref<CXRWindowManager> shared();

  // The front-most window that is visible, opaque and exactly as large as
  // the main screen; else the key window (nil without one).
  static kit::Ref<kit::Window> topWindow();

  // The window stored under the key, or nil.
  static kit::Ref<kit::Window> windowForKey(std::string_view key);
  // Stores the window under the key, replacing any stored there; a nil
  // window leaves nothing stored under the key.
  static void saveWindow(const kit::Ref<kit::Window>& window, std::string_view key);
  // Hide and show the stored window; nothing for an unknown key.
  static void hideWindowForKey(std::string_view key);
  static void showWindowForKey(std::string_view key);
  // Hides the stored window, dismisses what its root controller presents
  // (at once, without animation), clears its root controller and forgets
  // it; the window goes with its last reference. Nothing for an unknown key.
  static void destroyWindowForKey(std::string_view key);

  // Key (text) to window; made empty on first use.
  const kit::Ref<kit::MutableDictionary>& windowDic();
  void setWindowDic(kit::Ref<kit::MutableDictionary> windows);

 private:
  kit::Ref<kit::MutableDictionary> windowDic_;
};
