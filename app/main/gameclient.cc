// The game client program: the application main. It launches the client as
// the platform would (the AppDelegate, the main window with the game page
// at the configured address) and runs until the application terminates;
// SIGTERM and SIGINT end it through the application's terminate path, from
// its first instant on. The services it reaches come from its
// configuration (see config/client_configuration.h); its bundle is the
// resources folder next to it. The page runs in the browser engine where a
// display can be had; elsewhere (one log line says so) the page driver
// stands in.

#include "app/application_main.h"
#include "kit/ui/application_main.h"
#include "kit/web/browser/browser_runtime.h"

namespace {

// Runs before the libraries' constructors and main: a SIGTERM from here on
// waits for the application to catch it instead of ending the program.
void holdTerminationSignals(int, char**, char**) { kit::ApplicationHoldTerminationSignals(); }
[[gnu::used, gnu::section(".preinit_array")]] void (*const holdAtStart)(int, char**, char**) = holdTerminationSignals;

}  // namespace

int main(int argc, char** argv) {
  kit::useBrowserEngine();
  return ApplicationMain(argc, argv);
}
