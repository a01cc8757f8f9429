// Date values for the serializers.

#include "kit/foundation/serial_date.h"

#include <cmath>
#include <ctime>
#include <functional>

#include "kit/foundation/runtime.h"

namespace kit {

KIT_DEFINE_CLASS(SerialDate, Object) {}

std::string SerialDate::description() const {
  double unix = std::floor(timeIntervalSince1970());
  if (!(unix > -6e10 && unix < 6e10)) return "(invalid date)";
  time_t t = static_cast<time_t>(unix);
  struct tm parts;
  gmtime_r(&t, &parts);
  char buf[64];
  strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S +0000", &parts);
  return buf;
}

bool SerialDate::isEqual(const Object& other) const {
  auto* d = dynamic_cast<const SerialDate*>(&other);
  return d && d->seconds_ == seconds_;
}

size_t SerialDate::hash() const { return std::hash<double>()(seconds_); }

Id makeDateValue(double sinceReferenceDate) { return std::make_shared<SerialDate>(sinceReferenceDate); }

std::optional<double> dateValueSeconds(const Id& value) {
  if (auto* d = dynamic_cast<const SerialDate*>(value.get())) return d->timeIntervalSinceReferenceDate();
  return std::nullopt;
}

}  // namespace kit
