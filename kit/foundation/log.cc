// The log line format and the sink switch behind kit::log.
#include "kit/foundation/log.h"
#include "kit/foundation/no_destructor.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <mutex>

namespace kit {
namespace {

class StderrSink : public LogSink {
 public:
  void write(const LogRecord& record) override {
    std::string out = record.line;
    out += '\n';
    // One write per line so that lines from several processes sharing the
    // stream do not interleave.
    [[maybe_unused]] ssize_t written = ::write(STDERR_FILENO, out.data(), out.size());
  }
};

struct LogState {
  std::mutex mutex;
  std::shared_ptr<LogSink> sink = std::make_shared<StderrSink>();
};

LogState& state() {
  static NoDestructor<LogState> s;  // outlives every static destructor that may log
  return *s;
}

const std::string& processName() {
  // Never destroyed, like the log state: threads may log while the process exits.
  static const NoDestructor<std::string> name([] {
    std::ifstream comm("/proc/self/comm");
    std::string text;
    std::getline(comm, text);
    return text.empty() ? std::string("process") : text;
  }());
  return *name;
}

std::string timestampText(std::chrono::system_clock::time_point when) {
  const auto sinceEpoch = when.time_since_epoch();
  const time_t seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch).count();
  const long millis = static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count() % 1000);
  struct tm local {};
  localtime_r(&seconds, &local);
  char text[64];
  snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03ld", local.tm_year + 1900, local.tm_mon + 1,
           local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, millis);
  return text;
}

}  // namespace

std::shared_ptr<LogSink> setLogSink(std::shared_ptr<LogSink> sink) {
  if (!sink) sink = std::make_shared<StderrSink>();
  std::lock_guard lock(state().mutex);
  std::swap(state().sink, sink);
  return sink;
}

void logMessage(std::string_view message) {
  const auto when = std::chrono::system_clock::now();
  LogRecord record;
  record.timestamp = std::chrono::duration<double>(when.time_since_epoch()).count();
  record.processId = static_cast<long>(getpid());
  record.threadId = static_cast<long>(syscall(SYS_gettid));
  record.message = std::string(message);
  record.line = timestampText(when) + " " + processName() + "[" + std::to_string(record.processId) + ":" +
                std::to_string(record.threadId) + "] " + record.message;
  std::lock_guard lock(state().mutex);
  state().sink->write(record);
}

}  // namespace kit
