// The task driver's time-outs: the signs of life that keep a request going
// (the bytes libcurl hands it, and the bytes of its stream its connection
// received), the deadline the engine watches on kit::Clock, and the end of
// a request that reaches it.
#include <algorithm>

#include "kit/dispatch/clock.h"
#include "kit/net/socket_receipt.h"
#include "kit/net/task_driver.h"
#include "kit/net/transfer_engine.h"

namespace kit::netdetail {

void TaskDriver::touch() {
  lastActivity_ = Clock::now();
  countSocketBytesFromHere();
}

void TaskDriver::countSocketBytesFromHere() {
  // What the connection has received is counted from about here: the
  // engine looks it up a little later, once however many callbacks came.
  // A virtual clock can move on while the thread is still in this round,
  // and bytes that came meanwhile would be counted as old: it looks at once.
  if (socket_ < 0 || socketBytesStale_ || framesOfOthers_) return;
  if (Clock::isVirtual()) {
    if (auto receipt = streamReceipt()) streamBytes_ = receipt->bytes;
    return;
  }
  socketBytesStale_ = true;
  settings_.engine->noteStaleSocketBytes(id_);
}

void TaskDriver::refreshSocketBytes() {
  if (!socketBytesStale_) return;
  socketBytesStale_ = false;
  if (auto receipt = streamReceipt()) {
    // Bytes that came since the touch count from when they came.
    streamBytes_ = receipt->bytes;
    noteArrival(*receipt);
  }
}

std::optional<SocketReceipt> TaskDriver::streamReceipt() const {
  // An HTTP/2 connection carries frames of other streams and of the
  // connection itself (PINGs, settings, window updates): its bytes say
  // nothing of this request, which lives by the bytes libcurl hands it
  // (onHeader and onWrite touch it).
  if (socket_ < 0 || framesOfOthers_) return std::nullopt;
  if (!secure_) return socketReceipt(socket_);
  SSL* ssl = connectionSSL();
  return ssl ? applicationDataReceipt(ssl) : std::nullopt;
}

void TaskDriver::noteArrival(const SocketReceipt& receipt) {
  // The time since the last data is real time; a virtual clock stands
  // still between advances, and the engine looks before each one (see
  // TransferEngine::noteArrivals), so the bytes came at the time of the look.
  const double now = Clock::now();
  const double arrived = Clock::isVirtual() ? now : now - receipt.secondsSinceLastData;
  lastActivity_ = std::max(lastActivity_, std::min(arrived, now));
}

bool TaskDriver::noteUndecided(const SocketReceipt& receipt) {
  // A TLS 1.3 record in transit may be the stream's or not: its bytes hold
  // the time-out from when they came until it is decrypted, and then count
  // as the stream's, or not at all. Only a record that began while the
  // request was alive holds it: once one shows to be the connection's own,
  // the time-out runs from the last of the stream's bytes again, and the
  // records behind it hold nothing unless it has not run out.
  const bool came = receipt.undecidedBytes > undecidedSeen_;
  const double now = Clock::now();
  const bool virtualClock = Clock::isVirtual();
  // A virtual clock stands still between looks, and the engine looks
  // before each advance: the bytes came at the look that first saw them.
  if (virtualClock && came) undecidedLooks_.emplace_back(receipt.undecidedBytes, now);
  undecidedSeen_ = receipt.undecidedBytes;
  while (!undecidedLooks_.empty() && undecidedLooks_.front().first <= receipt.settledBytes) {
    undecidedLooks_.pop_front();
  }
  if (!receipt.secondsSinceUndecided) {
    undecidedActivity_.reset();
    return came;
  }
  double began = now;
  double last = now;
  if (!virtualClock) {
    began = now - receipt.secondsSinceUndecidedBegan.value_or(*receipt.secondsSinceUndecided);
    last = now - *receipt.secondsSinceUndecided;
  } else if (!undecidedLooks_.empty()) {
    began = undecidedLooks_.front().second;
    last = undecidedLooks_.back().second;
  }
  if (began <= lastActivity_ + requestTimeout()) {
    undecidedActivity_ = last;
  } else {
    undecidedActivity_.reset();
  }
  return came;
}

bool TaskDriver::bytesArrivedOnConnection() {
  refreshSocketBytes();
  const auto receipt = streamReceipt();
  if (!receipt) return false;
  // The stream's bytes first: a record of unknown type that began while
  // they kept the request alive holds it.
  bool arrived = false;
  if (receipt->bytes > streamBytes_) {
    streamBytes_ = receipt->bytes;
    noteArrival(*receipt);
    arrived = true;
  }
  return noteUndecided(*receipt) || arrived;
}

std::optional<std::pair<int, uint64_t>> TaskDriver::watchedSocketBytes() {
  if (!deadline() || socket_ < 0) return std::nullopt;
  bytesArrivedOnConnection();
  // Bytes that came since the last look may not have been read yet (over
  // TLS only their reading tells whose they are): the clock hears the
  // count before them, and so asks for one more look.
  const auto receipt = socketReceipt(socket_);
  const uint64_t seen = watchedBytes_;
  if (receipt) watchedBytes_ = receipt->bytes;
  return std::pair{socket_, seen};
}

double TaskDriver::requestTimeout() const {
  double timeout = request_->timeoutInterval();
  if (timeout == DefaultRequestTimeout) timeout = settings_.requestTimeout;
  return timeout;
}

double TaskDriver::timeoutDeadline() const {
  const double alive = std::max(lastActivity_, undecidedActivity_.value_or(lastActivity_));
  return std::min(alive + requestTimeout(), startedAt_ + settings_.resourceTimeout);
}

std::optional<double> TaskDriver::deadline() const {
  if (phase_ != Phase::Transferring || userSuspended_ || holdForDelegate_) return std::nullopt;
  return timeoutDeadline();
}

void TaskDriver::onTimeout() {
  if (phase_ == Phase::Finished) return;
  timedOut_ = true;
  releaseEasy();
  finishWithError(URLErrorTimedOut, "");
}

}  // namespace kit::netdetail
