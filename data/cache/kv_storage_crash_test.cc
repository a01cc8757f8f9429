// Crash safety of the key-value storage: a child process saving values is
// killed with SIGKILL in the middle of its saves, again and again, and every
// key must then read as a complete value (the last one saved, or the one
// being saved), never a torn or mixed one. Only a key that was moving between
// a file and inline storage may read as nothing.
//
// The child is this test program run again with --kv-crash-child=<folder>
// and --kv-crash-start=<first save>; it reports every finished save as a
// line on file descriptor 3.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "data/cache/kv_storage.h"
#include "kit/foundation/file_manager.h"
#include "kit/foundation/format.h"
#include "kit/testing/temp_directory.h"

namespace {

constexpr int kKeys = 20;
constexpr int kSavesPerChild = 1000;
constexpr int kReportFd = 3;

// What save number `index` writes: key index % 20, generation index / 20 + 1.
// Keys 0-4 stay inline, keys 5-9 stay in files, keys 10-19 alternate.
struct Save {
  int key;
  int generation;
  bool inFile;
  size_t size;
};

bool inFile(int key, int generation) { return key >= 5 && (key < 10 || generation % 2 == 1); }

Save saveAt(int index) {
  Save s{index % kKeys, index / kKeys + 1, false, 0};
  s.inFile = inFile(s.key, s.generation);
  s.size = s.inFile ? 21000 + (s.generation * 7919 + s.key * 104729) % 100000
                    : 50 + (s.generation * 37 + s.key * 11) % 3000;
  return s;
}

std::string keyName(int key) { return "key" + std::to_string(key); }

// "k=05 g=000012 n=00054321|" and then bytes that depend on key, generation
// and position, so that any mix of two values is detected.
std::string valueBytes(const Save& s) {
  char header[40];
  std::snprintf(header, sizeof header, "k=%02d g=%06d n=%08zu|", s.key, s.generation, s.size);
  std::string out(header);
  const size_t headerLength = out.size();
  out.resize(std::max(s.size, headerLength));
  const size_t seed = s.key * 31 + s.generation * 17;
  for (size_t i = headerLength; i < out.size(); ++i) out[i] = static_cast<char>((seed + i) & 0xff);
  return out;
}

// The generation of a complete, consistent value for `key`, or nullopt.
std::optional<int> completeGeneration(int key, const kit::Data& value) {
  int k = -1, g = -1;
  size_t n = 0;
  std::string text = value.toString();
  if (std::sscanf(text.c_str(), "k=%d g=%d n=%zu|", &k, &g, &n) != 3) return std::nullopt;
  if (k != key || n != text.size()) return std::nullopt;
  if (text != valueBytes(Save{k, g, inFile(k, g), n})) return std::nullopt;
  return g;
}

[[noreturn]] void runChild(const std::string& folder, int start) {
  auto storage = KTKVStorage::initWithPath(kit::str(folder), KTKVStorageTypeMixed);
  if (!storage) _exit(3);
  for (int index = start; index < start + kSavesPerChild; ++index) {
    Save s = saveAt(index);
    auto name = s.inFile ? kit::str(keyName(s.key) + ".bin") : nullptr;
    if (!storage->saveItemWithKey(kit::str(keyName(s.key)), kit::Data::make(valueBytes(s)), name, nullptr)) _exit(4);
    std::string line = std::to_string(index) + "\n";
    if (::write(kReportFd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) _exit(5);
  }
  _exit(0);
}

std::vector<std::string> commandLine() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::vector<std::string> args;
  std::string arg;
  while (std::getline(in, arg, '\0')) args.push_back(arg);
  return args;
}

// Runs the child instead of the tests when this program was started as one.
class CrashChildEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string folder;
    int start = -1;
    for (const auto& arg : commandLine()) {
      if (arg.starts_with("--kv-crash-child=")) folder = arg.substr(17);
      if (arg.starts_with("--kv-crash-start=")) start = std::stoi(arg.substr(17));
    }
    if (!folder.empty() && start >= 0) runChild(folder, start);
  }
};
[[maybe_unused]] auto* const crashChildEnvironment = ::testing::AddGlobalTestEnvironment(new CrashChildEnvironment);

struct ChildRun {
  int confirmed = 0;  // saves reported finished
  bool killed = false;
};

// Starts a child at save `start`, kills it once `killAfter` saves are
// reported and `delay` of the next save's time has passed (0 to 1.5 save
// times, so that the kill falls at any stage of a save), and collects every
// report the child made.
ChildRun runAndKill(const std::string& folder, int start, int killAfter, double delay) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return {};
  int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  std::string self = "/proc/self/exe";
  std::vector<std::string> args = {self, "--gtest_filter=KVStorageCrash.*", "--kv-crash-child=" + folder,
                                   "--kv-crash-start=" + std::to_string(start)};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipeFds[1], kReportFd);  // dup2 clears close-on-exec
    ::dup2(devNull, STDOUT_FILENO);
    ::execv(self.c_str(), argv.data());
    _exit(127);
  }
  ::close(pipeFds[1]);
  ::close(devNull);

  ChildRun run;
  char buffer[4096];
  bool sentKill = false;
  std::chrono::steady_clock::time_point firstReport;
  for (;;) {
    ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // the child is gone and every report is read
    if (run.confirmed == 0) firstReport = std::chrono::steady_clock::now();
    for (ssize_t i = 0; i < n; ++i) run.confirmed += buffer[i] == '\n';
    if (!sentKill && run.confirmed >= killAfter) {
      auto perSave = (std::chrono::steady_clock::now() - firstReport) / std::max(1, run.confirmed - 1);
      std::this_thread::sleep_for(std::chrono::duration_cast<std::chrono::nanoseconds>(perSave * delay));
      ::kill(pid, SIGKILL);
      sentKill = true;
    }
  }
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  run.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  return run;
}

TEST(KVStorageCrash, KilledSavesLeaveCompleteOldOrNewValues) {
  kit::test::TempDirectory dir("kv-crash");
  const std::string folder = dir.file("kv");
  std::vector<int> confirmedGeneration(kKeys, 0);
  std::vector<bool> mayBeMissing(kKeys, false);
  int killedRuns = 0;

  // Each round kills the child just as a save of another kind begins: one
  // that stays in a file, one that moves inline to a file, one that moves
  // a file inline, one that stays inline.
  auto kindOf = [](const Save& s) {
    if (s.key < 5) return 3;
    if (s.key < 10) return 0;
    return s.inFile ? 1 : 2;
  };
  constexpr int kRounds = 12;
  std::mt19937 random(20240515);
  std::uniform_real_distribution<double> delays(0.0, 1.5);
  for (int round = 0; round < kRounds; ++round) {
    const int start = round * kSavesPerChild;
    int killAfter = 100 + (round * 97) % 800;
    while (kindOf(saveAt(start + killAfter)) != round % 4) ++killAfter;
    ChildRun run = runAndKill(folder, start, killAfter, delays(random));
    ASSERT_GE(run.confirmed, killAfter) << "the child stopped early in round " << round;
    killedRuns += run.killed;
    for (int index = start; index < start + run.confirmed; ++index) {
      Save s = saveAt(index);
      confirmedGeneration[s.key] = s.generation;
      mayBeMissing[s.key] = false;
    }
    // The one save that may or may not have happened.
    std::optional<Save> inDoubt;
    if (run.confirmed < kSavesPerChild) inDoubt = saveAt(start + run.confirmed);

    auto storage = KTKVStorage::initWithPath(kit::str(folder), KTKVStorageTypeMixed);
    ASSERT_TRUE(storage) << "round " << round;
    auto dataFiles = kit::FileManager::defaultManager()->contentsOfDirectoryAtPath(folder + "/data");
    ASSERT_TRUE(dataFiles);
    for (const auto& name : *dataFiles) {
      EXPECT_FALSE(kit::describe(name).starts_with(KTKVStorage::TemporaryFilePrefix)) << kit::describe(name);
    }
    for (int key = 0; key < kKeys; ++key) {
      const bool doubtful = inDoubt && inDoubt->key == key;
      auto value = storage->getItemValueForKey(kit::str(keyName(key)));
      if (!value) {
        const bool moving =
            doubtful && inFile(key, inDoubt->generation) != inFile(key, confirmedGeneration[key]);
        EXPECT_TRUE(confirmedGeneration[key] == 0 || mayBeMissing[key] || moving)
            << "round " << round << ": " << keyName(key) << " lost its value";
        mayBeMissing[key] = true;  // its row is gone now
        continue;
      }
      auto generation = completeGeneration(key, *value);
      ASSERT_TRUE(generation) << "round " << round << ": " << keyName(key) << " holds a torn or mixed value of "
                              << value->length() << " bytes";
      const bool isConfirmed = *generation == confirmedGeneration[key];
      const bool isInDoubt = doubtful && *generation == inDoubt->generation;
      EXPECT_TRUE(isConfirmed || isInDoubt) << "round " << round << ": " << keyName(key) << " holds generation "
                                            << *generation << ", expected " << confirmedGeneration[key];
      confirmedGeneration[key] = *generation;
    }
  }
  EXPECT_GE(killedRuns, kRounds - 1) << "the children were meant to die in the middle of their saves";
}

}  // namespace
