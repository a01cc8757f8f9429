// What the reply fuzz targets share: a check that aborts (the fuzzer's
// finding) and a log that writes nothing, so that the run's output is the
// fuzzer's own.
#pragma once

#include <cstdlib>
#include <memory>

#include "kit/foundation/log.h"

namespace fuzzsupport {

inline void check(bool condition) {
  if (!condition) std::abort();
}

struct QuietSink : kit::LogSink {
  void write(const kit::LogRecord&) override {}
};

inline void silenceLogs() { kit::setLogSink(std::make_shared<QuietSink>()); }

}  // namespace fuzzsupport
