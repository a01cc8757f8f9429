// The client ends at once whatever is on screen: the client's application
// main runs in a child process (client_exit_probe) against the simulator,
// with one overlay of the store hub, the hall or the user centre open on
// the key window; SIGTERM or SIGINT then ends it with status 0 through the
// terminate path, promptly, with nothing destroyed twice or after its end
// (a sanitizer build aborts on either; a view reaching a shared instance
// already destroyed by an exit handler once left it spinning for good).
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "app/gameclient_program_testing.h"
#include "kit/testing/run_until.h"
#include "kit/testing/temp_directory.h"
#include "sim/simulator.h"

namespace {

using gameclient_test::childEnvironment;
using gameclient_test::Program;
using gameclient_test::readFile;
using gameclient_test::withHomeIn;

// A clean end comes within this long of the signal, however loaded the
// machine (a quiet one takes a small fraction of it; the test prints it).
constexpr double kEndBound = 10;

class ClientExit : public ::testing::TestWithParam<const char*> {};

TEST_P(ClientExit, EndsWithStatusZeroAtOnceOnSIGTERMAndOnSIGINT) {
  const std::string overlay = GetParam();
  sim::Simulator simulator;
  // A trailer shorter than the free-video offer's time: the card's
  // countdown runs once it has played.
  simulator.game().setVideoDuration(1);
  for (int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE("signal " + std::to_string(signal));
    kit::test::TempDirectory dir("client-exit");
    ASSERT_TRUE(simulator.writeConfiguration(dir.file("services.plist")));
    const std::string output = dir.file("output.log");
    Program program(CLIENT_EXIT_PROBE, {overlay}, withHomeIn(childEnvironment(dir), dir), output);
    ASSERT_TRUE(program.started()) << CLIENT_EXIT_PROBE;
    const std::string shown = "exit probe: " + overlay + " shown";
    ASSERT_TRUE(kit::test::runUntil(
        [&] { return program.ended() || readFile(output).find(shown) != std::string::npos; }, 120))
        << readFile(output);
    ASSERT_FALSE(program.ended()) << readFile(output);

    const auto sent = std::chrono::steady_clock::now();
    program.signal(signal);
    ASSERT_TRUE(kit::test::runUntil([&] { return program.ended(); }, 60))
        << "still running a minute after the signal\n" << readFile(output);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
    std::printf("[ exit     ] %s, signal %d: ended %.3f s after it\n", overlay.c_str(), signal, seconds);
    ASSERT_TRUE(WIFEXITED(program.status())) << "ended by signal " << WTERMSIG(program.status()) << "\n"
                                             << readFile(output);
    EXPECT_EQ(WEXITSTATUS(program.status()), 0) << readFile(output);
    EXPECT_LT(seconds, kEndBound) << readFile(output);
    const std::string log = readFile(output);
    EXPECT_NE(log.find("signal " + std::to_string(signal) + ", terminating"), std::string::npos) << log;
    EXPECT_NE(log.find("application: terminated"), std::string::npos) << log;
  }
}

std::string testName(const ::testing::TestParamInfo<const char*>& info) {
  std::string name = info.param;
  for (char& c : name)
    if (c == '-') c = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(StoreHubOverlays, ClientExit,
                         ::testing::Values("store-hub", "level-pop", "free-video", "video-gift", "optional-gift"),
                         testName);
INSTANTIATE_TEST_SUITE_P(HallOverlays, ClientExit, ::testing::Values("resource-hall", "not-open", "turn-gift"),
                         testName);
INSTANTIATE_TEST_SUITE_P(UserCentreOverlays, ClientExit, ::testing::Values("helper-ball", "user-centre"), testName);

}  // namespace
