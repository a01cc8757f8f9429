// The client program's display going wrong at a chosen point, every time,
// and its windows destroyed by another program: the display's connection
// cut in the middle of GTK's opening of it ends the client through the
// terminate path, logged; a fault while GTK opens a live display ends it by
// its signal, as a crash; the hidden group leader of its windows destroyed
// ends it as its shown window destroyed does. Each client runs on an X
// server of the test's own.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <memory>
#include <string>
#include <vector>

#include "app/gameclient_program_testing.h"
#include "kit/desktop/testing/x_server.h"
#include "kit/testing/run_until.h"
#include "kit/testing/temp_directory.h"
#include "sim/simulator.h"

// Last: X11's headers define macros (None, True, Status) that kit's names
// would collide with.
#include <X11/Xlib.h>
#include <X11/Xatom.h>

namespace {

using namespace gameclient_test;

// `environment` with the display-opening library preloaded, which makes
// the first connection to the display go wrong `how` ("cut" or "fault")
// the moment it is made, inside GTK's opening of the display. A fault ends
// the program by its signal, not through a sanitizer's report.
std::vector<std::string> withDisplayOpeningGoingWrong(std::vector<std::string> environment, const std::string& how) {
  bool sanitizerOptions = false;
  for (std::string& entry : environment) {
    if (entry.starts_with("ASAN_OPTIONS=")) {
      entry += ":handle_segv=0:handle_sigbus=0";
      sanitizerOptions = true;
    }
  }
  if (!sanitizerOptions) environment.push_back("ASAN_OPTIONS=handle_segv=0:handle_sigbus=0");
  environment.push_back(std::string("LD_PRELOAD=") + KIT_DISPLAY_OPENING_SHIM);
  environment.push_back("KIT_TEST_DISPLAY_OPENING=" + how);
  return environment;
}

// The connection breaks in the middle of GTK's opening of the display,
// once GDK has its own handler for a broken connection set (which would
// end the program with status 1, unlogged): the client, headless or with
// a window, ends through the terminate path with status 0 and says why.
// (A --window client opens the display before the application launches:
// it has no launched application to end.)
TEST(GameClientProgram, TheDisplayCutInTheMiddleOfGtksOpeningIsLoggedAndEndsThroughTheTerminatePath) {
  kit::test::XServer server;
  if (!server.start()) GTEST_SKIP() << "needs Xvfb";
  sim::Simulator simulator;
  for (const bool window : {false, true}) {
    SCOPED_TRACE(window ? "--window" : "headless");
    kit::test::TempDirectory dir("gameclient");
    ASSERT_TRUE(simulator.writeConfiguration(dir.file("services.plist")));
    const std::string output = dir.file("output.log");
    Program program(GAMECLIENT_PROGRAM, window ? std::vector<std::string>{"--window"} : std::vector<std::string>{},
                    withDisplayOpeningGoingWrong(environmentOnDisplay(dir, server.name()), "cut"), output);
    ASSERT_TRUE(program.started());
    expectCleanEnd(program, output, 30);
    const std::string log = readFile(output);
    const size_t lost = log.find("kit: lost the connection to the display " + server.name() + "; terminating");
    ASSERT_NE(lost, std::string::npos) << log;
    if (!window) {
      EXPECT_NE(log.find("application: terminated", lost), std::string::npos) << log;
    }
    EXPECT_EQ(log.find("no browser engine"), std::string::npos) << log;
    EXPECT_EQ(log.find("no window can be shown"), std::string::npos) << log;
  }
}

// A fault while GTK opens a display that is there and answers is no lost
// display: it ends the client by its signal, as any crash does, instead of
// passing for a clean end.
TEST(GameClientProgram, AFaultWhileGtkOpensALiveDisplayEndsTheClientByItsSignal) {
  kit::test::XServer server;
  if (!server.start()) GTEST_SKIP() << "needs Xvfb";
  sim::Simulator simulator;
  kit::test::TempDirectory dir("gameclient");
  ASSERT_TRUE(simulator.writeConfiguration(dir.file("services.plist")));
  const std::string output = dir.file("output.log");
  // The crash leaves no core file behind.
  struct NoCoreFiles {
    rlimit before{};
    NoCoreFiles() {
      getrlimit(RLIMIT_CORE, &before);
      const rlimit none{0, before.rlim_max};
      setrlimit(RLIMIT_CORE, &none);
    }
    ~NoCoreFiles() { setrlimit(RLIMIT_CORE, &before); }
  } noCoreFiles;
  Program program(GAMECLIENT_PROGRAM, {},
                  withDisplayOpeningGoingWrong(environmentOnDisplay(dir, server.name()), "fault"), output);
  ASSERT_TRUE(program.started());
  ASSERT_TRUE(kit::test::runUntil([&] { return program.ended(); }, 30)) << readFile(output);
  ASSERT_TRUE(WIFSIGNALED(program.status())) << "ended with status " << WEXITSTATUS(program.status()) << "\n"
                                             << readFile(output);
  EXPECT_EQ(WTERMSIG(program.status()), SIGSEGV) << readFile(output);
  EXPECT_EQ(readFile(output).find("lost the connection"), std::string::npos) << readFile(output);
  EXPECT_EQ(readFile(output).find("application: terminated"), std::string::npos) << readFile(output);
}

// The client's group leader on `connection`: the hidden window GDK makes
// for every window of the client to name as their leader, found as a
// window manager finds it (a window of the root's named "gameclient" that
// names itself as its client leader); 0 while there is none.
Window groupLeaderOf(::Display* connection) {
  const Atom leaderProperty = XInternAtom(connection, "WM_CLIENT_LEADER", False);
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(connection, DefaultRootWindow(connection), &root, &parent, &children, &count)) return 0;
  Window found = 0;
  for (unsigned i = 0; i < count && !found; ++i) {
    char* name = nullptr;
    const bool named = XFetchName(connection, children[i], &name) && name && std::string(name) == "gameclient";
    if (name) XFree(name);
    if (!named) continue;
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, left = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(connection, children[i], leaderProperty, 0, 1, False, XA_WINDOW, &type, &format, &items,
                           &left, &data) == Success &&
        data && format == 32 && items == 1 && *reinterpret_cast<const unsigned long*>(data) == children[i])
      found = children[i];
    if (data) XFree(data);
  }
  if (children) XFree(children);
  return found;
}

// Another program destroys the client window's hidden group leader (as
// `xdotool windowkill` of the first window named "gameclient" does): the
// client ends as when its shown window is destroyed, through the terminate
// path with status 0, whether that comes the moment the leader is there or
// once the client runs; it takes no fault of the toolkit's for it (no
// X error, no warning).
TEST(GameClientProgram, ItsGroupLeaderDestroyedEndsItAsItsWindowDestroyedDoes) {
  sim::Simulator simulator;
  for (const bool atOnce : {true, false}) {
    SCOPED_TRACE(atOnce ? "the leader destroyed the moment it is there" : "the leader destroyed once the page ran");
    kit::test::XServer server;
    if (!server.start()) GTEST_SKIP() << "needs Xvfb";
    kit::test::TempDirectory dir("gameclient");
    ASSERT_TRUE(simulator.writeConfiguration(dir.file("services.plist")));
    const std::string output = dir.file("output.log");
    const auto environment = withHomeIn(environmentOnDisplay(dir, server.name()), dir);
    // The test's own connection, to find and destroy the window with.
    std::unique_ptr<::Display, int (*)(::Display*)> connection(XOpenDisplay(server.name().c_str()), XCloseDisplay);
    ASSERT_TRUE(connection) << server.name();
    Program program(GAMECLIENT_PROGRAM, {"--window"}, environment, output);
    ASSERT_TRUE(program.started());
    if (!atOnce) {
      const std::string page = simulator.page().pageURL();
      ASSERT_TRUE(kit::test::runUntil(
          [&] { return program.ended() || readFile(output).find("game page loaded: " + page) != std::string::npos; },
          30))
          << readFile(output);
    }
    Window leader = 0;
    ASSERT_TRUE(kit::test::runUntil([&] { return program.ended() || (leader = groupLeaderOf(connection.get())); }, 30))
        << readFile(output);
    ASSERT_NE(leader, 0u) << readFile(output);
    XDestroyWindow(connection.get(), leader);
    XSync(connection.get(), False);

    expectCleanEnd(program, output, 30);
    const std::string log = readFile(output);
    const size_t destroyed = log.find("desktop: the window was destroyed by another program");
    ASSERT_NE(destroyed, std::string::npos) << log;
    EXPECT_NE(log.find("application: terminated", destroyed), std::string::npos) << log;
    EXPECT_EQ(log.find("BadWindow"), std::string::npos) << log;
    EXPECT_EQ(log.find("Gdk-WARNING"), std::string::npos) << log;
  }
}

}  // namespace
