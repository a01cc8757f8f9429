// The test server's workers: one thread per open connection, started when a
// connection arrives and no worker is free, up to a cap.
//
// cpp-httplib hands every accepted connection to its task queue, and the
// task serves the connection until the client or the keep-alive time-out
// ends it, so a worker stays busy for as long as a client keeps its
// connection open. A fixed pool smaller than the number of connections a
// client opens stalls the extra ones until some connection closes; this
// queue grows with the connections instead, and costs nothing for a server
// that sees one client.
#pragma once

#include <httplib.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace kit::test {

class ConnectionWorkers : public httplib::TaskQueue {
 public:
  // More connections than this at once wait for a free worker.
  static constexpr size_t kMaxWorkers = 256;

  // `accepted` runs on the accepting thread for every connection.
  explicit ConnectionWorkers(std::function<void()> accepted);
  ~ConnectionWorkers() override;

  void enqueue(std::function<void()> connection) override;
  // Serves the connections still waiting, then joins every worker.
  void shutdown() override;

  size_t workerCount() const;

 private:
  void work();

  std::function<void()> accepted_;
  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> waiting_;
  std::vector<std::thread> workers_;
  size_t idle_ = 0;
  bool shuttingDown_ = false;
};

}  // namespace kit::test
