// Threads with names and run loops.
#include "kit/dispatch/thread.h"

#include <pthread.h>

#include <sstream>

#include "kit/dispatch/guard.h"
#include "kit/dispatch/runloop.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/no_destructor.h"

namespace kit {
namespace {

thread_local Ref<Thread> t_thread;

void setSystemName(const std::string& name) {
  // The system keeps at most 15 bytes.
  pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
}

}  // namespace

Ref<Thread> Thread::create(std::string name, std::function<void()> body) {
  return std::make_shared<Thread>(std::move(name), std::move(body));
}

Ref<Thread> Thread::withRunLoop(std::string name) {
  auto thread = create(std::move(name), nullptr);
  thread->runsLoop_ = true;
  thread->start();
  return thread;
}

Ref<Thread> Thread::current() {
  if (isMainThread()) return mainThread();
  if (!t_thread) {
    t_thread = std::make_shared<Thread>("", nullptr);
    t_thread->started_ = true;
    t_thread->executing_ = true;
    t_thread->runLoop_ = RunLoop::current().selfAs<RunLoop>();
  }
  return t_thread;
}

Ref<Thread> Thread::mainThread() {
  static NoDestructor<Ref<Thread>> main([] {
    auto created = std::make_shared<Thread>("main", nullptr);
    created->started_ = true;
    created->executing_ = true;
    created->runLoop_ = RunLoop::main().selfAs<RunLoop>();
    return created;
  }());
  return *main;
}

bool Thread::isMainThread() { return RunLoop::isMainThread(); }

Thread::Thread(std::string name, std::function<void()> body) : name_(std::move(name)), body_(std::move(body)) {}

std::string Thread::description() const {
  std::ostringstream text;
  text << "<Thread " << static_cast<const void*>(this) << ">{name = " << name() << "}";
  return text.str();
}

void Thread::start() {
  {
    std::lock_guard lock(mutex_);
    if (started_) raise(InvalidArgumentException, "-[Thread start]: attempt to start the thread again");
    started_ = true;
    executing_ = true;
  }
  // The thread holds its Thread object until it ends.
  std::thread([self = selfAs<Thread>()] { self->main(); }).detach();
}

void Thread::main() {
  t_thread = selfAs<Thread>();
  setSystemName(name());
  RunLoop& loop = RunLoop::current();
  std::function<void()> body;
  {
    std::lock_guard lock(mutex_);
    runLoop_ = loop.selfAs<RunLoop>();
    body = std::move(body_);
  }
  changed_.notify_all();
  if (body) detail::runGuarded(body, "a thread");
  if (runsLoop_) {
    loop.runUntilFinished([this] { return isCancelled(); });
  }
  {
    std::lock_guard lock(mutex_);
    executing_ = false;
    finished_ = true;
    runLoop_ = nullptr;
  }
  changed_.notify_all();
  t_thread = nullptr;  // the run loop itself goes with the thread
}

void Thread::cancel() {
  Ref<RunLoop> loop;
  {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    loop = runLoop_;
  }
  if (loop) loop->wakeUp();
}

bool Thread::isCancelled() const {
  std::lock_guard lock(mutex_);
  return cancelled_;
}

bool Thread::isExecuting() const {
  std::lock_guard lock(mutex_);
  return executing_;
}

bool Thread::isFinished() const {
  std::lock_guard lock(mutex_);
  return finished_;
}

std::string Thread::name() const {
  std::lock_guard lock(mutex_);
  return name_;
}

void Thread::setName(std::string name) {
  {
    std::lock_guard lock(mutex_);
    name_ = std::move(name);
  }
  if (t_thread.get() == this) setSystemName(this->name());
}

RunLoop& Thread::runLoop() {
  std::unique_lock lock(mutex_);
  if (!started_) raise(InternalInconsistencyException, "Thread::runLoop: the thread has not been started");
  changed_.wait(lock, [&] { return runLoop_ != nullptr || finished_; });
  if (!runLoop_) raise(InternalInconsistencyException, "Thread::runLoop: the thread has finished");
  return *runLoop_;
}

void Thread::perform(std::function<void()> block) {
  // Holding the lock keeps the thread from ending (and its run loop from
  // going) between the look-up and the hand-over.
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return runLoop_ != nullptr || finished_ || !started_; });
  if (!runLoop_) return;
  runLoop_->perform(std::move(block), CommonRunLoopModes);
}

void Thread::waitUntilFinished() {
  std::unique_lock lock(mutex_);
  if (t_thread.get() == this) raise(InternalInconsistencyException, "Thread::waitUntilFinished on the thread itself");
  changed_.wait(lock, [&] { return finished_ || !started_; });
}

}  // namespace kit
