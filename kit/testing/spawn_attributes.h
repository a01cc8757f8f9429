// The attributes every program a test starts is started with: every signal
// at its default action and none held back (blocked) but those the test
// names, whatever this test program was started with. A test program
// started as a script's background job has SIGINT and SIGQUIT ignored, one
// under nohup SIGHUP, and the system hands an ignored signal and the
// blocked ones on across the exec: a child that inherited them would drop
// a signal its test sends before the child's own code runs, or never hear
// one at all, where the same test started at the signals' defaults sees
// the child end. With these attributes a child begins as it would begin
// for a person or the system.
//
//   kit::test::SpawnAttributes attributes;
//   posix_spawn(&pid, path, &actions, attributes.get(), argv, envp);
#pragma once

#include <spawn.h>

#include <initializer_list>

namespace kit::test {

class SpawnAttributes {
 public:
  // `held`: the signals the child starts with blocked (none by default).
  explicit SpawnAttributes(std::initializer_list<int> held = {});
  ~SpawnAttributes();
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;

  const posix_spawnattr_t* get() const { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
};

}  // namespace kit::test
