// Captures what kit::log writes while it exists, instead of letting it reach
// stderr; the sink in place before is restored on destruction.
//
//   kit::test::LogCapture logs;
//   codeThatLogs();
//   EXPECT_TRUE(logs.contains("payment failed"));
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/log.h"

namespace kit::test {

class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // The messages alone, in order.
  std::vector<std::string> messages() const;
  // The full lines, with timestamp, process and thread.
  std::vector<std::string> lines() const;
  // True when some message contains `text`.
  bool contains(std::string_view text) const;
  size_t count() const;
  void clear();

 private:
  class Sink;
  std::shared_ptr<Sink> sink_;
  std::shared_ptr<LogSink> previous_;
};

}  // namespace kit::test
