// kit::ApplicationMain: what the platform's application main does for a
// program built on kit. It makes the application delegate from its class
// name through the runtime, makes the main interface the main bundle's
// Info.plist names ("UIMainStoryboardFile": that storyboard's initial
// controller becomes the root of the key window), launches, and runs the
// main run loop until the application terminates.
//
// The system ends a program with SIGTERM and a person at a terminal with
// SIGINT; either takes the application's terminate path (the delegate's
// willTerminate, then the will-terminate notification), and so does
// Application::terminate() called inside the program. The loop then
// returns, the application takes down its windows and views
// (Application::tearDown) and ApplicationMain returns. While the loop runs, the system's
// reports of memory pressure reach the application as memory warnings
// (kit::MemoryPressureMonitor).
//
//   int main(int argc, char** argv) { return kit::ApplicationMain(argc, argv, "AppDelegate"); }
#pragma once

#include <string>

namespace kit {

// Everything before the loop: the delegate by class name, the main
// interface from Info.plist, launch. False (and a log line) when no class of
// that name can be made or it is no application delegate. Main thread.
bool ApplicationLaunch(int argc, char** argv, const std::string& delegateClassName);

// Catches SIGTERM and SIGINT, ApplicationLaunch, then runs the main run
// loop until the application terminates. 0 after a termination, 1 when the
// launch could not start. A signal held back until then (see below), or
// blocked by whoever started the program, is caught then and takes the
// terminate path. Both are caught also where whoever started the program
// ignored them (a script's background job ignores SIGINT): the program's
// end is the terminate path however it was started.
int ApplicationMain(int argc, char** argv, const std::string& delegateClassName);

// Holds SIGTERM and SIGINT back (blocks them) until ApplicationMain catches
// them, so that a signal in the program's first instant takes the
// terminate path instead of ending it. A program calls it before anything
// else; threads started meanwhile keep them blocked, so the main thread
// hears them.
void ApplicationHoldTerminationSignals();

}  // namespace kit
