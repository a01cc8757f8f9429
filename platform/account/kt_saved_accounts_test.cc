// The saved accounts of two clients on one home folder: a client started
// before the other saved keeps the other's accounts when it saves, and two
// processes saving at the same time lose none of each other's.

#include "platform/account/kt_saved_accounts.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "kit/foundation/user_defaults.h"
#include "kit/foundation/values.h"
#include "kit/testing/own_process.h"
#include "platform/base/testing/platform_test_bundle.h"

namespace {

std::string d(const kit::Id& value) { return kit::describe(value); }

// The names of the saved accounts, oldest first.
std::vector<std::string> savedNames(const kit::Ref<kit::Array>& accounts) {
  std::vector<std::string> names;
  for (const kit::Id& entry : accounts->objects()) names.push_back(d(kit::as<kit::Array>(entry)->objectAtIndex(0)));
  return names;
}

TEST(SavedAccountsOfTwoClients, AClientStartedEarlierKeepsTheOthersAccounts) {
  PlatformTestBundle bundle;
  KTSavedAccounts::save(kit::str("early1"), kit::str("p"));
  // This client has read its defaults; the other one, on the same file,
  // now saves five accounts of its own.
  auto other = kit::UserDefaults::withFile(bundle.defaultsPath());
  for (int i = 1; i <= 5; ++i) {
    other->updateObject(KTSavedAccounts::kKey, [i](const kit::Id& stored) -> kit::Id {
      auto list = kit::as<kit::MutableArray>(kit::as<kit::Array>(stored)->mutableCopy());
      list->addObject(kit::array({"other" + std::to_string(i), "q"}));
      return list;
    });
  }

  KTSavedAccounts::save(kit::str("early2"), kit::str("p"));
  KTSavedAccounts::save(kit::str("other3"), kit::str("new"));  // a name the other saved
  const std::vector<std::string> expected{"early1", "other1", "other2", "other4", "other5", "early2", "other3"};
  EXPECT_EQ(savedNames(KTSavedAccounts::accounts()), expected);
  PlatformTestBundle::reloadUserDefaults();
  EXPECT_EQ(savedNames(KTSavedAccounts::accounts()), expected) << "as the file holds them";
  EXPECT_EQ(d(kit::as<kit::Array>(KTSavedAccounts::accounts()->lastObject())->objectAtIndex(1)), "new");
}

// The writer half of TwoClientsSavingAtOnceLoseNoAccount; skipped when run
// alone. It waits for the parent's go (the end of a pipe), then saves 25
// accounts of its own, one login at a time.
TEST(SavedAccountsChild, SavesItsAccounts) {
  const char* prefix = std::getenv("KT_SAVED_ACCOUNTS_WRITER");
  const char* go = std::getenv("KT_SAVED_ACCOUNTS_GO");
  if (!prefix || !go) GTEST_SKIP() << "runs as a child process only";
  char byte;
  while (read(std::atoi(go), &byte, 1) > 0) {
  }
  for (int i = 0; i < 25; ++i) {
    KTSavedAccounts::save(kit::str(std::string(prefix) + std::to_string(i)), kit::str("pw"));
  }
}

TEST(SavedAccountsOfTwoClients, TwoClientsSavingAtOnceLoseNoAccount) {
  PlatformTestBundle bundle;
  // Both clients start on the same instant: when the pipe's last writing
  // end closes.
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  std::vector<pid_t> clients;
  for (const char* prefix : {"first", "second"}) {
    const pid_t pid = kit::test::spawnTestProcess(
        "SavedAccountsChild.SavesItsAccounts",
        {"KIT_USER_DEFAULTS_PATH=" + bundle.defaultsPath(), std::string("KT_SAVED_ACCOUNTS_WRITER=") + prefix,
         "KT_SAVED_ACCOUNTS_GO=" + std::to_string(go[0])},
        {"KIT_USER_DEFAULTS_", "KT_SAVED_ACCOUNTS_"}, go[1]);
    ASSERT_GT(pid, 0);
    clients.push_back(pid);
  }
  close(go[0]);
  close(go[1]);
  for (pid_t pid : clients) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  PlatformTestBundle::reloadUserDefaults();
  const std::vector<std::string> names = savedNames(KTSavedAccounts::accounts());
  EXPECT_EQ(names.size(), 50u) << "accounts lost between the two clients";
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
}

}  // namespace
