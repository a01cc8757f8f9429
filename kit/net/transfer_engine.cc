// The network thread: commands, rounds of curl_multi_perform, completions,
// event flushing and time-outs.
#include "kit/net/transfer_engine.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>

#include <pthread.h>
#include <sched.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>

#include "kit/dispatch/clock.h"
#include "kit/net/event_lane.h"
#include "kit/net/task_driver.h"
#include "kit/net/transfer_clock.h"
#include "kit/net/url_session_configuration.h"

namespace kit::netdetail {

namespace {

// The configured number, within what a session opens.
long connectionsPerHost(const TransferEngine::Options& options) {
  return std::clamp(options.maxConnectionsPerHost, 1L, URLSessionMaximumConnectionsPerHost);
}

}  // namespace

void ensureCurlInitialized() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) std::abort();
  });
}

TransferEngine::TransferEngine(Options options)
    // Enough spare handles for every connection to start its next request
    // on one that is already set up.
    : spareLimit_(static_cast<size_t>(std::max(16L, 2 * connectionsPerHost(options)))),
      lane_(std::move(options.lane)) {
  ensureCurlInitialized();
  multi_ = curl_multi_init();
  curl_multi_setopt(multi_, CURLMOPT_MAX_HOST_CONNECTIONS, connectionsPerHost(options));
  // Idle connections are kept for a few hosts' worth of use. (libcurl's own
  // limit follows the number of transfers running, so a burst winding down
  // to one or two transfers would close the connections the next burst
  // needs.)
  curl_multi_setopt(multi_, CURLMOPT_MAXCONNECTS, std::clamp(4 * connectionsPerHost(options), 16L, 256L));
  curl_multi_setopt(multi_, CURLMOPT_PIPELINING, options.pipelining ? CURLPIPE_MULTIPLEX : CURLPIPE_NOTHING);
  // Cookies and resolved names are shared by the session's transfers; all of
  // them run on this thread, so the share needs no locks.
  share_ = curl_share_init();
  curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
  curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
  parkFd_ = epoll_create1(EPOLL_CLOEXEC);
  parkWake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  hereFd_ = epoll_create1(EPOLL_CLOEXEC);
  if (parkFd_ < 0 || parkWake_ < 0 || hereFd_ < 0) std::abort();
  epoll_event wake{};
  wake.events = EPOLLIN;
  wake.data.fd = parkWake_;
  if (epoll_ctl(parkFd_, EPOLL_CTL_ADD, parkWake_, &wake) != 0) std::abort();
  // The clock wakes the thread when it moves, so that a time-out that fell
  // due is seen at once.
  clock_ = TransferClock::create([multi = multi_, fd = parkWake_] {
    curl_multi_wakeup(multi);
    eventfd_write(fd, 1);
  });
  watch_ = [this](const std::function<void()>& events) { runWatched(events); };
  thread_ = std::thread([this] { threadBody(/*holding=*/true); });
}

TransferEngine::~TransferEngine() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  {
    std::lock_guard lock(gateMutex_);
    for (auto& [id, gate] : gates_) {
      {
        std::lock_guard g(gate->waitable->mutex);
        gate->interrupted = true;
      }
      gate->waitable->notifyAll();
    }
  }
  relief_.stop();
  curl_multi_wakeup(multi_);
  eventfd_write(parkWake_, 1);
  thread_.join();
  // Only the first thread starts the second, and it has ended.
  if (standIn_.joinable()) standIn_.join();
  clock_->detach();
  curl_multi_cleanup(multi_);
  curl_share_cleanup(share_);
  close(parkWake_);
  close(parkFd_);
  close(hereFd_);
}

namespace {
// The engine whose pass the calling thread runs (see runHere()), if any.
thread_local const TransferEngine* passingHere = nullptr;
}  // namespace

void TransferEngine::post(std::function<void()> command, bool refusedAnswerHere) {
  if (refusedAnswerHere) refusedAnswerHere_.store(true, std::memory_order_relaxed);
  if (passingHere == this) {
    // From a caller's pass itself (a finished driver's removal): it runs
    // before the pass ends, waking nobody.
    passPosts_.push_back(std::move(command));
    return;
  }
  {
    std::lock_guard lock(mutex_);
    commands_.push_back(std::move(command));
  }
  posted_.fetch_add(1);
  // The network thread looks at the count before it blocks: only a thread
  // already blocked needs waking, and only once.
  if (onEngineThread()) return;
  callerPosted_.store(true, std::memory_order_relaxed);
  if (polling_.exchange(false)) {
    wokenAt_.store(std::chrono::steady_clock::now().time_since_epoch().count(), std::memory_order_relaxed);
    curl_multi_wakeup(multi_);
  } else if (parked_.load()) {
    unpark();
  }
}

void TransferEngine::unpark() {
  if (!parked_.exchange(false)) return;
  wokenAt_.store(std::chrono::steady_clock::now().time_since_epoch().count(), std::memory_order_relaxed);
  eventfd_write(parkWake_, 1);
}

bool TransferEngine::runHere(std::function<void()>& command, bool answerHere) {
  if (Clock::isVirtual()) return false;
  {
    std::lock_guard lock(parkMutex_);
    if (parkState_ != Park::Parked) return false;
    {
      std::lock_guard commandsLock(mutex_);
      if (stopping_) return false;
      commands_.push_back(std::move(command));
    }
    parkState_ = Park::Here;
    if (!firstPassHere_) firstPassHere_ = std::chrono::steady_clock::now();
  }
  posted_.fetch_add(1);
  commandsRunHere_.fetch_add(1, std::memory_order_relaxed);
  runPassHere(answerHere, /*answer=*/false);
  return true;
}

void TransferEngine::runPassHere(bool answerHere, bool answer) {
  // The pass the network thread would have run, up to its wait. A
  // command's pass runs the command after those posted before it, and its
  // events go to the delegate queue. An answer's pass leaves the commands
  // posted meanwhile to the thread (woken for them), and runs the events
  // that may run on this thread, as the network thread would.
  if (lane_) lane_->beginBatch();
  passingHere = this;
  if (!answer) runCommands();
  int running = 0;
  curl_multi_perform(multi_, &running);
  processMessages();
  while (!passPosts_.empty()) {
    auto posted = std::move(passPosts_);
    passPosts_.clear();
    for (auto& command : posted) command();
  }
  passingHere = nullptr;
  flushDirty();
  checkTimeouts();
  // Parked, the thread needs to look again only when a deadline falls due
  // (not at the next of the few-millisecond looks of a running thread).
  int wait = untilNearestDeadline();
  flushDirty();
  if (lane_) lane_->endBatch(/*passEnds=*/answer);
  long curlTimeout = -1;
  curl_multi_timeout(multi_, &curlTimeout);
  if (curlTimeout >= 0) wait = std::min<int>(wait, static_cast<int>(curlTimeout));
  // The parked thread carries on from here, unless the pass left it
  // something to do before its wait would end of itself. (Counts of
  // received bytes left to look up wait for its next pass, as they would
  // have on the thread.)
  parkArmed_.clear();
  bool wake = running > 0 && !watchWhileParked();
  {
    std::lock_guard commandsLock(mutex_);
    if (!commands_.empty()) wake = true;
  }
  std::unique_lock lock(parkMutex_);
  if (std::chrono::steady_clock::now() + std::chrono::milliseconds(wait) < parkedUntil_) wake = true;
  parkState_ = Park::Parked;
  // The main thread takes the watch while the last request sent here came
  // from it.
  if (!answer) callerMayWatch_ = answerHere;
  callerMayWatch_ = callerMayWatch_ && running > 0 && !wake;
  lock.unlock();
  parkDone_.notify_all();
  if (wake) unpark();
}

bool TransferEngine::arm(int set, std::bitset<FD_SETSIZE>& known, int fd, uint32_t events) {
  // One readiness is enough to wake the watcher, which then polls through
  // libcurl again. A socket stays in the set, unarmed, once it has woken
  // the watcher (or closed: then it leaves the set itself), and is armed
  // again the next time.
  epoll_event event{};
  event.events = events | EPOLLONESHOT;
  event.data.fd = fd;
  const bool inSet = known.test(static_cast<size_t>(fd));
  if (epoll_ctl(set, inSet ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &event) != 0 &&
      (errno != (inSet ? ENOENT : EEXIST) || epoll_ctl(set, inSet ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, fd, &event) != 0)) {
    return false;
  }
  known.set(static_cast<size_t>(fd));
  return true;
}

void TransferEngine::disarm(int set, int fd) {
  epoll_event off{};
  off.events = EPOLLONESHOT;
  off.data.fd = fd;
  epoll_ctl(set, EPOLL_CTL_MOD, fd, &off);
}

bool TransferEngine::watchWhileParked() {
  // Sockets past what a descriptor set holds are left out of it: the
  // thread must poll them itself.
  for (const NotedSocket& socket : sockets_) {
    if (socket.fd >= FD_SETSIZE) return false;
  }
  fd_set readable, writable, failed;
  FD_ZERO(&readable);
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  int highest = -1;
  if (curl_multi_fdset(multi_, &readable, &writable, &failed, &highest) != CURLM_OK || highest < 0) return false;
  for (int fd = 0; fd <= highest; ++fd) {
    uint32_t events = 0;
    if (FD_ISSET(fd, &readable)) events |= EPOLLIN;
    if (FD_ISSET(fd, &writable)) events |= EPOLLOUT;
    if (events == 0) continue;
    if (!arm(parkFd_, inParkSet_, fd, events)) return false;
    parkArmed_.push_back({fd, events});
  }
  return true;
}

int TransferEngine::beginCallerWatch() {
  std::lock_guard lock(parkMutex_);
  // A thread no longer parked (woken, or being woken) keeps the watch.
  if (parkState_ != Park::Parked || !callerMayWatch_ || !parked_.load()) return -1;
  if (callerWatching_) return hereFd_;
  for (const ArmedSocket& socket : parkArmed_) {
    if (!arm(hereFd_, inHereSet_, socket.fd, socket.events)) {
      // Left with the thread, which still watches them all.
      callerMayWatch_ = false;
      return -1;
    }
  }
  // Disarmed for the thread only once the main thread watches them all. A
  // readiness the thread saw meanwhile wakes both; whichever comes first
  // takes the answer.
  for (const ArmedSocket& socket : parkArmed_) disarm(parkFd_, socket.fd);
  callerWatching_ = true;
  return hereFd_;
}

void TransferEngine::endCallerWatch(bool ready) {
  std::unique_lock lock(parkMutex_);
  if (!callerWatching_) return;
  callerWatching_ = false;
  // Takes what readiness the set reported, so that it reads as not ready
  // until a socket is armed and ready again.
  epoll_event events[8];
  while (epoll_wait(hereFd_, events, 8, 0) == 8) {
  }
  if (ready && parkState_ == Park::Parked && parked_.load() && callerMayWatch_) {
    parkState_ = Park::Here;
    lock.unlock();
    answersTakenHere_.fetch_add(1, std::memory_order_relaxed);
    runPassHere(/*answerHere=*/true, /*answer=*/true);
    return;
  }
  // The wait ended otherwise: the parked thread watches again (a socket
  // ready by now wakes it at once). A thread that runs already needs none
  // of it, nor does a caller's pass in progress, which arms them itself.
  if (parkState_ != Park::Parked) return;
  bool wake = false;
  for (const ArmedSocket& socket : parkArmed_) {
    disarm(hereFd_, socket.fd);
    if (!arm(parkFd_, inParkSet_, socket.fd, socket.events)) wake = true;
  }
  lock.unlock();
  if (wake) unpark();
}

std::optional<std::chrono::steady_clock::time_point> TransferEngine::park(int waitMs) {
  {
    std::lock_guard lock(parkMutex_);
    parkedUntil_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    firstPassHere_.reset();
    wokenAt_.store(0, std::memory_order_relaxed);
    parked_.store(true);
    // A command posted since the thread took its commands runs first.
    if (posted_.load() != seen_) {
      parked_.store(false);
      return std::nullopt;
    }
    parkState_ = Park::Parked;
  }
  epoll_event events[4];
  const int ready = epoll_wait(parkFd_, events, 4, waitMs);
  parked_.store(false);
  for (int i = 0; i < ready; ++i) {
    if (events[i].data.fd == parkWake_) {
      eventfd_t drained;
      eventfd_read(parkWake_, &drained);
    }
  }
  std::unique_lock lock(parkMutex_);
  parkDone_.wait(lock, [this] { return parkState_ != Park::Here; });
  parkState_ = Park::Busy;
  // The thread watches for itself from now on.
  callerMayWatch_ = false;
  const auto passHere = firstPassHere_;
  lock.unlock();
  noteWake();
  return passHere;
}

namespace {

// A reset or cleanup drops the handle's list of cookie files without
// freeing it; clearing the list first frees it (the cookies live in the
// share).
void clearCookieFiles(CURL* easy) { curl_easy_setopt(easy, CURLOPT_COOKIEFILE, nullptr); }

}  // namespace

CURL* TransferEngine::takeEasyHandle(unsigned kind, bool& fresh) {
  for (auto it = spareHandles_.rbegin(); it != spareHandles_.rend(); ++it) {
    if (it->kind != kind) continue;
    CURL* easy = it->easy;
    spareHandles_.erase(std::next(it).base());
    fresh = false;
    return easy;
  }
  fresh = true;
  if (spareHandles_.empty()) return curl_easy_init();
  CURL* easy = spareHandles_.back().easy;
  spareHandles_.pop_back();
  clearCookieFiles(easy);
  curl_easy_reset(easy);
  return easy;
}

void TransferEngine::returnEasyHandle(CURL* easy, unsigned kind) {
  if (spareHandles_.size() >= spareLimit_) {
    clearCookieFiles(easy);
    curl_easy_cleanup(easy);
    return;
  }
  // The request's header list goes with it.
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, nullptr);
  spareHandles_.push_back({easy, kind});
}

void TransferEngine::addDriver(uint64_t id, std::unique_ptr<TaskDriver> driver) {
  drivers_[id] = std::move(driver);
  nextTimeoutCheck_ = {};  // a new driver may have the nearest deadline
}

void TransferEngine::aliasDriver(uint64_t alias, uint64_t id) {
  std::lock_guard lock(aliasMutex_);
  aliases_[alias] = id;
}

void TransferEngine::clearCookies() {
  CURL* easy = curl_easy_init();
  if (!easy) return;
  curl_easy_setopt(easy, CURLOPT_SHARE, share_);
  curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
  curl_easy_setopt(easy, CURLOPT_COOKIELIST, "ALL");
  curl_easy_cleanup(easy);
}

TaskDriver* TransferEngine::driver(uint64_t id) const {
  {
    auto* self = const_cast<TransferEngine*>(this);
    std::lock_guard lock(self->aliasMutex_);
    auto alias = aliases_.find(id);
    if (alias != aliases_.end()) id = alias->second;
  }
  auto it = drivers_.find(id);
  return it == drivers_.end() ? nullptr : it->second.get();
}

void TransferEngine::noteSocket(int fd) {
  // A number noted again was closed without a word and names a new socket.
  forgetSocket(fd);
  sockets_.push_back(NotedSocket{fd});
}

void TransferEngine::forgetSocket(int fd) {
  std::erase_if(sockets_, [fd](const NotedSocket& socket) { return socket.fd == fd; });
}

int TransferEngine::socketFor(long localPort, long remotePort) {
  auto matches = [&](const NotedSocket& socket) {
    return socket.localPort == localPort && socket.remotePort == remotePort;
  };
  // A connection's ports do not change, and its socket is forgotten when it
  // closes: ports once seen stand.
  for (const auto& socket : sockets_) {
    if (matches(socket)) return socket.fd;
  }
  // Sockets not yet seen connected are looked at.
  auto portOf = [](const sockaddr_storage& address) -> long {
    if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    return -1;
  };
  int found = -1;
  std::erase_if(sockets_, [&](NotedSocket& socket) {
    if (socket.localPort >= 0) return false;
    sockaddr_storage local{}, remote{};
    socklen_t localLength = sizeof local, remoteLength = sizeof remote;
    if (getsockname(socket.fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0 ||
        getpeername(socket.fd, reinterpret_cast<sockaddr*>(&remote), &remoteLength) != 0) {
      // Still connecting, or gone.
      return errno == EBADF || errno == ENOTSOCK;
    }
    socket.localPort = portOf(local);
    socket.remotePort = portOf(remote);
    if (found < 0 && matches(socket)) found = socket.fd;
    return false;
  });
  return found;
}

bool TransferEngine::trustedByDefault(int fd) const {
  for (const auto& socket : sockets_) {
    if (socket.fd == fd) return socket.trustedByDefault;
  }
  return false;
}

void TransferEngine::refuseConnection(int fd) {
  shutdown(fd, SHUT_RDWR);
  for (auto& socket : sockets_) {
    if (socket.fd == fd) socket.refused = true;
  }
}

bool TransferEngine::refusedConnection(int fd) const {
  for (const auto& socket : sockets_) {
    if (socket.fd == fd) return socket.refused;
  }
  return false;
}

void TransferEngine::setTrustedByDefault(int fd, bool trusted) {
  for (auto& socket : sockets_) {
    if (socket.fd == fd) socket.trustedByDefault = trusted;
  }
}

void TransferEngine::removeDriver(uint64_t id) {
  auto it = drivers_.find(id);
  if (it == drivers_.end()) return;
  auto owned = std::move(it->second);
  drivers_.erase(it);
  {
    std::lock_guard lock(aliasMutex_);
    std::erase_if(aliases_, [id](const auto& entry) { return entry.second == id; });
  }
  owned.reset();
}

void TransferEngine::markDirty(uint64_t id) {
  if (std::find(dirty_.begin(), dirty_.end(), id) == dirty_.end()) dirty_.push_back(id);
}

void TransferEngine::noteStaleSocketBytes(uint64_t id) { staleSocketBytes_.push_back(id); }

void TransferEngine::lookAtSocketBytes() {
  constexpr auto kEvery = std::chrono::milliseconds(5);
  if (staleSocketBytes_.empty()) return;
  const auto now = std::chrono::steady_clock::now();
  if (!Clock::isVirtual() && now < nextSocketBytesLook_) return;
  nextSocketBytesLook_ = now + kEvery;
  auto ids = std::move(staleSocketBytes_);
  staleSocketBytes_.clear();
  for (uint64_t id : ids) {
    if (TaskDriver* d = driver(id)) d->refreshSocketBytes();
  }
}

void TransferEngine::noteArrivals() {
  // Taken first: should the clock move meanwhile, the next advance asks
  // for another look.
  const double lookedAt = Clock::now();
  std::vector<std::pair<int, uint64_t>> watched;
  for (auto& [id, d] : drivers_) {
    if (auto socket = d->watchedSocketBytes()) watched.push_back(*socket);
  }
  clock_->publishReceived(lookedAt, std::move(watched));
}

std::shared_ptr<HandshakeGate> TransferEngine::openGate(uint64_t id) {
  std::lock_guard lock(gateMutex_);
  auto gate = std::make_shared<HandshakeGate>();
  {
    std::lock_guard stopLock(mutex_);
    if (stopping_) gate->interrupted = true;
  }
  gates_[id] = gate;
  return gate;
}

void TransferEngine::closeGate(uint64_t id) {
  std::lock_guard lock(gateMutex_);
  gates_.erase(id);
}

void TransferEngine::answerGate(uint64_t id, TrustAnswer answer) {
  std::lock_guard lock(gateMutex_);
  auto it = gates_.find(id);
  if (it == gates_.end()) return;
  HandshakeGate& gate = *it->second;
  {
    std::lock_guard g(gate.waitable->mutex);
    gate.answer = std::move(answer);
  }
  gate.waitable->notifyAll();
}

void TransferEngine::interruptGate(uint64_t id) {
  std::lock_guard lock(gateMutex_);
  auto it = gates_.find(id);
  if (it == gates_.end()) return;
  HandshakeGate& gate = *it->second;
  {
    std::lock_guard g(gate.waitable->mutex);
    gate.interrupted = true;
  }
  gate.waitable->notifyAll();
}

bool TransferEngine::waitAtGate(HandshakeGate& gate, double deadline) {
  // The challenge this wait is for goes out now, with whatever else the
  // pass has posted.
  if (lane_) lane_->endBatch();
  clock_->beginBlockingWait();
  bool ended;
  {
    std::unique_lock lock(gate.waitable->mutex);
    ended = gate.waitable->waitUntil(lock, deadline, [&] { return gate.answer.has_value() || gate.interrupted; });
  }
  clock_->endBlockingWait();
  if (lane_) lane_->beginBatch();
  return ended;
}

bool TransferEngine::runCommands() {
  bool ran = false;
  for (;;) {
    std::deque<std::function<void()>> batch;
    seen_ = posted_.load();
    {
      std::lock_guard lock(mutex_);
      batch.swap(commands_);
    }
    if (batch.empty()) return ran;
    ran = true;
    for (auto& command : batch) command();
    // A command may have given a driver a deadline (a new driver, a task
    // resumed, a delegate's answer): the next look sees them all.
    nextTimeoutCheck_ = 0;
  }
}

bool TransferEngine::linger(bool sockets, std::chrono::nanoseconds window) {
  using std::chrono::steady_clock;
  const auto until = steady_clock::now() + window;
  do {
    if (posted_.load(std::memory_order_acquire) != seen_) return true;
    if (sockets) {
      int ready = 0;
      curl_multi_poll(multi_, nullptr, 0, 0, &ready);
      if (ready > 0) return true;
    }
    sched_yield();
  } while (steady_clock::now() < until);
  return posted_.load(std::memory_order_acquire) != seen_;
}

void TransferEngine::noteWake() {
  const auto at = wokenAt_.exchange(0, std::memory_order_relaxed);
  if (at == 0) return;
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  wakeLatency_.record(std::chrono::nanoseconds(std::chrono::steady_clock::duration(now - at)));
  const auto window = lingerWindow(wakeLatency_.median());
  answerLinger_.setWindow(window);
  commandLinger_.setWindow(window);
  hereLinger_.setWindow(window);
}

bool TransferEngine::processMessages() {
  int left = 0;
  bool any = false;
  while (CURLMsg* msg = curl_multi_info_read(multi_, &left)) {
    if (msg->msg != CURLMSG_DONE) continue;
    any = true;
    char* priv = nullptr;
    curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &priv);
    uint64_t id = reinterpret_cast<uintptr_t>(priv);
    CURLcode result = msg->data.result;
    if (TaskDriver* d = driver(id)) d->onTransferDone(result);
  }
  return any;
}

void TransferEngine::flushDirty() {
  auto ids = std::move(dirty_);
  dirty_.clear();
  for (uint64_t id : ids) {
    if (TaskDriver* d = driver(id)) d->flush();
  }
}

int TransferEngine::untilNearestDeadline() const {
  if (Clock::isVirtual()) return static_cast<int>(kMaxTimeoutWait * 1000);
  const double wait = std::min(nearestDeadline_ - Clock::now(), kMaxTimeoutWait);
  return static_cast<int>(std::clamp(std::ceil(wait * 1000.0), 1.0, kMaxTimeoutWait * 1000));
}

int TransferEngine::checkTimeouts() {
  const double now = Clock::now();
  const bool onVirtualClock = Clock::isVirtual();
  // Deadlines are kept to a few milliseconds; a busy round on the real clock
  // does not need to look at every driver again. (A virtual clock stands
  // still between advances, and each advance wakes the thread to look.)
  if (!onVirtualClock && now < nextTimeoutCheck_) {
    return static_cast<int>(std::clamp((nextTimeoutCheck_ - now) * 1000.0 + 1, 1.0, kMaxTimeoutWait * 1000));
  }
  double nearest = Forever;
  std::vector<uint64_t> expired;
  for (auto& [id, d] : drivers_) {
    auto deadline = d->deadline();
    if (!deadline) continue;
    // Bytes that libcurl holds without handing them on (part of a head
    // line) still show the connection is alive.
    if (*deadline <= now) {
      d->bytesArrivedOnConnection();
      deadline = d->deadline();
    }
    if (*deadline <= now) {
      expired.push_back(id);
    } else {
      nearest = std::min(nearest, *deadline);
    }
  }
  for (uint64_t id : expired) {
    if (TaskDriver* d = driver(id)) d->onTimeout();
  }
  clock_->publish(nearest);
  nearestDeadline_ = nearest;
  nextTimeoutCheck_ = std::min(nearest, now + 0.005);
  return untilNearestDeadline();
}

namespace {
thread_local const TransferEngine* ownEngine = nullptr;
}  // namespace

bool TransferEngine::onOwnThread() const { return ownEngine == this; }

void TransferEngine::threadBody(bool holding) {
  pthread_setname_np(pthread_self(), "kit.net.session");
  ownEngine = this;
  if (holding) relief_.claim();
  for (;;) {
    if (holding && run()) return;
    holding = true;
    if (!relief_.standBy()) return;
  }
}

void TransferEngine::runWatched(const std::function<void()>& events) {
  if (!standIn_.joinable()) standIn_ = std::thread([this] { threadBody(/*holding=*/false); });
  relief_.runAway(events);
}

bool TransferEngine::run() {
  // Whether the last command came by a caller's pass, not by a post.
  bool lastCameHere = false;
  // Whether the last caller's post came from a caller that takes its
  // answers in its own run loop and found the thread awake: parked, the
  // thread lets it send its next request itself instead.
  bool parkForCaller = false;
  for (;;) {
    // The events of a pass go to the delegate queue together, at its end.
    if (lane_) lane_->beginBatch();
    bool busy = runCommands();
    if (busy && callerPosted_.exchange(false, std::memory_order_relaxed)) {
      lastCameHere = false;
      parkForCaller = refusedAnswerHere_.exchange(false, std::memory_order_relaxed);
    }
    {
      std::lock_guard lock(mutex_);
      if (stopping_ && commands_.empty()) {
        if (lane_) lane_->endBatch();
        break;
      }
    }
    int running = 0;
    curl_multi_perform(multi_, &running);
    busy |= processMessages();
    flushDirty();
    int wait;
    {
      // Flights handed over by a virtual clock's advance stay in the air
      // until the failures of the time-outs it reached are posted.
      auto flights = clock_->takeFlights();
      detail::FlightScope scope(flights.empty() ? nullptr : flights.back());
      if (Clock::isVirtual()) noteArrivals();
      lookAtSocketBytes();
      wait = checkTimeouts();
      flushDirty();
      // A delegate queue's events may run here, a caller's handlers among
      // them, on the real clock (a virtual one's advances wait for this
      // thread to settle, which a take-over would not tell them).
      if (lane_) lane_->endBatch(/*passEnds=*/true, Clock::isVirtual() ? nullptr : &watch_);
    }
    // Held up by them, the thread lost its work to the other.
    if (!relief_.holdsRole()) return false;
    long curlTimeout = -1;
    curl_multi_timeout(multi_, &curlTimeout);
    if (curlTimeout >= 0) wait = std::min<int>(wait, static_cast<int>(curlTimeout));
    {
      std::lock_guard lock(mutex_);
      if (!commands_.empty() || stopping_) wait = 0;
    }
    // After a busy pass (a request went out, a transfer ended) the next
    // thing to do often comes within microseconds, a command or an answer
    // on loopback: look out for it before blocking, if such waits have
    // lately been that short. Waits for an answer (transfers running) and
    // for the next command are told apart: on loopback the first are short
    // and the second as long as the caller's own work between requests.
    AdaptiveLinger* policy = nullptr;
    AdaptiveLinger::Clock::time_point idleSince;
    if (wait > 0 && busy && !Clock::isVirtual() && !(running == 0 && parkForCaller)) {
      policy = running > 0 ? &answerLinger_ : lastCameHere ? &hereLinger_ : &commandLinger_;
      idleSince = AdaptiveLinger::Clock::now();
      if (policy->worthSpinning() && linger(running > 0, policy->window())) {
        policy->record(AdaptiveLinger::Clock::now() - idleSince);
        policy = nullptr;
        wait = 0;
      }
    }
    if (running == 0 && wait > 0 && !Clock::isVirtual()) {
      // Parked, the thread looks again when a deadline falls due. A
      // caller that ran its command here ended the wait for a command,
      // however long the thread then slept on what the command started.
      long parkTimeout = untilNearestDeadline();
      if (curlTimeout >= 0) parkTimeout = std::min(parkTimeout, curlTimeout);
      const auto passHere = park(static_cast<int>(parkTimeout));
      lastCameHere = passHere.has_value();
      parkForCaller = false;
      if (passHere && policy) {
        policy->record(*passHere - idleSince);
        policy = nullptr;
      }
    } else if (wait > 0 || running > 0) {
      // A stamp left by a post that found the thread awake already is not
      // a wake.
      wokenAt_.store(0, std::memory_order_relaxed);
      polling_.store(true);
      // A command posted since the thread took its commands runs first.
      if (posted_.load() != seen_) wait = 0;
      curl_multi_poll(multi_, nullptr, 0, wait, nullptr);
      polling_.store(false);
      noteWake();
    }
    if (policy) policy->record(AdaptiveLinger::Clock::now() - idleSince);
  }
  // Whatever is left is dropped without events: the session is gone.
  while (!drivers_.empty()) removeDriver(drivers_.begin()->first);
  for (const SpareHandle& spare : spareHandles_) {
    clearCookieFiles(spare.easy);
    curl_easy_cleanup(spare.easy);
  }
  spareHandles_.clear();
  return true;
}

}  // namespace kit::netdetail
