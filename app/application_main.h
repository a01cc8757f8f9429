// The client's application main, as the platform runs it: the application
// delegate is the class named "AppDelegate", the main interface is the
// storyboard the bundle's Info.plist names ("Main", whose one scene is the
// game page's ViewController, showing the configured game page), and the
// application launches and runs until it terminates (SIGTERM or SIGINT
// take its terminate path). The gameclient program is ApplicationMain; the
// main job starts the client with startApplication, the same launch without
// the endless loop, and drives the run loop itself.
#pragma once

#include "app/app_delegate.h"
#include "app/view_controller.h"

struct ClientApplication {
  kit::Ref<AppDelegate> delegate;
  // The main window's root: the game page's screen.
  kit::Ref<ViewController> controller() const;
};

// The client's main interface: the storyboard "Main" with the game page's
// ViewController as its initial scene, and the platform SDK's storyboards
// and nibs (the login window and its pages, the pay sheet, the user
// centre). Registered by the entries below.
inline constexpr const char* kClientMainStoryboard = "Main";
void registerClientInterface();
// The channel core's overlay makers as the program installs them: the
// store's views (the hub, the level pop-up), handing the hall's on to the
// hall's (the resource hall, the not-open placard).
void installClientOverlays();

// Launches the client as ApplicationMain does (its screens, the channel
// core's overlays and the platform SDK, then the launch) and returns once
// the window shows the game page's screen; the caller runs the loop.
// Nothing in it when the bundle names no main interface.
ClientApplication startApplication(int argc = 0, char** argv = nullptr);

// For tests: the same main interface, with a delegate for a core of the
// test's own and its own launch pause.
ClientApplication startApplication(kit::Ref<JHLCoreEntity> core, double launchPause);

// The program: the launch, then the main run loop until the application
// terminates. 0 after a termination.
int ApplicationMain(int argc, char** argv);
