// The client program as a person or the system runs it: the built
// gameclient, started as a child process against the simulated services on
// 127.0.0.1 (through its services file), launches, loads the configured
// game page from the page server and, sent SIGTERM, leaves through the
// application's terminate path with status 0, also when the signal comes
// in its first instant or its display goes away (GTK still opening it,
// too). It keeps running while its page talks to it, exports no copies of
// the C++ library's functions, and runs against the simulator program as
// an operator would; the command without its client program says why and
// ends with 127; the simulator writes its services file through a link and
// refuses a path that is no regular file. Under a display (as CI runs the
// tests) the page runs in the browser engine, elsewhere in the page
// driver: the road is the same. (gameclient_display_test.cc has the
// display going wrong at chosen points.)

#include <gtest/gtest.h>

#include <elf.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/gameclient_program_testing.h"
#include "kit/desktop/testing/x_connection_breaker.h"
#include "kit/desktop/testing/x_server.h"
#include "kit/foundation/property_list.h"
#include "kit/foundation/values.h"
#include "kit/net/testing/test_server.h"
#include "kit/testing/run_until.h"
#include "kit/testing/temp_directory.h"
#include "sim/simulator.h"

namespace {

using namespace gameclient_test;

TEST(GameClientProgram, LoadsTheConfiguredPageAndEndsCleanlyOnSIGTERM) {
  sim::Simulator simulator;
  kit::test::TempDirectory dir("gameclient");
  ASSERT_TRUE(simulator.writeConfiguration(dir.file("services.plist")));
  const std::string output = dir.file("output.log");

  Program program(childEnvironment(dir), output);
  ASSERT_TRUE(program.started()) << GAMECLIENT_PROGRAM;
  // The launch (with its two-second splash pause) reaches the channel
  // server, then the window's page screen loads the configured page.
  const std::string page = simulator.page().pageURL();
  const std::string target = page.substr(page.find("/games/"));
  ASSERT_TRUE(kit::test::runUntil(
      [&] {
        auto served = simulator.page().requests();
        return std::find(served.begin(), served.end(), target) != served.end() &&
               readFile(output).find("game page loaded: " + page) != std::string::npos;
      },
      30))
      << readFile(output);
  EXPECT_FALSE(simulator.channel().requestsTo("init").empty()) << "the launch reached the channel core";
  EXPECT_FALSE(program.ended()) << "it runs until it is told to end";

  program.signal(SIGTERM);
  expectCleanEnd(program, output);
  EXPECT_NE(readFile(output).find("signal 15, terminating"), std::string::npos) << readFile(output);
}

TEST(GameClientProgram, ASIGTERMInItsFirstInstantTakesTheTerminatePath) {
  sim::Simulator simulator;
  kit::test::TempDirectory dir("gameclient");
  ASSERT_TRUE(simulator.writeConfiguration(dir.file("services.plist")));
  const std::string output = dir.file("output.log");

  Program program(childEnvironment(dir), output, true);
  ASSERT_TRUE(program.started()) << GAMECLIENT_PROGRAM;
  program.signal(SIGTERM);
  expectCleanEnd(program, output, 30);
  EXPECT_NE(readFile(output).find("signal 15, terminating"), std::string::npos) << readFile(output);
}


// Whether the process holds SIGTERM back (blocks it) now.
bool holdsSIGTERM(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with("SigBlk:")) return (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1)) & 1;
  }
  return false;
}

// Whether the started gameclient command has run its first instruction:
// it holds SIGTERM back (the first thing it does) or has become the client
// program (which holds it until it catches it). A signal before that finds
// no code of the program to hear it, whatever the program: the system ends
// it at the signal's default action or, where whoever started it ignored
// the signal, drops it.
bool ranItsFirstInstruction(pid_t pid) {
  struct stat client {}, running {};
  if (stat(GAMECLIENT_CLIENT_PROGRAM, &client) == 0 &&
      stat(("/proc/" + std::to_string(pid) + "/exe").c_str(), &running) == 0 && client.st_dev == running.st_dev &&
      client.st_ino == running.st_ino)
    return true;
  return holdsSIGTERM(pid);
}

// SIGTERM or SIGINT in the program's first milliseconds, while it still
// loads its libraries, with nothing in the test holding them back: the
// client ends through the terminate path all the same. "At once" is as
// soon as the program has run its first instruction; a later run's signal
// goes that many milliseconds after the spawn, or once the program ran
// its first instruction if that comes later (on a busy machine the program
// may not have been given a processor yet). A script starts the client as
// a background job (SIGINT and SIGQUIT ignored) under nohup (SIGHUP
// ignored) in two more runs, which SIGINT ends the same way: the client
// takes the signals whoever started it. The clients run side by side.
TEST(GameClientProgram, ASignalInItsFirstMillisecondsTakesTheTerminatePath) {
  sim::Simulator simulator;
  struct Run {
    int milliseconds;
    int signal;
    bool startedIgnoringSIGINT;
    std::unique_ptr<kit::test::TempDirectory> dir;
    std::unique_ptr<Program> program;
  };
  std::vector<Run> runs;
  for (int milliseconds : {0, 10, 30, 60}) {
    for (int signal : {SIGTERM, SIGINT}) runs.push_back({milliseconds, signal, false, nullptr, nullptr});
  }
  for (int milliseconds : {0, 60}) runs.push_back({milliseconds, SIGINT, true, nullptr, nullptr});
  for (Run& run : runs) {
    run.dir = std::make_unique<kit::test::TempDirectory>("gameclient");
    ASSERT_TRUE(simulator.writeConfiguration(run.dir->file("services.plist")));
    const auto environment = withHomeIn(childEnvironment(*run.dir), *run.dir);
    const std::string output = run.dir->file("output.log");
    const auto start = std::chrono::steady_clock::now();
    run.program = run.startedIgnoringSIGINT
                      ? std::make_unique<Program>("/bin/sh",
                                                  std::vector<std::string>{"-c", "trap '' INT QUIT HUP; exec \"$0\"",
                                                                           GAMECLIENT_PROGRAM},
                                                  environment, output)
                      : std::make_unique<Program>(environment, output);
    ASSERT_TRUE(run.program->started()) << GAMECLIENT_PROGRAM;
    const auto at = start + std::chrono::milliseconds(run.milliseconds);
    const auto limit = start + std::chrono::seconds(30);
    const pid_t pid = run.program->pid();
    while (!run.program->ended() && std::chrono::steady_clock::now() < limit &&
           !(std::chrono::steady_clock::now() >= at && ranItsFirstInstruction(pid))) {
      // The main loop waits briefly, leaving the processor to the program.
      kit::test::runUntil([] { return false; }, 0.0001);
    }
    ASSERT_FALSE(run.program->ended()) << readFile(output);
    ASSERT_TRUE(ranItsFirstInstruction(pid)) << "not started in 30 s\n" << readFile(output);
    run.program->signal(run.signal);
  }
  for (Run& run : runs) {
    SCOPED_TRACE("signal " + std::to_string(run.signal) + " " + std::to_string(run.milliseconds) +
                 " ms after the start" + (run.startedIgnoringSIGINT ? ", started ignoring SIGINT" : ""));
    const std::string output = run.dir->file("output.log");
    ASSERT_TRUE(kit::test::runUntil([&] { return run.program->ended(); }, 60)) << readFile(output);
    expectCleanEnd(*run.program, output);
    EXPECT_NE(readFile(output).find("signal " + std::to_string(run.signal) + ", terminating"), std::string::npos)
        << readFile(output);
  }
}

TEST(GameClientProgram, LosingTheDisplayIsLoggedAndEndsThroughTheTerminatePath) {
  // A display of the test's own, to take away.
  kit::test::XServer server;
  if (!server.start()) GTEST_SKIP() << "needs Xvfb";

  sim::Simulator simulator;
  kit::test::TempDirectory dir("gameclient");
  ASSERT_TRUE(simulator.writeConfiguration(dir.file("services.plist")));
  const std::string output = dir.file("output.log");
  Program program(environmentOnDisplay(dir, server.name()), output);
  ASSERT_TRUE(program.started());
  const std::string page = simulator.page().pageURL();
  const bool loaded = kit::test::runUntil(
      [&] { return program.ended() || readFile(output).find("game page loaded: " + page) != std::string::npos; }, 30);
  const bool engine = readFile(output).find("no browser engine") == std::string::npos;

  server.stop();
  ASSERT_TRUE(loaded) << readFile(output);
  ASSERT_TRUE(engine) << "the client ran the page driver\n" << readFile(output);
  expectCleanEnd(program, output, 30);
  const std::string log = readFile(output);
  const size_t lost = log.find("lost the connection to the display " + server.name());
  ASSERT_NE(lost, std::string::npos) << log;
  EXPECT_NE(log.find("application: terminated", lost), std::string::npos) << log;
}

// The display goes while GTK is still opening it: its connection breaks at
// the first request after the setup, inside GTK's opening, every time. The
// client ends through the terminate path with status 0 all the same.
TEST(GameClientProgram, LosingTheDisplayWhileGtkOpensItEndsThroughTheTerminatePath) {
  kit::test::XServer server;
  if (!server.start()) GTEST_SKIP() << "needs Xvfb";
  kit::test::XConnectionBreaker breaker(server.name());
  ASSERT_TRUE(breaker.start());
  sim::Simulator simulator;
  kit::test::TempDirectory dir("gameclient");
  ASSERT_TRUE(simulator.writeConfiguration(dir.file("services.plist")));
  const std::string output = dir.file("output.log");
  Program program(environmentOnDisplay(dir, breaker.name()), output);
  ASSERT_TRUE(program.started());

  expectCleanEnd(program, output, 30);
  EXPECT_EQ(breaker.connectionsBroken(), 1);
  const std::string log = readFile(output);
  const size_t lost = log.find("lost the connection to the display " + breaker.name());
  ASSERT_NE(lost, std::string::npos) << log;
  EXPECT_NE(log.find("application: terminated", lost), std::string::npos) << log;
  EXPECT_EQ(log.find("no browser engine"), std::string::npos) << log;
}

// How many clients of each kind see their display go at each instant of
// their start: GAMECLIENT_TEST_DISPLAY_LOSS_RUNS (20 for a thorough run),
// else 5, which keeps the test near 15 s on two processors.
int displayLossRuns() {
  const char* runs = std::getenv("GAMECLIENT_TEST_DISPLAY_LOSS_RUNS");
  return runs && std::atoi(runs) > 0 ? std::atoi(runs) : 5;
}

// A real X server ends at one of several instants of the client's start:
// before GTK opens it, while GTK opens it (probing its OpenGL too), or
// after. Whatever the instant, the client does not crash, a --window
// client never goes on without its window, and every ending names the
// display: the display lost ends it through the terminate path with
// status 0; a display gone before GTK could open it ends a --window client
// with status 1 and leaves a headless client on the page driver, which
// SIGTERM ends. The clients of one round start side by side, one of each
// kind for each instant.
TEST(GameClientProgram, LosingTheDisplayInItsFirstInstantsNeverCrashesNorLeavesAWindowClientWithoutItsWindow) {
  sim::Simulator simulator;
  const std::vector<double> instants{0.1, 0.25, 0.4, 0.55};
  struct Run {
    bool window;
    double instant;
    std::unique_ptr<kit::test::TempDirectory> dir;
    std::unique_ptr<kit::test::XServer> server;
    std::unique_ptr<Program> program;
    std::string display;
  };
  for (int round = 0; round < displayLossRuns(); ++round) {
    std::vector<Run> runs;
    for (const bool window : {true, false}) {
      for (double instant : instants) {
        Run run{window, instant, std::make_unique<kit::test::TempDirectory>("gameclient"),
                std::make_unique<kit::test::XServer>(), nullptr, ""};
        if (!run.server->start()) GTEST_SKIP() << "needs Xvfb";
        run.display = run.server->name();
        ASSERT_TRUE(simulator.writeConfiguration(run.dir->file("services.plist")));
        runs.push_back(std::move(run));
      }
    }
    const auto start = std::chrono::steady_clock::now();
    for (Run& run : runs) {
      const auto environment = withHomeIn(environmentOnDisplay(*run.dir, run.display), *run.dir);
      run.program = std::make_unique<Program>(
          GAMECLIENT_PROGRAM, run.window ? std::vector<std::string>{"--window"} : std::vector<std::string>{},
          environment, run.dir->file("output.log"));
      ASSERT_TRUE(run.program->started());
    }
    std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.instant < b.instant; });
    for (Run& run : runs) {
      const auto at = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                  std::chrono::duration<double>(run.instant));
      kit::test::runUntil([&] { return std::chrono::steady_clock::now() >= at; }, run.instant + 1);
      run.server->stop();
    }
    for (Run& run : runs) {
      const bool window = run.window;
      SCOPED_TRACE(std::string(window ? "--window" : "headless") + ", the display gone " +
                   std::to_string(run.instant) + " s after the start, round " + std::to_string(round));
      const std::string output = run.dir->file("output.log");
      const std::string neverOpened = "GTK cannot open the display " + run.display;
      // A headless client the display went from before GTK opened it
      // runs on, on the page driver.
      ASSERT_TRUE(kit::test::runUntil(
          [&] {
            return run.program->ended() ||
                   (!window && readFile(output).find("no browser engine: " + neverOpened) != std::string::npos);
          },
          60))
          << (window ? "a --window client went on without its window\n" : "") << readFile(output);
      if (!run.program->ended()) run.program->signal(SIGTERM);
      ASSERT_TRUE(kit::test::runUntil([&] { return run.program->ended(); }, 60)) << readFile(output);
      ASSERT_TRUE(WIFEXITED(run.program->status()))
          << "ended by signal " << WTERMSIG(run.program->status()) << "\n" << readFile(output);
      const std::string log = readFile(output);
      if (log.find("lost the connection to the display " + run.display) != std::string::npos) {
        EXPECT_EQ(WEXITSTATUS(run.program->status()), 0) << log;
      } else if (window) {
        EXPECT_EQ(WEXITSTATUS(run.program->status()), 1) << log;
        EXPECT_NE(log.find("gameclient: no window can be shown (" + neverOpened + ")"), std::string::npos) << log;
      } else {
        EXPECT_EQ(WEXITSTATUS(run.program->status()), 0) << log;
        EXPECT_NE(log.find("signal 15, terminating"), std::string::npos) << log;
      }
    }
  }
}

// A port the system had free a moment ago.
int freePort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  close(fd);
  return port;
}

TEST(GameClientProgram, RunsAgainstTheSimulatorProgram) {
  kit::test::TempDirectory dir("gameclient");
  const std::string services = dir.file("services.plist");
  const std::string simulatorOutput = dir.file("simulator.log");
  const std::string clientOutput = dir.file("output.log");
  // The page's port from the command line, the others from the system.
  const int pagePort = freePort();
  ASSERT_GT(pagePort, 0);
  Program simulator(SIMULATOR_PROGRAM, {"--services", services, "--game-page-port", std::to_string(pagePort)},
                    childEnvironment(dir), simulatorOutput);
  ASSERT_TRUE(simulator.started()) << SIMULATOR_PROGRAM;
  ASSERT_TRUE(kit::test::runUntil(
      [&] { return simulator.ended() || readFile(simulatorOutput).find("simulator: ready") != std::string::npos; },
      30))
      << readFile(simulatorOutput);
  ASSERT_FALSE(simulator.ended()) << readFile(simulatorOutput);
  // A person's first login needs no registration: the simulator names the
  // account it starts with.
  EXPECT_NE(readFile(simulatorOutput).find("simulator: ready; log in as player01 with password pass123"),
            std::string::npos)
      << readFile(simulatorOutput);
  auto written = kit::dictionaryWithContentsOfFile(services);
  ASSERT_TRUE(written) << services;
  const std::string page = kit::describe((*written)["GamePage"]);
  EXPECT_EQ(page, "http://127.0.0.1:" + std::to_string(pagePort) + "/games/1001/index.html?_channel=nuva");

  // childEnvironment points the client at the services file.
  Program client(childEnvironment(dir), clientOutput);
  ASSERT_TRUE(client.started());
  ASSERT_TRUE(kit::test::runUntil(
      [&] {
        return client.ended() || (readFile(clientOutput).find("game page loaded: " + page) != std::string::npos &&
                                  readFile(simulatorOutput).find("game-page GET /games/1001/index.html?_channel=nuva") !=
                                      std::string::npos);
      },
      30))
      << readFile(clientOutput) << readFile(simulatorOutput);
  ASSERT_FALSE(client.ended()) << readFile(clientOutput);
  // Every request in one line: the launch reached the channel SDK server.
  EXPECT_NE(readFile(simulatorOutput).find(" /sdk/init"), std::string::npos)
      << readFile(simulatorOutput);

  client.signal(SIGTERM);
  simulator.signal(SIGTERM);
  expectCleanEnd(client, clientOutput);
  expectCleanEnd(simulator, simulatorOutput);
  EXPECT_NE(readFile(simulatorOutput).find("simulator: signal 15, stopping"), std::string::npos);
}

// What an operator meets of the two programs' own options: --help answers
// with the usage and starts nothing; a refusal to start names its reason.
TEST(GameClientProgram, BothProgramsAnswerHelpAndSayWhyTheyRefuseToStart) {
  kit::test::TempDirectory dir("programs");
  const std::string output = dir.file("output.log");
  auto runToEnd = [&](const std::string& program, const std::vector<std::string>& arguments) {
    Program run(program, arguments, childEnvironment(dir), output);
    EXPECT_TRUE(run.started()) << program;
    EXPECT_TRUE(kit::test::runUntil([&] { return run.ended(); }, 30)) << readFile(output);
    return WIFEXITED(run.status()) ? WEXITSTATUS(run.status()) : -1;
  };
  EXPECT_EQ(runToEnd(GAMECLIENT_PROGRAM, {"--help"}), 0);
  EXPECT_NE(readFile(output).find("usage: gameclient [--window] [--device NAME]"), std::string::npos)
      << readFile(output);
  EXPECT_EQ(readFile(output).find("game page"), std::string::npos) << readFile(output);
  EXPECT_EQ(runToEnd(SIMULATOR_PROGRAM, {"--help"}), 0);
  EXPECT_NE(readFile(output).find("usage: simulator [--services FILE]"), std::string::npos) << readFile(output);
  EXPECT_EQ(readFile(output).find("ready"), std::string::npos) << readFile(output);

  // A port another program listens on.
  const int taken = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(taken, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(taken, 1), 0);
  ASSERT_EQ(getsockname(taken, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const std::string port = std::to_string(ntohs(address.sin_port));
  EXPECT_EQ(runToEnd(SIMULATOR_PROGRAM, {"--services", dir.file("services.plist"), "--platform-api-port", port}), 1);
  close(taken);
  EXPECT_NE(readFile(output).find("cannot listen on 127.0.0.1:" + port + ": Address already in use"),
            std::string::npos)
      << readFile(output);

  // An option neither program knows: refused with the usage, before
  // anything starts.
  EXPECT_EQ(runToEnd(GAMECLIENT_PROGRAM, {"--bogus"}), 2);
  EXPECT_NE(readFile(output).find("gameclient: unknown option --bogus\nusage: gameclient"), std::string::npos)
      << readFile(output);
  EXPECT_EQ(readFile(output).find("application:"), std::string::npos) << readFile(output);
  EXPECT_EQ(runToEnd(SIMULATOR_PROGRAM, {"--services", dir.file("services.plist"), "--bogus"}), 2);
  EXPECT_NE(readFile(output).find("simulator: unknown option --bogus\nusage: simulator"), std::string::npos)
      << readFile(output);
  EXPECT_EQ(readFile(output).find("ready"), std::string::npos) << readFile(output);

  // A folder that is there but takes no new file.
  EXPECT_EQ(runToEnd(SIMULATOR_PROGRAM, {"--services", "/proc/services.plist"}), 1);
  EXPECT_NE(readFile(output).find("cannot write the services file /proc/services.plist: no file can be made in the "
                                  "folder /proc: No such file or directory"),
            std::string::npos)
      << readFile(output);

  // A services file in a folder that is not there.
  const std::string unwritable = dir.file("missing") + "/services.plist";
  EXPECT_EQ(runToEnd(SIMULATOR_PROGRAM, {"--services", unwritable}), 1);
  EXPECT_NE(readFile(output).find("cannot write the services file " + unwritable +
                                  ": The folder \u201cmissing\u201d doesn\u2019t exist."),
            std::string::npos)
      << readFile(output);

  // No path at all: refused before anything starts, saying so.
  EXPECT_EQ(runToEnd(SIMULATOR_PROGRAM, {"--services", ""}), 1);
  EXPECT_NE(readFile(output).find("simulator: cannot write the services file: the path is empty\n"),
            std::string::npos)
      << readFile(output);
  EXPECT_EQ(readFile(output).find("channel SDK server"), std::string::npos) << readFile(output);
}

// The services file goes where the operator points, and nowhere else: a
// symbolic link is written through, to its target (the link stays); a path
// that is no regular file (a FIFO, a socket, a link to one) is refused with
// the reason before anything is written, and left as it was.
TEST(GameClientProgram, TheSimulatorWritesItsServicesFileThroughALinkAndRefusesWhatIsNoRegularFile) {
  kit::test::TempDirectory dir("programs");
  const std::string output = dir.file("output.log");
  auto runToEnd = [&](const std::string& services) {
    Program run(SIMULATOR_PROGRAM, {"--services", services}, childEnvironment(dir), output);
    EXPECT_TRUE(run.started()) << SIMULATOR_PROGRAM;
    EXPECT_TRUE(kit::test::runUntil(
        [&] { return run.ended() || readFile(output).find("simulator: ready") != std::string::npos; }, 30))
        << readFile(output);
    if (!run.ended()) run.signal(SIGTERM);
    EXPECT_TRUE(kit::test::runUntil([&] { return run.ended(); }, 30)) << readFile(output);
    return WIFEXITED(run.status()) ? WEXITSTATUS(run.status()) : -1;
  };
  auto isKind = [](const std::string& path, mode_t kind) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 && (status.st_mode & S_IFMT) == kind;
  };

  // A link to a file of the operator's, and a link to a link to a file not
  // there yet (in another folder, named relative to the link's).
  const std::string target = dir.file("kept.plist");
  std::ofstream(target) << "old";
  const std::string link = dir.file("services.plist");
  ASSERT_EQ(symlink("kept.plist", link.c_str()), 0);
  EXPECT_EQ(runToEnd(link), 0) << readFile(output);
  EXPECT_TRUE(isKind(link, S_IFLNK));
  EXPECT_TRUE(isKind(target, S_IFREG));
  auto written = kit::dictionaryWithContentsOfFile(target);
  ASSERT_TRUE(written) << readFile(target);
  EXPECT_TRUE((*written)["GamePage"]);
  ASSERT_EQ(mkdir(dir.file("elsewhere").c_str(), 0755), 0);
  const std::string chained = dir.file("chained.plist");
  ASSERT_EQ(symlink("hop.plist", chained.c_str()), 0);
  ASSERT_EQ(symlink("elsewhere/made.plist", dir.file("hop.plist").c_str()), 0);
  EXPECT_EQ(runToEnd(chained), 0) << readFile(output);
  EXPECT_TRUE(isKind(chained, S_IFLNK));
  EXPECT_TRUE(kit::dictionaryWithContentsOfFile(dir.file("elsewhere/made.plist")));

  // A FIFO (a reader waiting at it would be handed the file), a socket,
  // and a link to a FIFO.
  const std::string fifo = dir.file("services.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  EXPECT_EQ(runToEnd(fifo), 1);
  EXPECT_NE(readFile(output).find("cannot write the services file " + fifo + ": it is a FIFO, not a regular file"),
            std::string::npos)
      << readFile(output);
  EXPECT_TRUE(isKind(fifo, S_IFIFO));

  const std::string socketPath = dir.file("services.socket");
  const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(runToEnd(socketPath), 1);
  close(listener);
  EXPECT_NE(readFile(output).find("cannot write the services file " + socketPath + ": it is a socket, not a regular file"),
            std::string::npos)
      << readFile(output);
  EXPECT_TRUE(isKind(socketPath, S_IFSOCK));

  const std::string toFifo = dir.file("fifo-link.plist");
  ASSERT_EQ(symlink(fifo.c_str(), toFifo.c_str()), 0);
  EXPECT_EQ(runToEnd(toFifo), 1);
  EXPECT_NE(readFile(output).find("cannot write the services file " + toFifo + ": " + fifo +
                                  " is a FIFO, not a regular file"),
            std::string::npos)
      << readFile(output);
  EXPECT_TRUE(isKind(toFifo, S_IFLNK));
  EXPECT_TRUE(isKind(fifo, S_IFIFO));
}

// The gameclient command without the client program beside it (a broken
// installation) says which program it could not start and why, and ends
// with status 127, as a shell does for a command it cannot run.
TEST(GameClientProgram, TheCommandWithoutItsClientProgramSaysWhyAndEndsWith127) {
  kit::test::TempDirectory dir("programs");
  const std::string output = dir.file("output.log");
  const std::string command = dir.file("gameclient");
  std::filesystem::copy_file(GAMECLIENT_PROGRAM, command);
  std::filesystem::permissions(command, std::filesystem::perms::owner_all);
  const std::string client = dir.file("libexec/gameclient");
  auto runToEnd = [&] {
    Program run(command, {}, childEnvironment(dir), output);
    EXPECT_TRUE(run.started()) << command;
    EXPECT_TRUE(kit::test::runUntil([&] { return run.ended(); }, 30)) << readFile(output);
    return WIFEXITED(run.status()) ? WEXITSTATUS(run.status()) : -1;
  };

  EXPECT_EQ(runToEnd(), 127);
  EXPECT_EQ(readFile(output), "gameclient: cannot start the client program " + client + ": no such file\n");
  // There, but not a program anyone may run.
  ASSERT_EQ(mkdir(dir.file("libexec").c_str(), 0755), 0);
  std::ofstream(client) << "#!/bin/sh\n";
  std::filesystem::permissions(client, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_EQ(runToEnd(), 127);
  EXPECT_EQ(readFile(output), "gameclient: cannot start the client program " + client + ": permission denied\n");
  // A runnable file that is no program of this system.
  std::ofstream(client, std::ios::trunc) << "not a program";
  std::filesystem::permissions(client, std::filesystem::perms::owner_all);
  EXPECT_EQ(runToEnd(), 127);
  EXPECT_EQ(readFile(output),
            "gameclient: cannot start the client program " + client + ": not a program of this system\n");
}

// The names of the functions a program exports: those its dynamic symbol
// table defines, global or weak.
// Nothing when the file is no 64-bit ELF file with a dynamic symbol table.
std::optional<std::vector<std::string>> exportedFunctions(const std::string& path) {
  std::optional<std::vector<std::string>> names;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return names;
  struct stat st {};
  fstat(fd, &st);
  void* mapped = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  close(fd);
  if (mapped == MAP_FAILED) return names;
  const auto* bytes = static_cast<const unsigned char*>(mapped);
  const auto* header = reinterpret_cast<const Elf64_Ehdr*>(bytes);
  if (static_cast<size_t>(st.st_size) < sizeof(Elf64_Ehdr) || std::memcmp(header->e_ident, ELFMAG, SELFMAG) != 0 ||
      header->e_ident[EI_CLASS] != ELFCLASS64) {
    munmap(mapped, static_cast<size_t>(st.st_size));
    return names;
  }
  const auto* sections = reinterpret_cast<const Elf64_Shdr*>(bytes + header->e_shoff);
  for (int i = 0; i < header->e_shnum; ++i) {
    if (sections[i].sh_type != SHT_DYNSYM) continue;
    names.emplace();
    const auto* symbols = reinterpret_cast<const Elf64_Sym*>(bytes + sections[i].sh_offset);
    const char* strings = reinterpret_cast<const char*>(bytes + sections[sections[i].sh_link].sh_offset);
    for (size_t k = 0; k < sections[i].sh_size / sizeof(Elf64_Sym); ++k) {
      const unsigned char binding = ELF64_ST_BIND(symbols[k].st_info);
      if (symbols[k].st_shndx != SHN_UNDEF && ELF64_ST_TYPE(symbols[k].st_info) == STT_FUNC &&
          (binding == STB_GLOBAL || binding == STB_WEAK))
        names->emplace_back(strings + symbols[k].st_name);
    }
  }
  munmap(mapped, static_cast<size_t>(st.st_size));
  return names;
}

// The browser engine's libraries define some of the C++ library's inline
// functions themselves (std::shared_ptr's release, std::string's members):
// a program that exported its own copies would have the engine run them,
// and a sanitizer build of the program checks those copies against objects
// the engine built without type information, and dies.
TEST(GameClientProgram, ExportsNoCopiesOfTheStandardLibrarysFunctions) {
  const auto exported = exportedFunctions(GAMECLIENT_CLIENT_PROGRAM);
  ASSERT_TRUE(exported) << "no dynamic symbol table read from " << GAMECLIENT_CLIENT_PROGRAM;
  std::vector<std::string> standard;
  for (const std::string& name : *exported) {
    if (name.starts_with("_ZNSt") || name.starts_with("_ZNKSt") || name.starts_with("_ZSt")) standard.push_back(name);
  }
  EXPECT_TRUE(standard.empty()) << standard.size() << " exported, the first " << standard.front();
}

// A page that posts messages to the client in bursts and tells its server
// how many it has posted. Between bursts the engine's script values in the
// client go unused long enough for their virtual machine to be torn down,
// which is where the engine's own code ran the client's copies of inline
// library functions.
constexpr const char* kChattyPage = R"HTML(<title>chatty</title><script>
var posted = 0;
function burst() {
  for (var i = 0; i < 20; ++i) {
    posted += 1;
    window.webkit.messageHandlers.eventComplete.postMessage(
        JSON.stringify({ action: "tick", data: { n: posted, text: "消息".repeat(40) } }));
  }
  fetch("/posted?n=" + posted);
}
burst();
setInterval(burst, 1500);
</script>)HTML";

// How long the client must keep running while the page talks to it. The
// sanitizer build was seen to die 5 to 12 seconds into runs like this one;
// 15 seconds outlasts the latest of those ends and keeps the test short.
constexpr double kChattySeconds = 15;

TEST(GameClientProgram, RunsUnderADisplayWhileThePageSendsMessages) {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) GTEST_SKIP() << "needs a display (run under xvfb-run -a)";
  sim::Simulator simulator;
  auto pages = kit::test::TestServer::startHTTP();
  ASSERT_TRUE(pages);
  pages->route("GET", "/chatty.html", kit::test::TestResponse::html(kChattyPage));
  size_t posted = 0;
  std::mutex postedMutex;
  pages->route("GET", "/posted", [&](const kit::test::RecordedRequest& request) {
    std::lock_guard lock(postedMutex);
    posted = std::max<size_t>(posted, std::stoul(request.formValue("n").value_or("0")));
    return kit::test::TestResponse::text("ok");
  });
  auto postedSoFar = [&] {
    std::lock_guard lock(postedMutex);
    return posted;
  };
  kit::test::TempDirectory dir("gameclient");
  ASSERT_TRUE(simulator.writeConfiguration(dir.file("services.plist")));
  const std::string output = dir.file("output.log");
  const std::string page = pages->url("/chatty.html");

  Program program(childEnvironment(dir, {"GAMECLIENT_GAME_PAGE=" + page}), output);
  ASSERT_TRUE(program.started()) << GAMECLIENT_PROGRAM;
  ASSERT_TRUE(kit::test::runUntil(
      [&] { return program.ended() || readFile(output).find("game page loaded: " + page) != std::string::npos; },
      30))
      << readFile(output);
  ASSERT_FALSE(program.ended()) << readFile(output);

  // The point is the time itself: the client keeps running while the page
  // keeps talking, or the wait ends early with the client gone.
  const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(kChattySeconds);
  kit::test::runUntil([&] { return program.ended() || std::chrono::steady_clock::now() >= until; },
                      kChattySeconds + 5);
  ASSERT_FALSE(program.ended()) << "the client ended while the page talked to it\n" << readFile(output);
  EXPECT_GE(postedSoFar(), 100u) << "the page kept posting messages";

  program.signal(SIGTERM);
  expectCleanEnd(program, output);
}

}  // namespace
