// The network thread's link to kit::Clock: its published time-out, wakes
// when the clock moves, and flights for time-outs an advance reaches.
#include "kit/net/transfer_clock.h"

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
  std::lock_guard lock(mutex_);
  blocked_ = false;
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
  // One flight at a time: the thread republishes before it lands it.
  if (!wake_ || blocked_ || deadline_ > now || !flights_.empty()) return false;
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
