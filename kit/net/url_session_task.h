// Session tasks: data, upload and download tasks. A task is created
// suspended by its session and starts at resume(); it moves through running
// (0), suspended (1), cancelling (2) and completed (3). Byte counters are
// updated where the session's events are delivered, just before the
// delegate hears of the change, and observers can follow them.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "kit/foundation/data.h"
#include "kit/foundation/error.h"
#include "kit/net/url_request.h"
#include "kit/net/url_response.h"

namespace kit {

class URLSession;

enum class URLSessionTaskState : long {
  Running = 0,
  Suspended = 1,
  Canceling = 2,
  Completed = 3,
};

// The byte counters a task keeps.
enum class URLSessionTaskCounter {
  BytesReceived,
  BytesExpectedToReceive,
  BytesSent,
  BytesExpectedToSend,
};

class URLSessionTask : public Object {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  enum class Kind { Data, Upload, Download };
  using CounterObserver = std::function<void(URLSessionTask& task, URLSessionTaskCounter counter, int64_t value)>;

  URLSessionTask(Kind kind, uint64_t identifier, Ref<URLRequest> request, Weak<URLSession> session);
  ~URLSessionTask() override;

  Kind kind() const { return kind_; }
  uint64_t taskIdentifier() const { return identifier_; }
  // The request the task was created with.
  const Ref<URLRequest>& originalRequest() const { return original_; }
  // The request being loaded (after redirects, the last one).
  Ref<URLRequest> currentRequest() const;
  Ref<URLResponse> response() const;
  Ref<Error> error() const;
  URLSessionTaskState state() const { return state_.load(); }

  Ref<String> taskDescription() const;
  void setTaskDescription(Ref<String> description);
  float priority() const { return priority_.load(); }
  void setPriority(float priority) { priority_.store(priority); }

  int64_t countOfBytesReceived() const { return received_.load(); }
  int64_t countOfBytesExpectedToReceive() const { return expectedReceive_.load(); }
  int64_t countOfBytesSent() const { return sent_.load(); }
  int64_t countOfBytesExpectedToSend() const { return expectedSend_.load(); }
  // Calls `observer` after each change of a counter, on the thread that made
  // it. Returns a token for removeCounterObserver.
  uint64_t addCounterObserver(CounterObserver observer);
  void removeCounterObserver(uint64_t token);

  // Process-wide hooks told of every resume() and suspend() call on any
  // task, after it, with the state the task was in before it (so that
  // announcing resumes and suspends needs no change to the tasks).
  enum class LifecycleCall { Resume, Suspend };
  using LifecycleHook = std::function<void(URLSessionTask& task, LifecycleCall call, URLSessionTaskState before)>;
  static uint64_t addLifecycleHook(LifecycleHook hook);
  static void removeLifecycleHook(uint64_t token);

  // Starts or continues the task. A no-op when running or finished.
  virtual void resume();
  // Holds the transfer (no bytes move and no time-out runs) until resume().
  virtual void suspend();
  // Ends the task with the cancelled error (-999).
  virtual void cancel();

  std::string description() const override;

  // ---- Used by the session
  void setState(URLSessionTaskState state) { state_.store(state); }
  void setCurrentRequest(Ref<URLRequest> request);
  void setResponse(Ref<URLResponse> response);
  void setError(Ref<Error> error);
  void setCounter(URLSessionTaskCounter counter, int64_t value);
  bool started() const { return started_.load(); }
  // Keeps the session alive while the task runs.
  void retainSession(Ref<URLSession> session);
  Ref<URLSession> releaseSession();
  Ref<URLSession> session() const { return session_.lock(); }

 private:
  void callLifecycleHooks(LifecycleCall call, URLSessionTaskState before);
  void resumeNow(URLSessionTaskState before);

  const Kind kind_;
  const uint64_t identifier_;
  const Ref<URLRequest> original_;
  Weak<URLSession> session_;
  mutable std::mutex mutex_;
  Ref<URLRequest> current_;
  Ref<URLResponse> response_;
  Ref<Error> error_;
  Ref<String> description_;
  Ref<URLSession> running_;
  std::map<uint64_t, CounterObserver> observers_;
  uint64_t nextObserver_ = 1;
  std::atomic<URLSessionTaskState> state_{URLSessionTaskState::Suspended};
  std::atomic<bool> started_{false};
  std::atomic<float> priority_{0.5f};
  std::atomic<int64_t> received_{0}, expectedReceive_{0}, sent_{0}, expectedSend_{0};
};

class URLSessionDataTask : public URLSessionTask {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();
  using URLSessionTask::URLSessionTask;
};

class URLSessionUploadTask : public URLSessionDataTask {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();
  using URLSessionDataTask::URLSessionDataTask;
};

class URLSessionDownloadTask : public URLSessionTask {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();
  using URLSessionTask::URLSessionTask;

  // Cancels and hands over resume data (nil when the download cannot be
  // resumed: nothing received yet, or the server offered no validator), on
  // the session's delegate queue.
  void cancelByProducingResumeData(std::function<void(Ref<Data>)> completion);
};

}  // namespace kit
