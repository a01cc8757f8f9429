// The application main. See application_main.h.
#include "kit/ui/application_main.h"

#include <pthread.h>

#include <csignal>
#include <vector>

#include "kit/dispatch/runloop.h"
#include "kit/dispatch/signal_source.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/bundle.h"
#include "kit/foundation/log.h"
#include "kit/foundation/notification_center.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/values.h"
#include "kit/ui/application.h"
#include "kit/ui/memory_pressure_monitor.h"
#include "kit/ui/scene_registry.h"

namespace kit {

namespace {

// The Info.plist key naming the storyboard of the main interface.
constexpr const char* kMainStoryboardKey = "UIMainStoryboardFile";

}  // namespace

bool ApplicationLaunch(int, char**, const std::string& delegateClassName) {
  KIT_CHECK_MAIN_THREAD();
  Ref<ApplicationDelegate> delegate;
  if (const Class* cls = Class::named(delegateClassName); cls && cls->canCreate()) {
    delegate = std::dynamic_pointer_cast<ApplicationDelegate>(cls->create());
  }
  if (!delegate) {
    log("application: no application delegate class named \"%s\"", delegateClassName.c_str());
    return false;
  }
  auto application = Application::shared();
  application->setDelegate(delegate);
  const Id storyboard = Bundle::main()->objectForInfoDictionaryKey(kMainStoryboardKey);
  if (isSet(storyboard)) {
    const std::string name = describe(storyboard);
    if (SceneRegistry::shared().hasStoryboard(name)) {
      application->setMainInterface([name] { return SceneRegistry::shared().instantiateInitial(name); });
    } else {
      log("application: the main interface \"%s\" is not registered", name.c_str());
    }
  }
  application->launch();
  return true;
}

int ApplicationMain(int argc, char** argv, const std::string& delegateClassName) {
  KIT_CHECK_MAIN_THREAD();
  // Caught before the launch, so that a signal during it takes the
  // terminate path as soon as the loop runs.
  std::vector<Ref<SignalSource>> signals;
  sigset_t caught;
  sigemptyset(&caught);
  for (int signal : {SIGTERM, SIGINT}) {
    auto source = SignalSource::create(signal, Queue::main());
    source->setEventHandler([signal] {
      log("application: signal %d, terminating", signal);
      Application::shared()->terminate();
    });
    source->resume();
    signals.push_back(source);
    sigaddset(&caught, signal);
  }
  // One that came while they were held back arrives now.
  pthread_sigmask(SIG_UNBLOCK, &caught, nullptr);
  auto center = NotificationCenter::defaultCenter();
  const Id terminated =
      center->addObserverForName(ApplicationWillTerminateNotification, nullptr, [](const Ref<Notification>&) {
        log("application: terminated");
        RunLoop::main().stop();
      });
  int status = 1;
  if (ApplicationLaunch(argc, argv, delegateClassName)) {
    // The system's reports of memory pressure become memory warnings.
    auto pressure = MemoryPressureMonitor::startWatchingSystem();
    if (pressure) {
      log("application: memory warnings follow the pressure of %s", pressure->source());
    } else {
      log("application: memory pressure is not watched (%s)", MemoryPressureMonitor::lastRefusal());
    }
    RunLoop::main().run();
    if (pressure) pressure->stop();
    status = 0;
  }
  // What the application shows goes now, in its order, while everything
  // its views reach is still there; the process's exit handlers find
  // nothing of it to destroy.
  Application::shared()->tearDown();
  center->removeObserver(terminated);
  for (const auto& source : signals) source->cancel();
  return status;
}

void ApplicationHoldTerminationSignals() {
  sigset_t held;
  sigemptyset(&held);
  sigaddset(&held, SIGTERM);
  sigaddset(&held, SIGINT);
  pthread_sigmask(SIG_BLOCK, &held, nullptr);
}

}  // namespace kit
