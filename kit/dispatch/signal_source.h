// kit::SignalSource: a dispatch source for a POSIX signal. While it is
// resumed the process catches the signal, and the source's event handler
// runs on its queue, outside the signal handler, so it may do anything
// (post notifications, touch views from the main queue, stop a run loop).
// Signals that arrive while a delivery waits on the queue are merged into
// that one call; data() tells how many it stands for.
//
// Like the platform's, a source is created suspended: resume() starts
// catching. cancel() stops it for good; when the last source of a signal is
// cancelled, the disposition the signal had before is put back. Several
// sources of one signal all hear it.
//
//   auto term = kit::SignalSource::create(SIGTERM, kit::Queue::main());
//   term->setEventHandler([] { kit::Application::shared()->terminate(); });
//   term->resume();
#pragma once

#include <functional>
#include <mutex>

#include "kit/dispatch/queue.h"

namespace kit {

class SignalSource : public Object {
 public:
  using Handler = std::function<void()>;

  static Ref<SignalSource> create(int signal, Queue& queue);
  SignalSource(int signal, Ref<Queue> queue);
  ~SignalSource() override;

  int signal() const { return signal_; }
  void setEventHandler(Handler handler);
  // Starts catching the signal (once; later calls do nothing).
  void resume();
  void cancel();
  bool isCancelled() const;
  // Inside the event handler: how many signals this call stands for.
  unsigned long data() const;

  // Called by the process's signal watcher for every signal caught.
  void signalArrived();

 private:
  void deliver();

  const int signal_;
  const Ref<Queue> queue_;
  mutable std::mutex mutex_;
  Handler handler_;
  bool resumed_ = false;
  bool cancelled_ = false;
  bool queued_ = false;
  unsigned long pending_ = 0;
  unsigned long data_ = 0;
};

}  // namespace kit
