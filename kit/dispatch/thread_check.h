// Thread rules that are checked at the call.
//
// KIT_CHECK_MAIN_THREAD() at the top of a method that must run on the main
// thread (views, layers, web views, controllers, the channel core) aborts a
// debug or test build with a message naming the method when it is called from
// any other thread, so a wrong thread fails at the call instead of later.
// Release builds (NDEBUG) compile it out unless KIT_THREAD_CHECKS is defined.
//
// kit::SequenceChecker does the same for an object that lives on one
// sequence that is not the main thread: it binds to the first serial queue
// (or, outside any serial queue, the thread) it is checked on, and every
// later check must come from the same one.
//
//   void Downloader::cancel() {
//     KIT_CHECK_SEQUENCE(sequence_);
//     ...
//   }
#pragma once

#include <atomic>
#include <cstdint>

namespace kit {

namespace detail {
[[noreturn]] void threadCheckFailed(const char* method, const char* expected);
bool onMainThread();
std::uintptr_t currentSequenceToken();
}  // namespace detail

class SequenceChecker {
 public:
  // True when called on the bound sequence, binding it on first use.
  bool calledOnValidSequence() const;
  // Forgets the bound sequence: the object moves to another one.
  void detach() { bound_.store(0); }

 private:
  mutable std::atomic<std::uintptr_t> bound_{0};
};

}  // namespace kit

#if defined(NDEBUG) && !defined(KIT_THREAD_CHECKS)
#define KIT_CHECK_MAIN_THREAD() ((void)0)
#define KIT_CHECK_SEQUENCE(checker) ((void)0)
#else
#define KIT_CHECK_MAIN_THREAD()                                                    \
  do {                                                                             \
    if (!::kit::detail::onMainThread())                                            \
      ::kit::detail::threadCheckFailed(__PRETTY_FUNCTION__, "the main thread");    \
  } while (0)
#define KIT_CHECK_SEQUENCE(checker)                                                \
  do {                                                                             \
    if (!(checker).calledOnValidSequence())                                        \
      ::kit::detail::threadCheckFailed(__PRETTY_FUNCTION__, "its own sequence");   \
  } while (0)
#endif
