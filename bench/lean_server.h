// A lean loopback HTTP server for the network benchmarks.
#pragma once

#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sched.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <future>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>

namespace bench {

// A lean benchmark server: HTTP/1.1 keep-alive on 127.0.0.1, every answer
// prepared in full beforehand, one thread running one epoll loop over
// non-blocking sockets, so that the server's own cost does not hide the
// client's. It reads each request up to its blank line and skips the body
// its Content-Length gives, answers by method and path, and keeps what the
// socket did not take for the next writable event.
//
// The server plays a remote host: where the process may use more than one
// processor, its thread has one to itself and every other thread of the
// process (and each one they start) the rest. Sharing the server's
// processor would let a client that blocks for its answer hand the processor
// straight to the server and back, a switch no client of a real server gets.
class LeanServer {
 public:
  LeanServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int on = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(listener_, 256);
    socklen_t len = sizeof addr;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    watch(listener_, EPOLLIN);
    watch(wake_, EPOLLIN);
  }
  ~LeanServer() {
    uint64_t one = 1;
    if (::write(wake_, &one, sizeof one) < 0) std::perror("eventfd");
    if (thread_.joinable()) thread_.join();
    for (auto& [fd, _] : connections_) ::close(fd);
    ::close(listener_);
    ::close(wake_);
    ::close(epoll_);
  }

  // The answer to `method` requests for `path`: status 200 with `body`.
  void answer(const std::string& path, const std::string& body, const std::string& method = "GET",
              const std::string& contentType = "application/json") {
    answers_[method + " " + path + " "] = "HTTP/1.1 200 OK\r\nContent-Type: " + contentType +
                                          "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  }
  void start() {
    thread_ = std::thread([this] { loop(); });
    setAsideAProcessor();
  }
  std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  // The CPU time the server's thread has used, in seconds.
  double cpuSeconds() {
    clockid_t clock;
    timespec ts{};
    if (pthread_getcpuclockid(thread_.native_handle(), &clock) != 0 || clock_gettime(clock, &ts) != 0) return 0;
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
  }

 private:
  struct Connection {
    std::string in;
    std::string out;
    size_t sent = 0;
  };

  // Gives the server's thread the last processor the process may use, and
  // the process's other threads the others.
  void setAsideAProcessor() {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0 || CPU_COUNT(&allowed) < 2) return;
    int last = 0;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
      if (CPU_ISSET(cpu, &allowed)) last = cpu;
    }
    cpu_set_t own, rest = allowed;
    CPU_ZERO(&own);
    CPU_SET(last, &own);
    CPU_CLR(last, &rest);
    pthread_setaffinity_np(thread_.native_handle(), sizeof own, &own);
    const pid_t server = serverThreadId_.get_future().get();
    DIR* tasks = ::opendir("/proc/self/task");
    if (!tasks) return;
    while (const dirent* entry = ::readdir(tasks)) {
      const pid_t tid = static_cast<pid_t>(std::atoi(entry->d_name));
      if (tid > 0 && tid != server) sched_setaffinity(tid, sizeof rest, &rest);
    }
    ::closedir(tasks);
  }

  void watch(int fd, uint32_t events) {
    epoll_event ev{};
    ev.events = events;
    ev.data.fd = fd;
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev);
  }
  void rearm(int fd, uint32_t events) {
    epoll_event ev{};
    ev.events = events;
    ev.data.fd = fd;
    ::epoll_ctl(epoll_, EPOLL_CTL_MOD, fd, &ev);
  }
  void drop(int fd) {
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
    ::close(fd);
    connections_.erase(fd);
  }

  void loop() {
    serverThreadId_.set_value(static_cast<pid_t>(::gettid()));
    epoll_event events[64];
    for (;;) {
      const int n = ::epoll_wait(epoll_, events, 64, -1);
      for (int i = 0; i < n; ++i) {
        const int fd = events[i].data.fd;
        if (fd == wake_) return;
        if (fd == listener_) {
          acceptAll();
          continue;
        }
        if (events[i].events & (EPOLLERR | EPOLLHUP)) {
          drop(fd);
          continue;
        }
        if (events[i].events & EPOLLIN) readFrom(fd);
        if (connections_.count(fd) && (events[i].events & EPOLLOUT)) flush(fd);
      }
    }
  }

  void acceptAll() {
    for (;;) {
      const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) return;
      int on = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      connections_[fd];
      watch(fd, EPOLLIN);
    }
  }

  void readFrom(int fd) {
    Connection& c = connections_[fd];
    char buffer[16384];
    for (;;) {
      const ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got > 0) {
        c.in.append(buffer, static_cast<size_t>(got));
        continue;
      }
      if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
        drop(fd);
        return;
      }
      break;
    }
    size_t end;
    while ((end = c.in.find("\r\n\r\n")) != std::string::npos) {
      const size_t whole = end + 4 + bodyLength(std::string_view(c.in).substr(0, end));
      if (c.in.size() < whole) break;  // the rest of the body is still to come
      const size_t lineEnd = c.in.find(' ', c.in.find(' ') + 1);
      auto it = lineEnd == std::string::npos ? answers_.end() : answers_.find(c.in.substr(0, lineEnd + 1));
      c.out += it != answers_.end() ? it->second : kNotFound;
      c.in.erase(0, whole);
    }
    flush(fd);
  }

  // The Content-Length of a request head (any letter case), 0 without one.
  static size_t bodyLength(std::string_view head) {
    for (size_t line = head.find("\r\n"); line != std::string_view::npos; line = head.find("\r\n", line + 2)) {
      static constexpr std::string_view kName = "content-length:";
      if (head.size() - line - 2 < kName.size()) break;
      bool match = true;
      for (size_t i = 0; i < kName.size() && match; ++i)
        match = std::tolower(static_cast<unsigned char>(head[line + 2 + i])) == kName[i];
      if (match) return std::strtoul(std::string(head.substr(line + 2 + kName.size(), 20)).c_str(), nullptr, 10);
    }
    return 0;
  }

  void flush(int fd) {
    Connection& c = connections_[fd];
    while (c.sent < c.out.size()) {
      const ssize_t put = ::send(fd, c.out.data() + c.sent, c.out.size() - c.sent, MSG_NOSIGNAL);
      if (put > 0) {
        c.sent += static_cast<size_t>(put);
        continue;
      }
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        rearm(fd, EPOLLIN | EPOLLOUT);
        return;
      }
      drop(fd);
      return;
    }
    c.out.clear();
    c.sent = 0;
    rearm(fd, EPOLLIN);
  }

  static constexpr const char* kNotFound = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";
  int listener_ = -1, epoll_ = -1, wake_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
  std::promise<pid_t> serverThreadId_;  // set as the loop starts
  std::unordered_map<std::string, std::string> answers_;
  std::unordered_map<int, Connection> connections_;
};

// The CPU time of the whole process, in seconds.
inline double processCPUSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace bench
