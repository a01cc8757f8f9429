// kit::once: runs a block exactly once per token, however many threads call
// it at the same time; the others wait until it has run. If the block
// throws, the token stays unused and the next call tries again.
//
//   static kit::OnceToken token;
//   kit::once(token, [] { shared = makeShared(); });
#pragma once

#include <mutex>

namespace kit {

struct OnceToken {
  std::once_flag flag;
};

template <class F>
void once(OnceToken& token, F&& block) {
  std::call_once(token.flag, std::forward<F>(block));
}

}  // namespace kit
