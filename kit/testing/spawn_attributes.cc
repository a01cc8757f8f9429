// A child's signals at their start. See spawn_attributes.h.
#include "kit/testing/spawn_attributes.h"

#include <csignal>

namespace kit::test {

SpawnAttributes::SpawnAttributes(std::initializer_list<int> held) {
  posix_spawnattr_init(&attributes_);
  // Every signal the system lets a program set (the C library leaves out
  // the few it keeps for itself) goes back to its default action in the
  // child, before the exec.
  sigset_t every;
  sigfillset(&every);
  posix_spawnattr_setsigdefault(&attributes_, &every);
  sigset_t blocked;
  sigemptyset(&blocked);
  for (int signal : held) sigaddset(&blocked, signal);
  posix_spawnattr_setsigmask(&attributes_, &blocked);
  posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
}

SpawnAttributes::~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }

}  // namespace kit::test
