// Time zones: lookup in the system database, the system and default zones,
// and offsets at a moment.

#include "kit/foundation/time_zone.h"

#include <limits.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <utility>

#include "kit/foundation/civil_time.h"
#include "kit/foundation/data_file.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/tz_rules.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(TimeZone, Object, "NSTimeZone") {}

namespace {

constexpr size_t MaxZoneFileSize = 1 << 20;
constexpr long MaxFixedOffset = 18 * 3600;

std::string zoneDirectory() {
  const char* dir = std::getenv("TZDIR");
  return dir && *dir ? dir : "/usr/share/zoneinfo";
}

// A database name: relative, made of the characters zone names use, with no
// "." or ".." component, so a name from outside can never leave the folder.
bool isSafeZoneName(std::string_view name) {
  if (name.empty() || name.size() > 255 || name.front() == '/' || name.back() == '/') return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t slash = name.find('/', start);
    std::string_view part = name.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
    if (part.empty() || part == "." || part == "..") return false;
    for (char c : part) {
      if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '+' || c == '.')) return false;
    }
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  return true;
}

std::optional<std::string> readSmallFile(const std::string& path) {
  auto bytes = dataWithContentsOfFile(path, nullptr, MaxZoneFileSize);
  if (!bytes) return std::nullopt;
  return bytes->toString();
}

std::shared_ptr<const tz::Rules> loadZoneFile(const std::string& path) {
  auto bytes = readSmallFile(path);
  if (!bytes) return nullptr;
  auto rules = tz::Rules::fromTZif(*bytes);
  if (!rules) return nullptr;
  return std::make_shared<const tz::Rules>(std::move(*rules));
}

// "GMT+8", "GMT+5:30", "GMT" for zero.
std::string gmtText(long offset) {
  if (offset == 0) return "GMT";
  std::string out = offset < 0 ? "GMT-" : "GMT+";
  long a = offset < 0 ? -offset : offset;
  out += std::to_string(a / 3600);
  if (a % 3600) {
    long m = a % 3600 / 60;
    out += m < 10 ? ":0" : ":";
    out += std::to_string(m);
  }
  return out;
}

// "GMT+0800" as the platform names fixed-offset zones.
std::string fixedZoneName(long offset) {
  if (offset == 0) return "GMT";
  long a = offset < 0 ? -offset : offset;
  char buf[32];
  std::snprintf(buf, sizeof buf, "GMT%c%02ld%02ld", offset < 0 ? '-' : '+', a / 3600, a % 3600 / 60);
  return buf;
}

// "+8", "+08", "+0800", "+08:00", "-5:30" after GMT or UTC.
std::optional<long> parseOffsetSuffix(std::string_view s) {
  if (s.empty()) return 0;
  int sign = s[0] == '+' ? 1 : s[0] == '-' ? -1 : 0;
  if (!sign) return std::nullopt;
  s.remove_prefix(1);
  long hours = 0, minutes = 0;
  size_t colon = s.find(':');
  auto allDigits = [](std::string_view t) {
    if (t.empty()) return false;
    for (char c : t) {
      if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
  };
  if (colon != std::string_view::npos) {
    std::string_view h = s.substr(0, colon), m = s.substr(colon + 1);
    if (!allDigits(h) || h.size() > 2 || !allDigits(m) || m.size() != 2) return std::nullopt;
    hours = std::stol(std::string(h));
    minutes = std::stol(std::string(m));
  } else {
    if (!allDigits(s) || s.size() > 4) return std::nullopt;
    if (s.size() <= 2) {
      hours = std::stol(std::string(s));
    } else {
      hours = std::stol(std::string(s.substr(0, s.size() - 2)));
      minutes = std::stol(std::string(s.substr(s.size() - 2)));
    }
  }
  if (minutes > 59) return std::nullopt;
  long offset = sign * (hours * 3600 + minutes * 60);
  if (offset > MaxFixedOffset || offset < -MaxFixedOffset) return std::nullopt;
  return offset;
}

struct ZoneState {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<const tz::Rules>, std::less<>> loaded;
  Ref<TimeZone> system;
  Ref<TimeZone> defaultZone;
};

ZoneState& state() {
  static NoDestructor<ZoneState> s;  // lives for the process
  return *s;
}

Ref<TimeZone> makeFixed(long offset) {
  return std::make_shared<TimeZone>(fixedZoneName(offset),
                                    std::make_shared<const tz::Rules>(tz::Rules::fixed(
                                        static_cast<int32_t>(offset), gmtText(offset))));
}

Ref<TimeZone> readSystemZone() {
  const char* tzEnv = std::getenv("TZ");
  if (tzEnv) {
    std::string_view text = tzEnv;
    if (text.empty()) return TimeZone::timeZoneWithName("UTC");
    if (text.front() == ':') text.remove_prefix(1);
    if (!text.empty() && text.front() == '/') {
      if (auto rules = loadZoneFile(std::string(text))) {
        std::string name(text);
        size_t at = name.find("zoneinfo/");
        if (at != std::string::npos) name = name.substr(at + 9);
        return std::make_shared<TimeZone>(name, rules);
      }
    } else if (auto zone = TimeZone::timeZoneWithName(text)) {
      return zone;
    }
    if (auto rule = tz::parsePosixRule(text)) {
      return std::make_shared<TimeZone>(std::string(text),
                                        std::make_shared<const tz::Rules>(tz::Rules::fromPosix(*rule)));
    }
    return TimeZone::utc();
  }
  // The machine's local time: a link into the database names the zone.
  char target[PATH_MAX];
  ssize_t n = readlink("/etc/localtime", target, sizeof target - 1);
  if (n > 0) {
    std::string link(target, static_cast<size_t>(n));
    size_t at = link.find("zoneinfo/");
    if (at != std::string::npos) {
      if (auto zone = TimeZone::timeZoneWithName(link.substr(at + 9))) return zone;
    }
  }
  if (auto rules = loadZoneFile("/etc/localtime")) return std::make_shared<TimeZone>("localtime", rules);
  return TimeZone::utc();
}

}  // namespace

TimeZone::TimeZone(std::string name, std::shared_ptr<const tz::Rules> rules)
    : name_(std::move(name)), rules_(std::move(rules)) {}

TimeZone::~TimeZone() = default;

Ref<TimeZone> TimeZone::systemTimeZone() {
  {
    std::lock_guard lock(state().mutex);
    if (state().system) return state().system;
  }
  Ref<TimeZone> zone = readSystemZone();
  std::lock_guard lock(state().mutex);
  if (!state().system) state().system = zone;
  return state().system;
}

void TimeZone::resetSystemTimeZone() {
  std::lock_guard lock(state().mutex);
  state().system = nullptr;
}

Ref<TimeZone> TimeZone::defaultTimeZone() {
  {
    std::lock_guard lock(state().mutex);
    if (state().defaultZone) return state().defaultZone;
  }
  return systemTimeZone();
}

void TimeZone::setDefaultTimeZone(Ref<TimeZone> zone) {
  std::lock_guard lock(state().mutex);
  state().defaultZone = std::move(zone);
}

Ref<TimeZone> TimeZone::timeZoneWithName(std::string_view name) {
  for (std::string_view prefix : {"GMT", "UTC"}) {
    if (name.starts_with(prefix)) {
      if (name == prefix) {
        return std::make_shared<TimeZone>(std::string(name),
                                          std::make_shared<const tz::Rules>(tz::Rules::fixed(0, "GMT")));
      }
      if (auto offset = parseOffsetSuffix(name.substr(3))) return timeZoneForSecondsFromGMT(*offset);
    }
  }
  if (!isSafeZoneName(name)) return nullptr;
  std::shared_ptr<const tz::Rules> rules;
  {
    std::lock_guard lock(state().mutex);
    auto it = state().loaded.find(name);
    if (it != state().loaded.end()) rules = it->second;
  }
  if (!rules) {
    rules = loadZoneFile(zoneDirectory() + "/" + std::string(name));
    if (!rules) return nullptr;
    std::lock_guard lock(state().mutex);
    state().loaded.emplace(std::string(name), rules);
  }
  return std::make_shared<TimeZone>(std::string(name), rules);
}

Ref<TimeZone> TimeZone::timeZoneForSecondsFromGMT(long seconds) {
  if (seconds > MaxFixedOffset || seconds < -MaxFixedOffset) return nullptr;
  return makeFixed(seconds);
}

Ref<TimeZone> TimeZone::utc() { return makeFixed(0); }

long TimeZone::offsetAtUnixSeconds(int64_t utc) const { return rules_->offsetAt(utc); }

int64_t TimeZone::unixSecondsFromLocal(int64_t local) const { return rules_->utcFromLocal(local); }

long TimeZone::secondsFromGMT() const { return secondsFromGMTForDate(Date()); }

long TimeZone::secondsFromGMTForDate(const Date& date) const {
  return rules_->offsetAt(civil::wholeSeconds(date.timeIntervalSince1970()));
}

std::string TimeZone::abbreviation() const { return abbreviationForDate(Date()); }

std::string TimeZone::abbreviationForDate(const Date& date) const {
  const tz::LocalType& type = rules_->typeAt(civil::wholeSeconds(date.timeIntervalSince1970()));
  // Numeric abbreviations ("+08") read better in the GMT form.
  if (type.abbreviation.empty() || type.abbreviation[0] == '+' || type.abbreviation[0] == '-') {
    return gmtText(type.offset);
  }
  return type.abbreviation;
}

bool TimeZone::isDaylightSavingTimeForDate(const Date& date) const {
  return rules_->typeAt(civil::wholeSeconds(date.timeIntervalSince1970())).isDST;
}

std::string TimeZone::description() const {
  Date now;
  std::string out = name_ + " (" + abbreviationForDate(now) + ") offset " + std::to_string(secondsFromGMTForDate(now));
  if (isDaylightSavingTimeForDate(now)) out += " (Daylight)";
  return out;
}

bool TimeZone::isEqual(const Object& other) const {
  auto* z = dynamic_cast<const TimeZone*>(&other);
  return z && (z->rules_ == rules_ || z->name_ == name_);
}

size_t TimeZone::hash() const { return std::hash<std::string>()(name_); }

ScopedDefaultTimeZone::ScopedDefaultTimeZone(Ref<TimeZone> zone) {
  std::lock_guard lock(state().mutex);
  previous_ = std::exchange(state().defaultZone, std::move(zone));
}

ScopedDefaultTimeZone::~ScopedDefaultTimeZone() {
  std::lock_guard lock(state().mutex);
  state().defaultZone = std::move(previous_);
}

}  // namespace kit
