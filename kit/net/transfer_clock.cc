// The network thread's link to kit::Clock: its published time-out, wakes
// when the clock moves, and flights for time-outs an advance reaches.
#include "kit/net/transfer_clock.h"

#include <algorithm>

#include "kit/net/socket_receipt.h"

namespace kit::netdetail {

std::shared_ptr<TransferClock> TransferClock::create(std::function<void()> wake) {
  auto clock = std::shared_ptr<TransferClock>(new TransferClock(std::move(wake)));
  detail::addClockClient(clock);
  return clock;
}

void TransferClock::publish(double deadline) {
  std::lock_guard lock(mutex_);
  deadline_ = deadline;
}

void TransferClock::publishReceived(double time, std::vector<std::pair<int, uint64_t>> sockets) {
  std::lock_guard lock(mutex_);
  lookedAt_ = time;
  watched_ = std::move(sockets);
}

bool TransferClock::bytesUnseen() const {
  // A socket closed meanwhile, or its number taken again, costs at most a
  // needless look.
  for (const auto& [fd, seen] : watched_) {
    const auto receipt = socketReceipt(fd);
    if (receipt && receipt->bytes > seen) return true;
  }
  return false;
}

std::vector<detail::FlightRef> TransferClock::takeFlights() {
  std::lock_guard lock(mutex_);
  return std::move(flights_);
}

void TransferClock::beginBlockingWait() {
  std::vector<detail::FlightRef> landing;
  {
    std::lock_guard lock(mutex_);
    blocked_ = true;
    landing.swap(flights_);
  }
}

void TransferClock::endBlockingWait() {
  // What the thread waited for goes on at once (a request goes out after
  // its trust step), and its time-out is published only at the end of the
  // pass: until then an advance waits for the thread as for a time-out due
  // now, rather than move past the time-out unseen.
  const double now = Clock::now();
  std::lock_guard lock(mutex_);
  blocked_ = false;
  deadline_ = std::min(deadline_, now);
}

void TransferClock::detach() {
  std::vector<detail::FlightRef> landing;
  std::lock_guard lock(mutex_);
  wake_ = nullptr;
  landing.swap(flights_);
}

double TransferClock::nextDeadlineAfter(double time) {
  std::lock_guard lock(mutex_);
  return deadline_ > time ? deadline_ : Forever;
}

bool TransferClock::fireDue(double now) {
  std::lock_guard lock(mutex_);
  // One flight at a time: the thread republishes before it lands it. Due
  // are a time-out, and while transfers run, a look at this instant.
  if (!wake_ || blocked_ || !flights_.empty()) return false;
  if (deadline_ > now && (deadline_ >= Forever || (lookedAt_ >= now && !bytesUnseen()))) return false;
  auto flight = detail::startFlight();
  if (!flight) return false;
  flights_.push_back(std::move(flight));
  wake_();
  return true;
}

void TransferClock::clockChanged() {
  std::lock_guard lock(mutex_);
  if (wake_) wake_();
}

}  // namespace kit::netdetail
