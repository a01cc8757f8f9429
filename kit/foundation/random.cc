// Random numbers from the kernel's generator, or from a seeded xoshiro256**
// generator while a test asks for repeatable sequences.

#include "kit/foundation/random.h"
#include "kit/foundation/no_destructor.h"

#include <sys/random.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace kit {

namespace {

// xoshiro256**, seeded through splitmix64.
class SeededGenerator {
 public:
  explicit SeededGenerator(uint64_t seed) {
    for (auto& word : state_) {
      seed += 0x9e3779b97f4a7c15ull;
      uint64_t z = seed;
      z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
      z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
      word = z ^ (z >> 31);
    }
  }
  uint64_t next() {
    const uint64_t result = rotl(state_[1] * 5, 7) * 9;
    const uint64_t t = state_[1] << 17;
    state_[2] ^= state_[0];
    state_[3] ^= state_[1];
    state_[1] ^= state_[2];
    state_[0] ^= state_[3];
    state_[2] ^= t;
    state_[3] = rotl(state_[3], 45);
    return result;
  }

 private:
  static uint64_t rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  std::array<uint64_t, 4> state_{};
};

struct RandomState {
  std::mutex mutex;
  std::optional<SeededGenerator> seeded;
};

RandomState& state() {
  static NoDestructor<RandomState> s;  // lives for the process
  return *s;
}

void systemBytes(void* out, size_t count) {
  auto* p = static_cast<uint8_t*>(out);
  while (count > 0) {
    ssize_t n = getrandom(p, count, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      // The kernel's generator cannot fail once the system is up; if it
      // does, stopping is safer than handing out predictable bytes.
      std::abort();
    }
    p += n;
    count -= static_cast<size_t>(n);
  }
}

}  // namespace

struct ScopedRandomSeed::Saved {
  std::optional<SeededGenerator> generator;
};

void arc4random_buf(void* out, size_t count) {
  {
    std::lock_guard lock(state().mutex);
    if (state().seeded) {
      auto* p = static_cast<uint8_t*>(out);
      while (count > 0) {
        const uint64_t word = state().seeded->next();
        const size_t n = count < sizeof word ? count : sizeof word;
        std::memcpy(p, &word, n);
        p += n;
        count -= n;
      }
      return;
    }
  }
  systemBytes(out, count);
}

int randomCopyBytes(void* out, size_t count) {
  arc4random_buf(out, count);
  return 0;
}

uint32_t arc4random() {
  uint32_t value;
  arc4random_buf(&value, sizeof value);
  return value;
}

uint32_t arc4random_uniform(uint32_t upperBound) {
  if (upperBound < 2) return 0;
  // Values below 2^32 mod upperBound would make the low results likelier.
  const uint32_t floor = (0u - upperBound) % upperBound;
  for (;;) {
    const uint32_t r = arc4random();
    if (r >= floor) return r % upperBound;
  }
}

void setRandomSeed(std::optional<uint64_t> seed) {
  std::lock_guard lock(state().mutex);
  if (seed) state().seeded.emplace(*seed);
  else state().seeded.reset();
}

ScopedRandomSeed::ScopedRandomSeed(uint64_t seed) : saved_(std::make_unique<Saved>()) {
  std::lock_guard lock(state().mutex);
  saved_->generator = std::move(state().seeded);
  state().seeded.emplace(seed);
}

ScopedRandomSeed::~ScopedRandomSeed() {
  std::lock_guard lock(state().mutex);
  state().seeded = std::move(saved_->generator);
}

}  // namespace kit
