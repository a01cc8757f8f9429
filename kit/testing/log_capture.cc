// The capturing log sink.
#include "kit/testing/log_capture.h"

#include <mutex>

namespace kit::test {

class LogCapture::Sink : public LogSink {
 public:
  void write(const LogRecord& record) override {
    std::lock_guard lock(mutex);
    records.push_back(record);
  }
  mutable std::mutex mutex;
  std::vector<LogRecord> records;
};

LogCapture::LogCapture() : sink_(std::make_shared<Sink>()) { previous_ = setLogSink(sink_); }

LogCapture::~LogCapture() { setLogSink(previous_); }

std::vector<std::string> LogCapture::messages() const {
  std::lock_guard lock(sink_->mutex);
  std::vector<std::string> out;
  for (const auto& r : sink_->records) out.push_back(r.message);
  return out;
}

std::vector<std::string> LogCapture::lines() const {
  std::lock_guard lock(sink_->mutex);
  std::vector<std::string> out;
  for (const auto& r : sink_->records) out.push_back(r.line);
  return out;
}

bool LogCapture::contains(std::string_view text) const {
  std::lock_guard lock(sink_->mutex);
  for (const auto& r : sink_->records) {
    if (r.message.find(text) != std::string::npos) return true;
  }
  return false;
}

size_t LogCapture::count() const {
  std::lock_guard lock(sink_->mutex);
  return sink_->records.size();
}

void LogCapture::clear() {
  std::lock_guard lock(sink_->mutex);
  sink_->records.clear();
}

}  // namespace kit::test
