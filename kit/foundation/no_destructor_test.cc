// Tests of kit::NoDestructor: a shared instance kept in one is made once,
// is never destroyed by the process's exit handlers, and what it holds is
// no leak.
#include "kit/foundation/no_destructor.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <type_traits>

namespace {

// Ends the process with status 3 if it is ever destroyed.
struct EndsTheProcessWhenDestroyed {
  std::shared_ptr<std::string> held = std::make_shared<std::string>("held on the heap");
  ~EndsTheProcessWhenDestroyed() { _exit(3); }
};

EndsTheProcessWhenDestroyed& sharedInstance() {
  static kit::NoDestructor<EndsTheProcessWhenDestroyed> instance;
  return *instance;
}

// Made before the shared instance, so that its exit handler runs after the
// shared instance's would have: it reaches the shared instance as a view's
// destructor reaches a shared registry while the process ends.
struct ReachesTheSharedInstanceAtExit {
  ~ReachesTheSharedInstanceAtExit() {
    if (*sharedInstance().held != "held on the heap") _exit(4);
  }
};

}  // namespace

static_assert(std::is_trivially_destructible_v<kit::NoDestructor<EndsTheProcessWhenDestroyed>>,
              "a kept value registers no exit handler");

// In a fresh process: the shared instance is made after a static that
// reaches it at exit, and the process ends through exit(). It is not
// destroyed (status 3), the late static still finds it (status 4), and the
// leak checker of a sanitizer build does not count what it holds as lost
// (its own failing status).
TEST(NoDestructorDeathTest, ASharedInstanceOutlivesTheExitHandlersAndIsNoLeak) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        static ReachesTheSharedInstanceAtExit late;
        (void)late;
        if (sharedInstance().held->empty()) _exit(5);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(NoDestructorTest, MakesTheValueFromItsArgumentsOrByValueInitialization) {
  kit::NoDestructor<std::string> made(3, 'x');
  EXPECT_EQ(*made, "xxx");
  made->append("y");
  EXPECT_EQ(made.get()->size(), 4u);
  kit::NoDestructor<int> zero;
  EXPECT_EQ(*zero, 0);
  const kit::NoDestructor deduced(std::string("from one value"));
  static_assert(std::is_same_v<std::remove_cvref_t<decltype(*deduced)>, std::string>);
  EXPECT_EQ(*deduced, "from one value");
  // The strings above are never destroyed: destroy them here so that the
  // test itself leaks nothing.
  std::destroy_at(made.get());
  std::destroy_at(const_cast<std::string*>(deduced.get()));
}
