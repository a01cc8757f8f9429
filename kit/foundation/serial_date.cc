// Date values for the serializers.

#include "kit/foundation/serial_date.h"

namespace kit {

Id makeDateValue(double sinceReferenceDate) { return std::make_shared<Date>(sinceReferenceDate); }

std::optional<double> dateValueSeconds(const Id& value) {
  if (auto* d = dynamic_cast<const Date*>(value.get())) return d->timeIntervalSinceReferenceDate();
  return std::nullopt;
}

}  // namespace kit
