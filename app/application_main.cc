// The client's application main. See application_main.h.

#include "app/application_main.h"

#include "channel/store/nuva_store_views.h"
#include "kit/dispatch/runloop.h"

kit::Ref<ViewController> ClientApplication::controller() const {
  auto window = delegate ? delegate->window() : nullptr;
  return window ? kit::as<ViewController>(window->rootViewController()) : nullptr;
}

ClientApplication startApplication(kit::Ref<JHLCoreEntity> core, double launchPause) {
  auto application = kit::Application::shared();
  auto delegate = kit::make<AppDelegate>(core, launchPause);
  application->setDelegate(delegate);
  application->setMainInterface([core] { return kit::make<ViewController>(core); });
  application->launch();
  return ClientApplication{delegate};
}

int ApplicationMain(int, char**) {
  NUVAStoreViews::install();
  startApplication();
  kit::RunLoop::main().run();
  return 0;
}
