// User defaults on real files: values survive into a new process, changes
// from two processes merge (also two writing at once), one value that two
// processes update in turn keeps both's changes, the file is replaced
// atomically, a corrupt file is kept aside, and concurrent use from several
// threads loses nothing.

#include "kit/foundation/user_defaults.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "kit/foundation/property_list.h"
#include "kit/foundation/values.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/own_process.h"
#include "kit/testing/spawn_attributes.h"
#include "kit/testing/temp_directory.h"

extern char** environ;

namespace kit {
namespace {

namespace fs = std::filesystem;

class UserDefaultsTest : public ::testing::Test {
 protected:
  void TearDown() override { UserDefaults::setStandardPath(""); }

  // Runs this test binary again as a new process, running only `test`, with
  // the standard defaults pointed at our file through the environment.
  int runChild(const std::string& test) {
    std::string filter = "--gtest_filter=" + test;
    std::string pathVar = "KIT_USER_DEFAULTS_PATH=" + path_;
    std::vector<std::string> env{pathVar, "KIT_USER_DEFAULTS_CHILD=1"};
    for (char** e = environ; *e; ++e) {
      std::string_view entry(*e);
      if (!entry.starts_with("KIT_USER_DEFAULTS_")) env.emplace_back(entry);
    }
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string exe = fs::read_symlink("/proc/self/exe").string();
    char* argv[] = {exe.data(), filter.data(), nullptr};
    pid_t pid;
    const test::SpawnAttributes attributes;
    if (posix_spawn(&pid, exe.c_str(), nullptr, attributes.get(), argv, envp.data()) != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Starts this test binary again, running only `test` as a writer named
  // `prefix` that waits for the end of the pipe `go`; the pid, or -1.
  pid_t spawnWriter(const std::string& test, const char* prefix, const int go[2]) {
    return test::spawnTestProcess(test,
                                  {"KIT_USER_DEFAULTS_PATH=" + path_, std::string("KIT_USER_DEFAULTS_WRITER=") + prefix,
                                   "KIT_USER_DEFAULTS_GO=" + std::to_string(go[0])},
                                  {"KIT_USER_DEFAULTS_"}, go[1]);
  }

  // Runs `test` as two writers, "first" and "second", that start on the
  // same instant (when the pipe's last writing end closes), and waits for
  // both to end well.
  void runTwoWriters(const std::string& test) {
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    std::vector<pid_t> writers;
    for (const char* prefix : {"first", "second"}) writers.push_back(spawnWriter(test, prefix, go));
    close(go[0]);
    close(go[1]);
    for (pid_t pid : writers) {
      ASSERT_GT(pid, 0);
      int status = 0;
      ASSERT_EQ(waitpid(pid, &status, 0), pid);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
  }

  test::TempDirectory temp_{"kit-defaults"};
  const std::string& dir_ = temp_.path();
  const std::string path_ = dir_ + "/prefs/app.plist";  // the folder is made on the first write
};

// The child half of ValuesSurviveIntoANewProcess; skipped when run alone.
TEST(UserDefaultsChild, ReadsWhatTheParentWrote) {
  if (!std::getenv("KIT_USER_DEFAULTS_CHILD")) GTEST_SKIP() << "runs as a child process only";
  Ref<UserDefaults> defaults = UserDefaults::standardUserDefaults();
  ASSERT_EQ(describe(defaults->stringForKey("greeting")), "你好");
  ASSERT_EQ(defaults->integerForKey("count"), 42);
  ASSERT_TRUE(defaults->boolForKey("flag"));
  ASSERT_TRUE(isEqual(defaults->arrayForKey("list"), array({1, "two"})));
  defaults->setObject(str("child"), "written.by");
  // Not synchronized here: the exit hook writes it.
}

TEST_F(UserDefaultsTest, ValuesSurviveIntoANewProcess) {
  UserDefaults::setStandardPath(path_);
  Ref<UserDefaults> defaults = UserDefaults::standardUserDefaults();
  EXPECT_EQ(defaults->path(), path_);
  defaults->setObject(str("你好"), "greeting");
  defaults->setInteger(42, "count");
  defaults->setBool(true, "flag");
  defaults->setObject(array({1, "two"}), "list");
  ASSERT_TRUE(defaults->synchronize());

  ASSERT_EQ(runChild("UserDefaultsChild.ReadsWhatTheParentWrote"), 0);

  // The child's value arrives with synchronize, and ours stay.
  defaults->setObject(str("parent"), "late");
  ASSERT_TRUE(defaults->synchronize());
  EXPECT_EQ(describe(defaults->stringForKey("written.by")), "child");
  EXPECT_EQ(describe(defaults->stringForKey("greeting")), "你好");
  Ref<UserDefaults> fresh = UserDefaults::withFile(path_);
  EXPECT_EQ(describe(fresh->stringForKey("written.by")), "child");
  EXPECT_EQ(describe(fresh->stringForKey("late")), "parent");
  EXPECT_EQ(fresh->integerForKey("count"), 42);
}

TEST_F(UserDefaultsTest, ReadersConvertAndRegisteredDefaultsFillIn) {
  Ref<UserDefaults> defaults = UserDefaults::withFile(path_);
  defaults->registerDefaults(dict({{"volume", 0.5}, {"name", "guest"}, {"sound", true}}));
  EXPECT_EQ(defaults->doubleForKey("volume"), 0.5);
  EXPECT_EQ(describe(defaults->stringForKey("name")), "guest");
  defaults->setObject(str("player"), "name");
  EXPECT_EQ(describe(defaults->stringForKey("name")), "player");
  defaults->removeObjectForKey("name");
  EXPECT_EQ(describe(defaults->stringForKey("name")), "guest");  // the registered value again

  defaults->setObject(str("12"), "numberText");
  EXPECT_EQ(defaults->integerForKey("numberText"), 12);
  defaults->setObject(str("YES"), "boolText");
  EXPECT_TRUE(defaults->boolForKey("boolText"));
  defaults->setInteger(7, "seven");
  EXPECT_EQ(describe(defaults->stringForKey("seven")), "7");
  EXPECT_EQ(defaults->arrayForKey("seven"), nullptr);
  EXPECT_EQ(defaults->integerForKey("missing"), 0);
  EXPECT_EQ(defaults->stringForKey("missing"), nullptr);
  defaults->setObject(Data::make("bytes"), "blob");
  EXPECT_EQ(describe(defaults->dataForKey("blob")), describe(Data::make("bytes")));

  // A stored value does not change when the caller's mutable object does.
  auto list = mutableArray({1});
  defaults->setObject(list, "list");
  list->addObject(num(2));
  EXPECT_EQ(defaults->arrayForKey("list")->count(), 1u);
  EXPECT_FALSE(isKind<MutableArray>(defaults->arrayForKey("list")));

  Ref<Dictionary> all = defaults->dictionaryRepresentation();
  EXPECT_EQ(describe(all->objectForKey(std::string_view("volume"))), "0.5");
  EXPECT_EQ(describe(all->objectForKey(std::string_view("seven"))), "7");

  // Registered defaults are never written.
  ASSERT_TRUE(defaults->synchronize());
  Ref<Dictionary> onDisk = dictionaryWithContentsOfFile(path_);
  ASSERT_TRUE(onDisk);
  EXPECT_EQ(onDisk->objectForKey(std::string_view("volume")), nullptr);
  EXPECT_EQ(describe(onDisk->objectForKey(std::string_view("seven"))), "7");

  EXPECT_THROW(defaults->setObject(array({null()}), "bad"), Exception);
  EXPECT_THROW(defaults->setObject(dict({{1, "x"}}), "bad"), Exception);
  EXPECT_EQ(defaults->objectForKey("bad"), nullptr);
}

TEST_F(UserDefaultsTest, CorruptFileIsKeptAsideAndFailedWritesStayPending) {
  fs::create_directories(dir_ + "/prefs");
  std::ofstream(path_) << "this is not a property list";
  test::LogCapture logs;
  Ref<UserDefaults> defaults = UserDefaults::withFile(path_);
  EXPECT_TRUE(defaults->dictionaryRepresentation()->empty());
  EXPECT_TRUE(fs::exists(path_ + ".corrupt"));
  EXPECT_TRUE(logs.contains("app.plist is not a dictionary property list"));
  defaults->setObject(str("v"), "k");
  ASSERT_TRUE(defaults->synchronize());
  EXPECT_EQ(describe(UserDefaults::withFile(path_)->stringForKey("k")), "v");
  // Only the file itself, the corrupt copy and the lock file the writers
  // take turns on: no temporary files remain.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ + "/prefs"), fs::directory_iterator()), 3);

  // A file that cannot be written: synchronize fails and keeps the change.
  std::ofstream(dir_ + "/blocker") << "a file where a folder should be";
  Ref<UserDefaults> stuck = UserDefaults::withFile(dir_ + "/blocker/app.plist");
  stuck->setObject(str("v"), "k");
  EXPECT_FALSE(stuck->synchronize());
  EXPECT_EQ(describe(stuck->stringForKey("k")), "v");
  EXPECT_TRUE(logs.contains("cannot save"));
}

TEST_F(UserDefaultsTest, ConcurrentUseLosesNothing) {
  Ref<UserDefaults> defaults = UserDefaults::withFile(path_);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([defaults, t] {
      for (int i = 0; i < 50; ++i) {
        std::string key = "k" + std::to_string(t) + "." + std::to_string(i);
        defaults->setInteger(i, key);
        EXPECT_EQ(defaults->integerForKey(key), i);
        if (i % 10 == 0) defaults->synchronize();
      }
    });
  }
  for (auto& th : threads) th.join();
  ASSERT_TRUE(defaults->synchronize());
  Ref<Dictionary> onDisk = dictionaryWithContentsOfFile(path_);
  ASSERT_TRUE(onDisk);
  EXPECT_EQ(onDisk->count(), 200u);
}

// The writer half of TwoProcessesWritingOneFileKeepEachOthersKeys; skipped
// when run alone. It waits for the parent's go (the end of a pipe), then
// writes its keys, synchronizing after each.
TEST(UserDefaultsChild, WritesItsKeysOneSynchronizeAtATime) {
  const char* prefix = std::getenv("KIT_USER_DEFAULTS_WRITER");
  const char* go = std::getenv("KIT_USER_DEFAULTS_GO");
  if (!prefix || !go) GTEST_SKIP() << "runs as a child process only";
  char byte;
  while (read(std::atoi(go), &byte, 1) > 0) {
  }
  Ref<UserDefaults> defaults = UserDefaults::standardUserDefaults();
  for (int i = 0; i < 50; ++i) {
    defaults->setInteger(i, std::string(prefix) + "." + std::to_string(i));
    ASSERT_TRUE(defaults->synchronize());
  }
}

TEST_F(UserDefaultsTest, TwoProcessesWritingOneFileKeepEachOthersKeys) {
  ASSERT_NO_FATAL_FAILURE(runTwoWriters("UserDefaultsChild.WritesItsKeysOneSynchronizeAtATime"));

  Ref<Dictionary> onDisk = dictionaryWithContentsOfFile(path_);
  ASSERT_TRUE(onDisk);
  int kept = 0;
  for (const char* prefix : {"first", "second"}) {
    for (int i = 0; i < 50; ++i) kept += (*onDisk)[std::string(prefix) + "." + std::to_string(i)] ? 1 : 0;
  }
  EXPECT_EQ(kept, 100) << "keys lost between the two processes";
  EXPECT_TRUE(fs::exists(path_ + ".lock"));
}

// An update that appends `item` to the list under its key.
std::function<Id(const Id&)> appending(const std::string& item) {
  return [item](const Id& current) -> Id {
    auto list = as<Array>(current);
    auto next = list ? as<MutableArray>(list->mutableCopy()) : MutableArray::make();
    next->addObject(str(item));
    return next;
  };
}

TEST_F(UserDefaultsTest, UpdateObjectChangesTheValueTheFileHoldsNow) {
  // Two objects on one file, as two processes have it: each read the file
  // before the other wrote.
  Ref<UserDefaults> first = UserDefaults::withFile(path_);
  Ref<UserDefaults> second = UserDefaults::withFile(path_);
  first->setObject(array({"old"}), "list");  // pending: what update sees
  ASSERT_TRUE(first->updateObject("list", appending("a1")));
  ASSERT_TRUE(second->updateObject("list", appending("b1")));
  ASSERT_TRUE(first->updateObject("list", appending("a2")));
  EXPECT_TRUE(isEqual(first->arrayForKey("list"), array({"old", "a1", "b1", "a2"})));
  EXPECT_TRUE(isEqual(UserDefaults::withFile(path_)->arrayForKey("list"), array({"old", "a1", "b1", "a2"})));

  // Other pending changes go out with it; nil removes the key.
  second->setObject(str("v"), "other");
  ASSERT_TRUE(second->updateObject("list", [](const Id&) -> Id { return nullptr; }));
  EXPECT_EQ(second->objectForKey("list"), nullptr);
  Ref<UserDefaults> fresh = UserDefaults::withFile(path_);
  EXPECT_EQ(fresh->objectForKey("list"), nullptr);
  EXPECT_EQ(describe(fresh->stringForKey("other")), "v");

  // A value that is not a property list raises and changes nothing.
  EXPECT_THROW(second->updateObject("other", [](const Id&) -> Id { return array({null()}); }), Exception);
  EXPECT_EQ(describe(second->stringForKey("other")), "v");
  EXPECT_EQ(describe(UserDefaults::withFile(path_)->stringForKey("other")), "v");

  // A file that cannot be written: false, and the new value stays pending.
  std::ofstream(dir_ + "/blocker") << "a file where a folder should be";
  Ref<UserDefaults> stuck = UserDefaults::withFile(dir_ + "/blocker/app.plist");
  test::LogCapture logs;
  EXPECT_FALSE(stuck->updateObject("list", appending("x")));
  EXPECT_TRUE(isEqual(stuck->arrayForKey("list"), array({"x"})));
  EXPECT_FALSE(stuck->synchronize());
  EXPECT_TRUE(logs.contains("cannot save"));
}

// The writer half of TwoProcessesUpdatingOneListKeepEachOthersItems;
// skipped when run alone. Like the key writer above, but every item goes
// into one list.
TEST(UserDefaultsChild, AppendsToOneListOneUpdateAtATime) {
  const char* prefix = std::getenv("KIT_USER_DEFAULTS_WRITER");
  const char* go = std::getenv("KIT_USER_DEFAULTS_GO");
  if (!prefix || !go) GTEST_SKIP() << "runs as a child process only";
  char byte;
  while (read(std::atoi(go), &byte, 1) > 0) {
  }
  Ref<UserDefaults> defaults = UserDefaults::standardUserDefaults();
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(defaults->updateObject("list", appending(std::string(prefix) + "." + std::to_string(i))));
  }
}

TEST_F(UserDefaultsTest, TwoProcessesUpdatingOneListKeepEachOthersItems) {
  ASSERT_NO_FATAL_FAILURE(runTwoWriters("UserDefaultsChild.AppendsToOneListOneUpdateAtATime"));

  Ref<Dictionary> onDisk = dictionaryWithContentsOfFile(path_);
  ASSERT_TRUE(onDisk);
  auto list = as<Array>((*onDisk)["list"]);
  ASSERT_TRUE(list);
  EXPECT_EQ(list->count(), 100u) << "items lost between the two processes";
  // Each writer's items in its own order.
  for (const char* prefix : {"first", "second"}) {
    const std::string mine = std::string(prefix) + ".";
    int next = 0;
    for (const Id& item : list->objects()) {
      const std::string text = describe(item);
      if (text.starts_with(mine)) {
        EXPECT_EQ(text, mine + std::to_string(next++));
      }
    }
    EXPECT_EQ(next, 50) << prefix;
  }
}

TEST(UserDefaultsLocation, FollowsTheSetterThenTheEnvironmentThenXDG) {
  const char* savedPath = std::getenv("KIT_USER_DEFAULTS_PATH");
  std::string saved = savedPath ? savedPath : "";
  const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
  std::string xdg = savedXdg ? savedXdg : "";

  UserDefaults::setStandardPath("/tmp/set-by-setter.plist");
  EXPECT_EQ(UserDefaults::standardPath(), "/tmp/set-by-setter.plist");
  UserDefaults::setStandardPath("");
  setenv("KIT_USER_DEFAULTS_PATH", "/tmp/from-env.plist", 1);
  EXPECT_EQ(UserDefaults::standardPath(), "/tmp/from-env.plist");
  unsetenv("KIT_USER_DEFAULTS_PATH");
  setenv("XDG_CONFIG_HOME", "/tmp/xdg-config", 1);
  std::string path = UserDefaults::standardPath();
  EXPECT_TRUE(path.starts_with("/tmp/xdg-config/")) << path;
  EXPECT_TRUE(path.ends_with(".plist")) << path;

  if (savedPath) setenv("KIT_USER_DEFAULTS_PATH", saved.c_str(), 1);
  if (savedXdg) setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
  else unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace kit
