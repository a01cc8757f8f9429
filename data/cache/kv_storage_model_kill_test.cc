// Randomized sequences against a model (see testing/kv_model.h) on a real
// tmpfs of 8 MiB, in child processes killed with SIGKILL at random
// moments. A first child fills the disk, so that the kills land on a full
// disk, in the middle of saves, removals, trims and opens; each child
// after it opens the storage the last one left, checks every key (the
// operation it was killed in may have taken effect or not, each key it
// touches holding its old state or its new one) and goes on with the
// sequence until its timer kills it. Every removal must succeed, every
// open must keep the items, and at the end, with everything removed, the
// disk has its space back less at most the room the storage keeps.
//
// The test runs in a process of its own (its program started again for
// this test alone), in a mount namespace of its own, and forks the
// children from there; they report on a pipe: "M <key> <generation> <size>
// <file>" or "X <key>" for a key's state, "V" once the check is done,
// "D <n>" once operation n is done (the lines before it are its changes),
// "S <bytes>" for the free space once the storage was first opened,
// "F <text>" for a failed check. KV_MODEL_KILLS sets the number of kills,
// KV_MODEL_FIRST_SEED the sequence (4242 unless told).

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "data/cache/kv_storage.h"
#include "data/cache/testing/kv_model.h"
#include "kit/testing/own_process.h"
#include "kit/testing/run_until.h"
#include "kit/testing/temp_directory.h"

namespace {

int kills() { return kvtest::fromEnvironment("KV_MODEL_KILLS", 100); }
// Children die within this many microseconds of their start.
constexpr int kMaxLifeMicros = 60000;
uint64_t sequenceSeed() { return static_cast<uint64_t>(kvtest::fromEnvironment("KV_MODEL_FIRST_SEED", 4242)); }

void report(int fd, const std::string& line) {
  std::string text = line + "\n";
  if (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) _exit(5);
}

std::string stateLine(int key, const kvtest::Model& model) {
  auto it = model.find(key);
  if (it == model.end()) return "X " + std::to_string(key);
  return "M " + std::to_string(key) + " " + std::to_string(it->second.generation) + " " +
         std::to_string(it->second.size) + " " + (it->second.filename.empty() ? "-" : it->second.filename);
}

// The lines that turn `before` into `after`.
void reportChanges(int fd, const kvtest::Model& before, const kvtest::Model& after) {
  for (int key = 0; key < kvtest::ModelKeys; ++key) {
    auto b = before.find(key), a = after.find(key);
    const bool same = (b == before.end()) == (a == after.end()) && (a == after.end() || a->second == b->second);
    if (!same) report(fd, stateLine(key, after));
  }
}

struct ChildPlan {
  int start;
  std::optional<int> doubt;
  // 0: not killed, empties the storage and checks the space; -1: not
  // killed, fills the disk.
  int lifeMicros;
};

[[noreturn]] void runChild(const std::string& disk, KTKVStorageType type, const kvtest::Model& model, int64_t startFree,
                           const ChildPlan& plan, int fd) {
  kvtest::ModelRun run(
      disk + "/kv", type, KTKVFileSystem::system(),
      [&] { return KTKVFileSystem::system()->availableBytes(disk.c_str()); },
      [fd](const std::string& text) { report(fd, "F " + text); });
  run.seed = sequenceSeed();
  // The disk stays full: the removals have it back in a few operations.
  run.fillsPerMille = 200;
  run.model = model;
  run.doubt = plan.doubt;
  run.startFree = startFree;
  if (plan.lifeMicros > 0) {
    struct sigaction action {};
    action.sa_handler = [](int) { ::raise(SIGKILL); };
    ::sigaction(SIGALRM, &action, nullptr);
    itimerval timer{{0, 0}, {0, plan.lifeMicros}};
    ::setitimer(ITIMER_REAL, &timer, nullptr);
  }
  if (!run.open()) _exit(3);
  if (startFree < 0) report(fd, "S " + std::to_string(run.startFree));
  const kvtest::Model before = run.model;
  if (!run.check(true, "the kill")) _exit(3);
  reportChanges(fd, before, run.model);
  report(fd, "V");
  if (plan.lifeMicros < 0) {
    const kvtest::Model empty = run.model;
    run.fillDisk(int64_t{1} << 21);
    reportChanges(fd, empty, run.model);
    report(fd, "D -1");
    _exit(0);
  }
  if (plan.lifeMicros == 0) {
    const bool emptied = run.emptyAndCheckSpace(kvtest::mix(plan.start), [&] {
      kit::test::runUntil([&] { return kvtest::folderIsEmpty(disk + "/kv/trash"); });
    });
    _exit(emptied ? 0 : 4);
  }
  for (int index = plan.start;; ++index) {
    const kvtest::Model was = run.model;
    if (!run.run(index)) _exit(4);
    reportChanges(fd, was, run.model);
    report(fd, "D " + std::to_string(index));
  }
}

size_t threadCount() {
  size_t n = 0;
  if (DIR* dir = ::opendir("/proc/self/task")) {
    while (dirent* entry = ::readdir(dir)) n += entry->d_name[0] != '.';
    ::closedir(dir);
  }
  return n;
}

// Runs one child to its end; its reports, read whole.
struct Ended {
  std::string reports;
  int status = 0;
};

Ended runToEnd(const std::string& disk, KTKVStorageType type, const kvtest::Model& model, int64_t startFree,
               const ChildPlan& plan) {
  Ended ended;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return ended;
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    runChild(disk, type, model, startFree, plan, fds[1]);
  }
  ::close(fds[1]);
  char buffer[8192];
  for (;;) {
    ssize_t n = ::read(fds[0], buffer, sizeof buffer);
    if (n > 0) {
      ended.reports.append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  ::close(fds[0]);
  ::waitpid(pid, &ended.status, 0);
  return ended;
}

void killRandomly(KTKVStorageType type, const std::string& disk) {
  kvtest::Model model;
  std::optional<int> doubt;
  int next = 0;
  // The free space once the storage was first opened (the first child
  // tells).
  int64_t startFree = -1;
  uint64_t random = sequenceSeed() + static_cast<uint64_t>(type);
  int killed = 0, onAFullDisk = 0, operations = 0;
  for (int child = 0; killed < kills(); ++child) {
    ASSERT_LT(child, 4 * kills()) << "too few children were killed";
    random = kvtest::mix(random);
    // The first fills the disk, and is not killed.
    ChildPlan plan{next, doubt, child == 0 ? -1 : 1 + static_cast<int>(random % kMaxLifeMicros)};
    Ended ended = runToEnd(disk, type, model, startFree, plan);
    bool checked = false;
    kvtest::Model changed = model;
    std::istringstream lines(ended.reports);
    for (std::string line; std::getline(lines, line);) {
      if (line.starts_with("F ")) ADD_FAILURE() << "child " << child << ": " << line.substr(2);
      if (line.starts_with("M ")) {
        int key = 0;
        long long generation = 0;
        size_t size = 0;
        char name[256] = {};
        std::sscanf(line.c_str(), "M %d %lld %zu %255s", &key, &generation, &size, name);
        changed[key] = {generation, size, std::string(name) == "-" ? "" : name};
      }
      if (line.starts_with("X ")) changed.erase(std::stoi(line.substr(2)));
      // The free space once the storage was first opened.
      if (line.starts_with("S ")) startFree = std::stoll(line.substr(2));
      if (line == "V") {
        checked = true;
        model = changed;
        doubt.reset();
      }
      if (line.starts_with("D ")) {
        model = changed;
        next = std::stoi(line.substr(2)) + 1;
      }
    }
    const bool wasKilled = WIFSIGNALED(ended.status) && WTERMSIG(ended.status) == SIGKILL;
    if (child == 0) {
      EXPECT_TRUE(WIFEXITED(ended.status) && WEXITSTATUS(ended.status) == 0) << "filling: status " << ended.status;
      EXPECT_TRUE(checked && next == 0) << "the disk was not filled";
      if (::testing::Test::HasFailure()) return;
      continue;
    }
    EXPECT_TRUE(wasKilled) << "child " << child << " ended otherwise, with status " << ended.status;
    if (::testing::Test::HasFailure()) return;
    ++killed;
    operations += next - plan.start;
    // Less than twice the room free (of 8 MiB) beside the room: full for
    // the larger values.
    if (KTKVFileSystem::system()->availableBytes(disk.c_str()) < 2 * static_cast<int64_t>(KTKVFileStore::RoomBytes)) {
      ++onAFullDisk;
    }
    // Killed while opening or checking: the next child checks the same.
    if (!checked) continue;
    // The operation after the last one reported may or may not have taken
    // effect (or even begun).
    doubt = next++;
  }
  std::printf("%d kills (%d on a full disk) in %d operations\n", killed, onAFullDisk, operations);
  // The first child filled the disk, and the sequences fill it again:
  // kills find it full (how many depends on how far the children get
  // before their timers, which the machine's load moves).
  EXPECT_GT(onAFullDisk, 0);
  Ended last = runToEnd(disk, type, model, startFree, {next, doubt, 0});
  std::istringstream lines(last.reports);
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("F ")) ADD_FAILURE() << "the last child: " << line.substr(2);
  }
  EXPECT_TRUE(WIFEXITED(last.status) && WEXITSTATUS(last.status) == 0) << "the last child's status " << last.status;
}

TEST(KVStorageModelKills, KilledSequencesOnAFullSmallDiskKeepEveryKeyAsTheModelSays) {
  if (!kit::test::inOwnProcess()) return;
  ASSERT_EQ(threadCount(), 1u) << "the children are forked: this process must have no other thread";
  if (std::string refusal = kvtest::enterOwnMountNamespace(); !refusal.empty()) {
    GTEST_SKIP() << "no mount namespace of our own here (" << refusal << ")";
  }
  kit::test::TempDirectory dir("kv-model-kills");
  int number = 0;
  for (auto type : {KTKVStorageTypeSQLite, KTKVStorageTypeMixed}) {
    SCOPED_TRACE(type == KTKVStorageTypeSQLite ? "SQLite" : "Mixed");
    const std::string disk = dir.file("disk" + std::to_string(number++));
    if (std::string refusal = kvtest::mountSmallDisk(disk); !refusal.empty()) {
      GTEST_SKIP() << "no tmpfs of our own here (" << refusal << ")";
    }
    killRandomly(type, disk);
    ::umount2(disk.c_str(), MNT_DETACH);
    if (HasFailure()) return;
  }
}

}  // namespace
