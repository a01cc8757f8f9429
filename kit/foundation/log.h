// Logging: kit::log is the NSLog stand-in. It formats with kit::format's
// directives and writes one line per call,
//
//   2024-05-15 10:00:00.123 client[4242:4243] message
//
// (local time, process name, process id, thread id) through the installed
// sink. The default sink writes the line to stderr; tests install their own
// sink (kit::test::LogCapture) to read what was logged.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "kit/foundation/format.h"

namespace kit {

// One logged line, as handed to a sink.
struct LogRecord {
  double timestamp = 0;  // seconds since 1970, wall time
  long processId = 0;
  long threadId = 0;
  std::string message;  // the formatted message alone
  std::string line;     // the full line without the trailing newline
};

// Receives every logged line. Called on the logging thread, one call at a
// time (calls are serialized).
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void write(const LogRecord& record) = 0;
};

// Installs a sink and returns the one it replaces; nullptr restores the
// stderr sink.
std::shared_ptr<LogSink> setLogSink(std::shared_ptr<LogSink> sink);

// Logs a message that is already text.
void logMessage(std::string_view message);

// NSLog: kit::log("loaded %@ in %.2f s", name, seconds).
template <class... Args>
void log(std::string_view fmt, const Args&... args) {
  logMessage(formatText(fmt, {FormatArg(args)...}));
}

}  // namespace kit
