// Running a test in a process of its own: the test program started again
// with a filter that names this one test. Forking is safe only in a process
// with one thread, and a test program that has run other tests has threads
// (queues, sessions, servers); a test that forks therefore runs its body in
// a new process, where nothing ran before it. Either process begins with
// every signal at its default action and none blocked (see
// spawn_attributes.h), however this one was started.
//
//   TEST(Crash, EveryKillLeavesOldOrNew) {
//     if (!kit::test::inOwnProcess()) return;  // ran, and was judged, there
//     ... fork children ...
//   }
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kit::test {

// True in the process started for the current test: the test goes on.
// Elsewhere, starts that process, waits for it and returns false; the
// current test fails, with the process's output, unless the test passed
// there.
bool inOwnProcess();

// Starts this test program again, running only `test` (a child test that
// plays one side of a test between processes), with this process's
// environment less every variable whose name starts with one of
// `replacedPrefixes`, plus `environment` ("NAME=value"). The descriptor
// `closeInChild` (-1: none) is closed in the new process. Its pid, or -1;
// the caller waits for it.
pid_t spawnTestProcess(const std::string& test, const std::vector<std::string>& environment,
                       const std::vector<std::string>& replacedPrefixes, int closeInChild = -1);

}  // namespace kit::test
