// kit::Thread: a named thread with its own run loop. A thread made with
// withRunLoop() runs its run loop until cancelled, so work can be handed to
// it with perform(); one made with create() runs its body and ends.
//
//   auto worker = kit::Thread::withRunLoop("com.example.io");
//   worker->perform([] { ... });     // runs on that thread
//   worker->cancel();                // its run loop returns, the thread ends
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "kit/foundation/object.h"

namespace kit {

class RunLoop;

class Thread : public Object {
 public:
  // A thread that runs `body` once started.
  static Ref<Thread> create(std::string name, std::function<void()> body);
  // A started thread that runs its run loop until cancel().
  static Ref<Thread> withRunLoop(std::string name);
  // The Thread object of the calling thread (made on first use for threads
  // kit did not start).
  static Ref<Thread> current();
  static Ref<Thread> mainThread();
  static bool isMainThread();

  Thread(std::string name, std::function<void()> body);
  std::string description() const override;

  void start();
  // Asks the thread to stop: isCancelled() turns true and a thread made with
  // withRunLoop() leaves its run loop.
  void cancel();
  bool isCancelled() const;
  bool isExecuting() const;
  bool isFinished() const;
  std::string name() const;
  // Renames the thread (the system name, cut to 15 bytes, follows when set
  // before start() or from the thread itself).
  void setName(std::string name);

  // The thread's run loop; waits for a started thread to have one.
  RunLoop& runLoop();
  // Runs `block` on the thread's run loop (common modes).
  void perform(std::function<void()> block);
  // Blocks until the thread has finished.
  void waitUntilFinished();

 private:
  void main();

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::string name_;
  std::function<void()> body_;
  bool started_ = false;
  bool executing_ = false;
  bool finished_ = false;
  bool cancelled_ = false;
  bool runsLoop_ = false;
  Ref<RunLoop> runLoop_;
};

}  // namespace kit
