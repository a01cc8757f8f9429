// AppDelegate: the application's delegate. It pauses the launch for the
// splash, then forwards launch, every open-URL form, background,
// foreground and terminate to the channel core; resign-active and
// become-active stop here. Registered with the runtime, so that the
// application main makes it by name.
#pragma once

#include "channel/core/jhl_core_entity.h"
#include "kit/foundation/runtime.h"
#include "kit/ui/application.h"
#include "kit/ui/window.h"

class AppDelegate : public kit::Object, public kit::ApplicationDelegate {
  KIT_OBJECT(AppDelegate)

 public:
  // How long the launch holds the main thread before it goes on.
  static constexpr double kLaunchPauseSeconds = 2.0;

  // A delegate for the shared channel core; tests may give it a core of
  // its own and a shorter pause.
  explicit AppDelegate(kit::Ref<JHLCoreEntity> core = JHLCoreEntity::sharedInstance(),
                       double launchPause = kLaunchPauseSeconds);

  kit::Ref<kit::Window> window() const override { return window_; }
  void setWindow(kit::Ref<kit::Window> window) override { window_ = std::move(window); }

  // Holds the main thread for the launch pause (on kit's clock), then
  // launches the channel core; always YES.
  bool didFinishLaunching(kit::Application& application, const kit::Ref<kit::Dictionary>& options) override;
  std::optional<bool> openURL(kit::Application& application, const std::string& url,
                              const kit::Ref<kit::Dictionary>& options) override;
  std::optional<bool> openURL(kit::Application& application, const std::string& url,
                              const std::string& sourceApplication, const kit::Id& annotation) override;
  std::optional<bool> handleOpenURL(kit::Application& application, const std::string& url) override;
  void willResignActive(kit::Application&) override {}
  void didBecomeActive(kit::Application&) override {}
  void didEnterBackground(kit::Application& application) override;
  void willEnterForeground(kit::Application& application) override;
  void willTerminate(kit::Application& application) override;

 private:
  kit::Ref<JHLCoreEntity> core_;
  double launchPause_;
  kit::Ref<kit::Window> window_;
};
