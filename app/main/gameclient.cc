// The game client program: the application main. The gameclient command
// (main/gameclient_start.c) starts it from libexec/ beside the command,
// with SIGTERM and SIGINT already held back. It launches the client as
// the platform would (the AppDelegate, the main window with the game page
// at the configured address) and runs until the application terminates;
// SIGTERM and SIGINT end it through the application's terminate path, from
// its first instant on, also where whoever started it ignored them (a
// script's background job has SIGINT ignored). The services it reaches
// come from its configuration (see config/client_configuration.h); its
// bundle is the resources folder next to it (libexec/resources links to
// the command's).
// The page runs in the browser engine where a display can be had;
// elsewhere (one log line says so) the page driver stands in.
//
//   gameclient [--window] [--device NAME]
//   gameclient --help
//
// It runs headless unless --window asks for a desktop window showing the
// client (mouse as touches, keyboard to the focused text input; closing
// the window terminates the application; where no window can be shown,
// it ends at once with status 1 and says why); --device picks the device it
// runs as (phone375x667, the default, phone667x375, notched812x375,
// notched375x812). An option it does not know, or a device it does not
// know, ends it at once with status 2 and says so.

#include <cstdio>
#include <memory>
#include <string>

#include "app/application_main.h"
#include "kit/desktop/desktop_window.h"
#include "kit/ui/application.h"
#include "kit/ui/application_main.h"
#include "kit/web/browser/browser_runtime.h"

namespace {

// Runs before the libraries' constructors and main: a SIGTERM from here on
// waits for the application to catch it instead of ending the program.
// (Started through the gameclient command, they are held already.)
void holdTerminationSignals(int, char**, char**) { kit::ApplicationHoldTerminationSignals(); }
[[gnu::used, gnu::section(".preinit_array")]] void (*const holdAtStart)(int, char**, char**) = holdTerminationSignals;

constexpr const char* kUsage =
    "usage: gameclient [--window] [--device NAME]\n"
    "       gameclient --help\n"
    "  --window       show the client in a desktop window (the mouse taps, the keyboard types)\n"
    "  --device NAME  the device it runs as: phone375x667 (the default), phone667x375,\n"
    "                 notched812x375, notched375x812\n"
    "The services it reaches come from GAMECLIENT_SERVICES (a services file, as the simulator\n"
    "program writes one) or the GAMECLIENT_* variables. SIGTERM or SIGINT end it.\n";

}  // namespace

int main(int argc, char** argv) {
  bool window = false;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (option == "--window") {
      window = true;
    } else if (option == "--device" || option.starts_with("--device=")) {
      const std::string name = option == "--device" ? (i + 1 < argc ? argv[++i] : "") : option.substr(9);
      auto profile = kit::deviceProfileNamed(name);
      if (!profile) {
        std::fprintf(stderr, "gameclient: no device \"%s\" (phone375x667, phone667x375, notched812x375, "
                             "notched375x812)\n", name.c_str());
        return 2;
      }
      kit::DeviceProfile::use(*profile);
    } else {
      std::fprintf(stderr, "gameclient: unknown option %s\n%s", option.c_str(), kUsage);
      return 2;
    }
  }
  kit::useBrowserEngine();
  std::unique_ptr<kit::DesktopWindow> desktop;
  if (window) {
    desktop = kit::DesktopWindow::open("gameclient");
    if (!desktop) {
      // Asked for a window, it does not go on without one.
      const std::string why = kit::browserEngineUnavailableReason();
      std::fprintf(stderr, "gameclient: no window can be shown (%s); ending\n",
                   why.empty() ? "the desktop gave none" : why.c_str());
      return 1;
    }
    desktop->setCloseHandler([] { kit::Application::shared()->terminate(); });
    kit::openOutsideURLsOnDesktop();
  }
  char* launchArguments[] = {argv[0], nullptr};
  const int status = ApplicationMain(1, launchArguments);
  desktop.reset();
  return status;
}
