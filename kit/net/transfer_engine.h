// Internal: the network thread of a session. It owns a libcurl multi
// handle and the drivers of the session's running tasks, runs commands
// posted from other threads between rounds of I/O, and watches each task's
// time-outs on kit::Clock (libcurl's own time-outs are left out of it).
// Everything a driver does happens on this thread, or on a caller's while
// this one is parked (see below), never on two threads at once.
//
// At the end of a pass the thread may run the delegate queue's events
// itself (see EventLane). Should they hold it, a second thread takes the
// work over and the first stands by in its place: the network thread is
// whichever of the two holds the work, never both.
//
// With no transfer running, the thread parks outside libcurl. A caller that
// starts a request then may do the pass itself, on its own thread (see
// runHere()): the request goes out without waking the network thread, which
// is left watching the request's sockets and wakes when the answer comes.
// A request the main thread sent so may have its answer taken by the main
// thread instead, while its run loop waits (see beginCallerWatch()).
#pragma once

#include <sys/select.h>

#include <algorithm>
#include <atomic>
#include <bitset>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "kit/dispatch/clock_detail.h"
#include "kit/foundation/error.h"
#include "kit/net/adaptive_linger.h"
#include "kit/net/event_lane.h"
#include "kit/net/role_relief.h"

typedef void CURLM;
typedef void CURLSH;
typedef void CURL;

namespace kit::netdetail {

class TaskDriver;

// The outcome of a TLS trust step: accepted, or refused with the error the
// task ends with; or, from a delegate, left to kit's default evaluation.
struct TrustAnswer {
  bool accepted = false;
  Ref<Error> error;
  bool defaultHandling = false;
};

class TransferClock;

// A place where the network thread waits for a delegate's answer during a
// TLS handshake. Answered or interrupted from any thread; `answer` and
// `interrupted` are guarded by the waitable's mutex.
struct HandshakeGate {
  std::shared_ptr<detail::ClockWaitable> waitable = detail::ClockWaitable::create();
  std::optional<TrustAnswer> answer;
  bool interrupted = false;
};

class TransferEngine {
 public:
  struct Options {
    long maxConnectionsPerHost = 6;
    bool pipelining = false;
    // The session's events: each pass of the thread posts its events as
    // one batch.
    std::shared_ptr<EventLane> lane;
  };

  // How long the thread, after a busy pass, looks out for what comes next
  // (a command, or an answer on one of its sockets) before it blocks. Real
  // time: it trades a little processor time for a thread wake when
  // requests and answers follow closely, as on loopback or a fast link,
  // and is left out while such waits have lately been longer. About what
  // blocking and being woken cost, so that a spin that does not pay costs
  // no more than the wake it tried to save: twice the time the thread has
  // lately taken to run again once woken (the waiting side's wait, and
  // about as much processor time again for the waker's call and the
  // thread's return), within bounds. Until it has been woken, the thread
  // takes a wake to cost kFirstWakeLatency.
  static std::chrono::nanoseconds lingerWindow(std::chrono::nanoseconds wakeLatency) {
    return std::clamp<std::chrono::nanoseconds>(2 * wakeLatency, kShortestLinger, kLongestLinger);
  }
  static constexpr std::chrono::microseconds kShortestLinger{10};
  static constexpr std::chrono::microseconds kLongestLinger{200};
  static constexpr std::chrono::microseconds kFirstWakeLatency{25};

  // How long the thread's own work may wait on a delegate queue's events
  // run on it at the end of a pass (a caller's completion handler, which
  // may block) before a second thread takes the work over.
  static constexpr std::chrono::milliseconds kRelieveAfter{2};

  explicit TransferEngine(Options options);
  // Cancels nothing by itself: the session cancels its tasks first. Must
  // not run on the engine's own thread.
  ~TransferEngine();
  TransferEngine(const TransferEngine&) = delete;
  TransferEngine& operator=(const TransferEngine&) = delete;

  // Runs `command` on the network thread, in the order posted.
  // `refusedAnswerHere`: runHere() with `answerHere` refused it (the thread
  // was awake); the thread then parks rather than spin for the next.
  void post(std::function<void()> command, bool refusedAnswerHere = false);
  // Runs `command`, and the pass it starts, on the calling thread instead,
  // if the network thread is parked now (real clock only): the command
  // keeps its place after every command posted before it, and the network
  // thread is left watching what the pass started. False, with `command`
  // left as it was, when it must be posted. For commands that never wait:
  // the caller's thread waits with them (no TLS handshake that asks the
  // delegate, no body read from a stream).
  // `answerHere`: the caller is the main thread, and the events the answer
  // brings may run there (see beginCallerWatch()).
  bool runHere(std::function<void()>& command, bool answerHere = false);
  // For tests: whether the thread is parked now, how many commands have run
  // on their callers' threads, and how many passes the main thread ran for
  // answers (a reply that comes in parts may take several).
  bool parked() const { return parked_.load(); }
  uint64_t commandsRunHere() const { return commandsRunHere_.load(std::memory_order_relaxed); }
  uint64_t answersTakenHere() const { return answersTakenHere_.load(std::memory_order_relaxed); }

  // ---- The main thread's run loop, as it waits (a RunLoopWaitWatch's calls)
  // While the thread is parked over transfers that the main thread started
  // here with `answerHere`, a wait of the main run loop takes over the watch
  // on their sockets: the descriptor returned turns readable when one is
  // ready, or -1 when there is nothing to watch. The answer then wakes the
  // main thread, which runs the pass that reads it, and the events of the
  // pass that may run on any thread, sparing the network thread's wake and
  // the hop from it to the main thread. A wait that ends otherwise hands the
  // watch back to the parked thread.
  int beginCallerWatch();
  void endCallerWatch(bool ready);
  // Whether the calling thread is the network thread now.
  bool onEngineThread() const { return relief_.holdsRole(); }
  // Whether it is one of the threads that take turns at it (which cannot
  // wait for the engine's end).
  bool onOwnThread() const;

  // ---- Network thread only
  CURLM* multi() const { return multi_; }
  CURLSH* share() const { return share_; }
  void addDriver(uint64_t id, std::unique_ptr<TaskDriver> driver);
  TaskDriver* driver(uint64_t id) const;
  // Sockets libcurl opens for the engine's connections, and closes (on the
  // network thread, or when the engine ends).
  void noteSocket(int fd);
  void forgetSocket(int fd);
  // The noted socket connected from `localPort` to `remotePort`, or -1.
  int socketFor(long localPort, long remotePort);
  // Whether kit's default evaluation accepted the chain of the TLS
  // connection on `fd` (the last one it presented), and noting whether it
  // did.
  bool trustedByDefault(int fd) const;
  void setTrustedByDefault(int fd, bool trusted);
  // A handshake on the TLS connection on `fd` came while no request held
  // it, and was refused: the connection is shut down, and no request is to
  // go out on it (see refusedConnection).
  void refuseConnection(int fd);
  bool refusedConnection(int fd) const;
  // Destroys the driver (after it has removed its transfer).
  void removeDriver(uint64_t id);
  // A driver with events to flush after this round.
  void markDirty(uint64_t id);
  // A driver whose connection's received count is to be looked up again,
  // every few milliseconds (the thread looks at its time-outs as often
  // while transfers run), so that a transfer that ends within them needs
  // none. (On a virtual clock the driver looks at once.)
  void noteStaleSocketBytes(uint64_t id);
  // Makes `alias` name the driver of `id` (a data task that became a
  // download keeps its driver). Any thread.
  void aliasDriver(uint64_t alias, uint64_t id);
  // Forgets every cookie of the session.
  void clearCookies();
  size_t driverCount() const { return drivers_.size(); }
  // Easy handles are reused (their connections live in the multi handle
  // either way). A returned handle keeps the options its request set, under
  // the request's `kind` (nonzero: which options it set, see TaskDriver). A
  // request takes a handle of its own kind when there is one (`fresh`
  // false: only the options that differ per request need setting), else a
  // handle with no options set.
  CURL* takeEasyHandle(unsigned kind, bool& fresh);
  void returnEasyHandle(CURL* easy, unsigned kind);

  // ---- Any thread: handshakes waiting for a delegate
  std::shared_ptr<HandshakeGate> openGate(uint64_t id);
  void closeGate(uint64_t id);
  // Answers a waiting handshake.
  void answerGate(uint64_t id, TrustAnswer answer);
  // Ends a wait with a refusal (cancel, invalidation).
  void interruptGate(uint64_t id);
  // Network thread: waits at `gate` until it is answered or interrupted
  // (true), or kit::Clock reaches `deadline` (false).
  bool waitAtGate(HandshakeGate& gate, double deadline);

 private:
  // The body of the threads that take turns at the work: `holding` the
  // first, standing by the second.
  void threadBody(bool holding);
  // Passes until the engine stops (true) or the thread loses its role
  // (false).
  bool run();
  // Runs a pass's events on this thread, watched (see RoleRelief).
  void runWatched(const std::function<void()>& events);
  // Whether commands ran.
  bool runCommands();
  // Waits up to `window` for a command, or with `sockets` for a
  // transfer's socket to be ready; true when one came.
  bool linger(bool sockets, std::chrono::nanoseconds window);
  // After a poll: what the wake that ended it, if a post's, took, and the
  // linger window that follows from it.
  void noteWake();
  // With no transfer running: waits up to `waitMs` outside libcurl, where a
  // caller may run a pass meanwhile (runHere). Returns when the first
  // caller's pass began, if one did.
  std::optional<std::chrono::steady_clock::time_point> park(int waitMs);
  // Wakes a parked thread.
  void unpark();
  // A caller's pass (state Here): runs the commands posted (for a
  // command's pass), libcurl, the time-outs and, for an answer's pass
  // (`answer`), the events that may run on this thread; then leaves the
  // parked thread watching what libcurl waits for, or wakes it.
  void runPassHere(bool answerHere, bool answer);
  // A caller's pass: has the parked thread watch what libcurl waits for
  // (true), or says the thread must run (a socket it cannot watch so).
  bool watchWhileParked();
  // Arms `fd` once for `events` in the epoll set `set` (`known`: the
  // sockets it holds).
  static bool arm(int set, std::bitset<FD_SETSIZE>& known, int fd, uint32_t events);
  // Leaves `fd` in `set` with nothing to report.
  static void disarm(int set, int fd);
  // Whether a transfer ended.
  bool processMessages();
  void flushDirty();
  void lookAtSocketBytes();
  // Virtual clock: every transfer whose time-out runs takes the bytes of
  // its stream that came on its connection as a sign of life now, and the
  // clock hears what each socket had received by the look before (see
  // TaskDriver::watchedSocketBytes, TransferClock::publishReceived).
  void noteArrivals();
  // Times out the drivers whose deadline has passed on kit::Clock and
  // publishes the nearest deadline left. Returns how many milliseconds the
  // thread may wait for I/O before it looks again (capped).
  int checkTimeouts();
  // Milliseconds until the nearest deadline the last look found, at most
  // kMaxTimeoutWait seconds.
  int untilNearestDeadline() const;
  static constexpr double kMaxTimeoutWait = 1.0;

  CURLM* multi_ = nullptr;
  CURLSH* share_ = nullptr;
  std::map<uint64_t, std::unique_ptr<TaskDriver>> drivers_;
  // A socket libcurl opened, with its ports once it was seen connected (-1
  // before).
  struct NotedSocket {
    int fd;
    long localPort = -1;
    long remotePort = -1;
    // Known to pass the default evaluation for the connection's host (a
    // connection is only reused for requests to the host it was made for).
    bool trustedByDefault = false;
    bool refused = false;  // see refuseConnection
  };
  std::vector<NotedSocket> sockets_;
  std::vector<uint64_t> dirty_;
  std::vector<uint64_t> staleSocketBytes_;
  std::chrono::steady_clock::time_point nextSocketBytesLook_;
  struct SpareHandle {
    CURL* easy;
    unsigned kind;
  };
  std::vector<SpareHandle> spareHandles_;
  const size_t spareLimit_;
  double nextTimeoutCheck_ = 0;  // on kit::Clock
  double nearestDeadline_ = 0;   // found by the last look, on kit::Clock
  std::shared_ptr<TransferClock> clock_;
  std::mutex aliasMutex_;
  std::map<uint64_t, uint64_t> aliases_;

  std::shared_ptr<EventLane> lane_;
  // Whether lingering pays: waits for an answer on a socket, and waits for
  // the next command with nothing running (network thread).
  AdaptiveLinger answerLinger_{lingerWindow(kFirstWakeLatency)};
  AdaptiveLinger commandLinger_{lingerWindow(kFirstWakeLatency)};
  // The same for callers that run their commands here (see runHere): they
  // cost the thread no wake, so a spin only spares the wake for the answer
  // (a caught one), and must nearly always catch the command to pay.
  AdaptiveLinger hereLinger_{lingerWindow(kFirstWakeLatency), 3};
  // How long the thread takes to run again after a post woke it (network
  // thread), and when the post that woke it called (0: no wake pending).
  WakeLatency wakeLatency_{kFirstWakeLatency};
  std::atomic<std::chrono::steady_clock::rep> wokenAt_{0};

  std::mutex mutex_;
  std::deque<std::function<void()>> commands_;
  bool stopping_ = false;
  // Commands posted so far, and how many the thread had seen when it last
  // took its commands; while it blocks in poll, `polling_` is set and the
  // first post to find it set clears it and wakes the thread (else the
  // thread sees the count move before it blocks).
  std::atomic<uint64_t> posted_{0};
  uint64_t seen_ = 0;
  std::atomic<bool> polling_{false};
  // Set by a post from another thread, cleared by the thread that runs it.
  std::atomic<bool> callerPosted_{false};
  // Set by a post that runHere() with `answerHere` refused (see post()).
  std::atomic<bool> refusedAnswerHere_{false};

  // Parking. `parkFd_` is an epoll set holding `parkWake_` (an eventfd) and
  // the sockets libcurl waited on after a caller's pass (`inParkSet_`,
  // armed until one is ready). A parked thread is woken through the
  // eventfd, as `parked_` tells posts. `parkState_` says who may touch the
  // engine: the thread (Busy), nobody (Parked), or a caller running a pass
  // (Here); the thread back from its wait lets a caller's pass end first.
  enum class Park { Busy, Parked, Here };
  int parkFd_ = -1;
  int parkWake_ = -1;
  std::atomic<bool> parked_{false};
  std::mutex parkMutex_;
  std::condition_variable parkDone_;
  Park parkState_ = Park::Busy;
  std::chrono::steady_clock::time_point parkedUntil_;
  std::optional<std::chrono::steady_clock::time_point> firstPassHere_;
  std::bitset<FD_SETSIZE> inParkSet_;
  std::atomic<uint64_t> commandsRunHere_{0};
  // The sockets the last caller's pass armed and for what, and the epoll
  // set the main thread waits on when it takes the watch over them
  // (`inHereSet_`). `callerMayWatch_`: the transfers running were started
  // by the main thread, which may take the watch; `callerWatching_`: it has
  // (all under parkMutex_ but for passes, which hold the Here state).
  struct ArmedSocket {
    int fd;
    uint32_t events;
  };
  std::vector<ArmedSocket> parkArmed_;
  // Commands a caller's pass posted itself, run before it ends.
  std::vector<std::function<void()>> passPosts_;
  int hereFd_ = -1;
  std::bitset<FD_SETSIZE> inHereSet_;
  bool callerMayWatch_ = false;
  bool callerWatching_ = false;
  std::atomic<uint64_t> answersTakenHere_{0};

  std::mutex gateMutex_;
  std::map<uint64_t, std::shared_ptr<HandshakeGate>> gates_;

  RoleRelief relief_{kRelieveAfter};
  EventLane::Watch watch_;
  std::thread thread_;
  // Started the first time events run watched (by the role holder then).
  std::thread standIn_;
};

// Initialises libcurl once per process.
void ensureCurlInitialized();

}  // namespace kit::netdetail
