// kit::once: runs a block exactly once per token, however many threads call
// it at the same time; the others wait until it has run. If the block
// throws, the token stays unused and the next call tries again. (A plain
// mutex and flag rather than std::call_once, whose behaviour on a throwing
// block depends on the C library.)
//
//   static kit::OnceToken token;
//   kit::once(token, [] { shared = makeShared(); });
#pragma once

#include <atomic>
#include <mutex>

namespace kit {

struct OnceToken {
  std::atomic<bool> done{false};
  std::mutex mutex;
};

template <class F>
void once(OnceToken& token, F&& block) {
  if (token.done.load(std::memory_order_acquire)) return;
  std::lock_guard lock(token.mutex);
  if (token.done.load(std::memory_order_relaxed)) return;
  block();
  token.done.store(true, std::memory_order_release);
}

}  // namespace kit
