// The application delegate. See app_delegate.h.

#include "app/app_delegate.h"

#include "kit/dispatch/semaphore.h"
#include "platform/usercenter/cxr_helper_btn.h"

KIT_DEFINE_CLASS(AppDelegate, kit::Object) {}

AppDelegate::AppDelegate(kit::Ref<JHLCoreEntity> core, double launchPause)
    : core_(std::move(core)), launchPause_(launchPause) {}

bool AppDelegate::didFinishLaunching(kit::Application& application, const kit::Ref<kit::Dictionary>& options) {
  if (launchPause_ > 0) {
    // Nothing signals it: the wait is the pause, on kit's clock.
    kit::Semaphore pause(0);
    pause.wait(launchPause_);
  }
  // The account and pay screens reach the floating ball through its port.
  if (!CXRHelperBtnPort::shared()) CXRHelperBtnPort::install(CXRHelperBtn::sharedPort());
  core_->didFinishLaunching(application, options);
  return true;
}

std::optional<bool> AppDelegate::openURL(kit::Application& application, const std::string& url,
                                         const kit::Ref<kit::Dictionary>& options) {
  return core_->openURL(application, url, options);
}

std::optional<bool> AppDelegate::openURL(kit::Application& application, const std::string& url,
                                         const std::string& sourceApplication, const kit::Id& annotation) {
  return core_->openURL(application, url, sourceApplication, annotation);
}

std::optional<bool> AppDelegate::handleOpenURL(kit::Application& application, const std::string& url) {
  return core_->handleOpenURL(application, url);
}

void AppDelegate::didEnterBackground(kit::Application& application) { core_->didEnterBackground(application); }

void AppDelegate::willEnterForeground(kit::Application& application) { core_->willEnterForeground(application); }

void AppDelegate::willTerminate(kit::Application& application) { core_->willTerminate(application); }
