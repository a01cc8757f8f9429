// The client's application main. See application_main.h.

#include "app/application_main.h"

#include "app/platform_sdk.h"
#include "channel/hall/nuva_hall_views.h"
#include "channel/store/nuva_store_views.h"
#include "kit/ui/application.h"
#include "kit/ui/application_main.h"
#include "kit/ui/scene_registry.h"
#include "platform/account/kt_account_scenes.h"
#include "platform/usercenter/kt_suspend_vc.h"

kit::Ref<ViewController> ClientApplication::controller() const {
  auto window = delegate ? delegate->window() : nullptr;
  return window ? kit::as<ViewController>(window->rootViewController()) : nullptr;
}

void registerClientInterface() {
  auto& scenes = kit::SceneRegistry::shared();
  if (scenes.hasStoryboard(kClientMainStoryboard)) return;
  scenes.registerController(kClientMainStoryboard, "ViewController", [] { return kit::make<ViewController>(); });
  scenes.setInitialController(kClientMainStoryboard, "ViewController");
  KTAccountRegisterScenes();
  KTSuspendVC::registerScene();
}

void installClientOverlays() { NUVAStoreViews::install(std::make_shared<NUVAHallViews>()); }

namespace {

// What the program sets up before it launches: its screens, the channel
// core's overlays and the platform SDK.
void prepareClient() {
  registerClientInterface();
  installClientOverlays();
  PlatformSDK::install();
}

}  // namespace

ClientApplication startApplication(int argc, char** argv) {
  prepareClient();
  if (!kit::ApplicationLaunch(argc, argv, AppDelegate::staticClass().name())) return {};
  return ClientApplication{kit::as<AppDelegate>(kit::Application::shared()->delegate())};
}

ClientApplication startApplication(kit::Ref<JHLCoreEntity> core, double launchPause) {
  auto application = kit::Application::shared();
  auto delegate = kit::make<AppDelegate>(core, launchPause);
  application->setDelegate(delegate);
  application->setMainInterface([core] { return kit::make<ViewController>(core); });
  application->launch();
  return ClientApplication{delegate};
}

int ApplicationMain(int argc, char** argv) {
  prepareClient();
  return kit::ApplicationMain(argc, argv, AppDelegate::staticClass().name());
}
