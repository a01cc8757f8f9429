// Random numbers: bytes from the system's strong generator, and stand-ins
// for arc4random, arc4random_uniform and arc4random_buf. A test (or a demo
// that must repeat itself) can seed them: while a seed is set, every call
// here draws from one deterministic generator, so the same seed gives the
// same sequence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace kit {

// Fills `out` with random bytes; 0 on success (the platform's shape).
int randomCopyBytes(void* out, size_t count);

uint32_t arc4random();
// Uniform in [0, upperBound) without modulo bias; 0 when upperBound < 2.
uint32_t arc4random_uniform(uint32_t upperBound);
void arc4random_buf(void* out, size_t count);

// Makes the generator deterministic from `seed`, or strong again (nullopt).
void setRandomSeed(std::optional<uint64_t> seed);

// Seeds the generator for the lifetime of the object, then restores
// whatever was in effect before.
class ScopedRandomSeed {
 public:
  explicit ScopedRandomSeed(uint64_t seed);
  ~ScopedRandomSeed();
  ScopedRandomSeed(const ScopedRandomSeed&) = delete;
  ScopedRandomSeed& operator=(const ScopedRandomSeed&) = delete;

 private:
  struct Saved;
  std::unique_ptr<Saved> saved_;
};

}  // namespace kit
