// What the platform's application main does for this client: the
// application delegate is an AppDelegate, the main interface is one window
// whose root is the game page's ViewController, and the application
// launches and runs the main run loop.
#pragma once

#include "app/app_delegate.h"
#include "app/view_controller.h"

struct ClientApplication {
  kit::Ref<AppDelegate> delegate;
  // The main window's root: the game page's screen.
  kit::Ref<ViewController> controller() const;
};

// Installs the delegate and the main interface and launches; returns once
// the window shows the game page's screen. The caller runs the loop.
ClientApplication startApplication(kit::Ref<JHLCoreEntity> core = JHLCoreEntity::sharedInstance(),
                                   double launchPause = AppDelegate::kLaunchPauseSeconds);

// Installs the store's overlay factory, startApplication, then the main
// run loop for good.
int ApplicationMain(int argc, char** argv);
