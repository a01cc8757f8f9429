// The date values that the serializers (property lists, the keyed archiver,
// user defaults) read and write: seconds since the reference date,
// 2001-01-01 00:00:00 UTC. The serializers touch dates only through the
// three functions below, so the date class behind them can change without
// touching the readers and writers.
#pragma once

#include <optional>
#include <string>

#include "kit/foundation/object.h"

namespace kit {

// Seconds between 1970-01-01 and 2001-01-01 (UTC).
inline constexpr double TimeIntervalSince1970AtReferenceDate = 978307200.0;

// A point in time. Immutable.
class SerialDate : public Object {
 public:
  explicit SerialDate(double sinceReferenceDate) : seconds_(sinceReferenceDate) {}

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  double timeIntervalSinceReferenceDate() const { return seconds_; }
  double timeIntervalSince1970() const { return seconds_ + TimeIntervalSince1970AtReferenceDate; }

  // "2024-05-15 10:00:00 +0000"
  std::string description() const override;
  bool isEqual(const Object& other) const override;
  size_t hash() const override;
  Id copy() const override { return self(); }

 private:
  double seconds_;
};

// A date object for the given seconds since the reference date.
Id makeDateValue(double sinceReferenceDate);
// The seconds since the reference date of a date object; nullopt for
// anything else (nil included).
std::optional<double> dateValueSeconds(const Id& value);
inline bool isDateValue(const Id& value) { return dateValueSeconds(value).has_value(); }

}  // namespace kit
