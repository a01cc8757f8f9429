// Time-zone rules: the TZif reader, the POSIX TZ rule reader and offset
// lookups in both directions.

#include "kit/foundation/tz_rules.h"

#include <algorithm>
#include <cctype>

#include "kit/foundation/civil_time.h"

namespace kit::tz {

// ---- POSIX rules ----------------------------------------------------------

namespace {

class RuleReader {
 public:
  explicit RuleReader(std::string_view text) : text_(text) {}

  bool atEnd() const { return pos_ == text_.size(); }
  bool peek(char c) const { return pos_ < text_.size() && text_[pos_] == c; }
  bool take(char c) {
    if (!peek(c)) return false;
    ++pos_;
    return true;
  }

  // A zone name: three or more letters, or <...> with letters, digits and
  // signs.
  std::optional<std::string> name() {
    size_t start = pos_;
    if (take('<')) {
      while (pos_ < text_.size() && text_[pos_] != '>') {
        char c = text_[pos_];
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-') return std::nullopt;
        ++pos_;
      }
      if (!take('>')) return std::nullopt;
      std::string n(text_.substr(start + 1, pos_ - start - 2));
      if (n.size() < 3) return std::nullopt;
      return n;
    }
    while (pos_ < text_.size() && std::isalpha(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    if (pos_ - start < 3) return std::nullopt;
    return std::string(text_.substr(start, pos_ - start));
  }

  std::optional<int> number(int maxValue) {
    size_t start = pos_;
    long value = 0;
    while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) {
      value = value * 10 + (text_[pos_] - '0');
      if (value > maxValue) return std::nullopt;
      ++pos_;
    }
    if (pos_ == start) return std::nullopt;
    return static_cast<int>(value);
  }

  // [+-]hh[:mm[:ss]] in seconds.
  std::optional<int32_t> duration(int maxHours) {
    int sign = 1;
    if (take('-')) sign = -1;
    else take('+');
    auto h = number(maxHours);
    if (!h) return std::nullopt;
    int32_t total = *h * 3600;
    if (take(':')) {
      auto m = number(59);
      if (!m) return std::nullopt;
      total += *m * 60;
      if (take(':')) {
        auto s = number(59);
        if (!s) return std::nullopt;
        total += *s;
      }
    }
    return sign * total;
  }

  std::optional<PosixRule::Transition> transition() {
    PosixRule::Transition t;
    if (take('J')) {
      auto n = number(365);
      if (!n || *n < 1) return std::nullopt;
      t.kind = PosixRule::Transition::Kind::Julian1;
      t.day = *n;
    } else if (take('M')) {
      auto m = number(12);
      if (!m || *m < 1 || !take('.')) return std::nullopt;
      auto w = number(5);
      if (!w || *w < 1 || !take('.')) return std::nullopt;
      auto d = number(6);
      if (!d) return std::nullopt;
      t.kind = PosixRule::Transition::Kind::MonthWeekDay;
      t.month = *m;
      t.week = *w;
      t.day = *d;
    } else {
      auto n = number(365);
      if (!n) return std::nullopt;
      t.kind = PosixRule::Transition::Kind::Julian0;
      t.day = *n;
    }
    if (take('/')) {
      auto time = duration(167);
      if (!time) return std::nullopt;
      t.time = *time;
    }
    return t;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

// Local seconds (since 1970, wall clock) of a rule's transition in a year.
int64_t transitionLocal(const PosixRule::Transition& t, int64_t year) {
  int64_t days = 0;
  switch (t.kind) {
    case PosixRule::Transition::Kind::Julian1:
      // 1-365; February 29 is never counted.
      days = civil::daysFromCivil(year, 1, 1) + t.day - 1 + (civil::isLeapYear(year) && t.day >= 60 ? 1 : 0);
      break;
    case PosixRule::Transition::Kind::Julian0:
      days = civil::daysFromCivil(year, 1, 1) + t.day;
      break;
    case PosixRule::Transition::Kind::MonthWeekDay: {
      const int64_t first = civil::daysFromCivil(year, t.month, 1);
      const int firstWeekday = civil::weekdayFromDays(first) - 1;  // 0 = Sunday
      int day = 1 + (t.day - firstWeekday + 7) % 7 + (t.week - 1) * 7;
      while (day > civil::daysInMonth(year, t.month)) day -= 7;
      days = first + day - 1;
      break;
    }
  }
  return days * civil::SecondsPerDay + t.time;
}

}  // namespace

std::optional<PosixRule> parsePosixRule(std::string_view text) {
  RuleReader r(text);
  PosixRule rule;
  auto stdName = r.name();
  if (!stdName) return std::nullopt;
  auto stdOffset = r.duration(24);
  if (!stdOffset) return std::nullopt;
  rule.standard = {-*stdOffset, false, *stdName};
  if (r.atEnd()) return rule;

  auto dstName = r.name();
  if (!dstName) return std::nullopt;
  LocalType daylight{rule.standard.offset + 3600, true, *dstName};
  if (!r.atEnd() && !r.peek(',')) {
    auto dstOffset = r.duration(24);
    if (!dstOffset) return std::nullopt;
    daylight.offset = -*dstOffset;
  }
  rule.daylight = daylight;
  if (r.atEnd()) {
    // No rule given: the common default, as the C library applies it.
    rule.start = {PosixRule::Transition::Kind::MonthWeekDay, 0, 2, 3, 7200};
    rule.end = {PosixRule::Transition::Kind::MonthWeekDay, 0, 1, 11, 7200};
    return rule;
  }
  if (!r.take(',')) return std::nullopt;
  auto start = r.transition();
  if (!start || !r.take(',')) return std::nullopt;
  auto end = r.transition();
  if (!end || !r.atEnd()) return std::nullopt;
  rule.start = *start;
  rule.end = *end;
  return rule;
}

const LocalType& PosixRule::typeAt(int64_t utc) const {
  if (!daylight) return standard;
  const int64_t localStd = utc + standard.offset;
  const int64_t year = civil::civilFromDays(civil::floorDiv(localStd, civil::SecondsPerDay)).year;
  // Daylight time starts at a standard-time wall clock and ends at a
  // daylight-time wall clock.
  const int64_t startUTC = transitionLocal(start, year) - standard.offset;
  const int64_t endUTC = transitionLocal(end, year) - daylight->offset;
  bool inDST;
  if (startUTC < endUTC) inDST = utc >= startUTC && utc < endUTC;  // northern hemisphere
  else inDST = !(utc >= endUTC && utc < startUTC);                   // southern hemisphere
  return inDST ? *daylight : standard;
}

// ---- TZif -----------------------------------------------------------------

namespace {

class ByteReader {
 public:
  explicit ByteReader(std::string_view bytes) : bytes_(bytes) {}
  size_t remaining() const { return bytes_.size() - pos_; }
  bool skip(uint64_t n) {
    if (n > remaining()) return false;
    pos_ += n;
    return true;
  }
  bool u8(uint8_t& out) {
    if (remaining() < 1) return false;
    out = static_cast<uint8_t>(bytes_[pos_++]);
    return true;
  }
  bool be32(uint32_t& out) {
    if (remaining() < 4) return false;
    out = 0;
    for (int i = 0; i < 4; ++i) out = (out << 8) | static_cast<uint8_t>(bytes_[pos_++]);
    return true;
  }
  bool be64(uint64_t& out) {
    if (remaining() < 8) return false;
    out = 0;
    for (int i = 0; i < 8; ++i) out = (out << 8) | static_cast<uint8_t>(bytes_[pos_++]);
    return true;
  }
  std::string_view take(size_t n) {
    std::string_view v = bytes_.substr(pos_, n);
    pos_ += n;
    return v;
  }
  std::string_view rest() const { return bytes_.substr(pos_); }

 private:
  std::string_view bytes_;
  size_t pos_ = 0;
};

struct Header {
  char version = 0;
  uint32_t isutcnt = 0, isstdcnt = 0, leapcnt = 0, timecnt = 0, typecnt = 0, charcnt = 0;
};

bool readHeader(ByteReader& r, Header& h) {
  std::string_view magic = r.remaining() >= 5 ? r.take(5) : std::string_view();
  if (magic.size() != 5 || magic.substr(0, 4) != "TZif") return false;
  h.version = magic[4];
  if (h.version != 0 && (h.version < '2' || h.version > '9')) return false;
  if (!r.skip(15)) return false;
  if (!r.be32(h.isutcnt) || !r.be32(h.isstdcnt) || !r.be32(h.leapcnt) || !r.be32(h.timecnt) ||
      !r.be32(h.typecnt) || !r.be32(h.charcnt)) {
    return false;
  }
  if (h.typecnt == 0 || h.typecnt > 256 || h.charcnt == 0) return false;
  if ((h.isutcnt != 0 && h.isutcnt != h.typecnt) || (h.isstdcnt != 0 && h.isstdcnt != h.typecnt)) return false;
  return true;
}

uint64_t dataLength(const Header& h, unsigned timeSize) {
  return uint64_t{h.timecnt} * timeSize + h.timecnt + uint64_t{h.typecnt} * 6 + h.charcnt +
         uint64_t{h.leapcnt} * (timeSize + 4) + h.isstdcnt + h.isutcnt;
}

}  // namespace

std::optional<Rules> Rules::fromTZif(std::string_view bytes) {
  ByteReader r(bytes);
  Header h;
  if (!readHeader(r, h)) return std::nullopt;
  unsigned timeSize = 4;
  if (h.version != 0) {
    // Skip the 32-bit block; the 64-bit block after it is complete.
    if (!r.skip(dataLength(h, 4)) || !readHeader(r, h)) return std::nullopt;
    timeSize = 8;
  }
  if (dataLength(h, timeSize) > r.remaining()) return std::nullopt;

  Rules rules;
  rules.transitions_.reserve(h.timecnt);
  for (uint32_t i = 0; i < h.timecnt; ++i) {
    int64_t t;
    if (timeSize == 8) {
      uint64_t v = 0;
      r.be64(v);
      t = static_cast<int64_t>(v);
    } else {
      uint32_t v = 0;
      r.be32(v);
      t = static_cast<int32_t>(v);
    }
    if (!rules.transitions_.empty() && t <= rules.transitions_.back()) return std::nullopt;
    rules.transitions_.push_back(t);
  }
  rules.typeIndexes_.resize(h.timecnt);
  for (uint32_t i = 0; i < h.timecnt; ++i) {
    r.u8(rules.typeIndexes_[i]);
    if (rules.typeIndexes_[i] >= h.typecnt) return std::nullopt;
  }
  std::vector<uint8_t> abbreviationIndexes(h.typecnt);
  rules.types_.resize(h.typecnt);
  for (uint32_t i = 0; i < h.typecnt; ++i) {
    uint32_t offset = 0;
    uint8_t dst = 0, index = 0;
    r.be32(offset);
    r.u8(dst);
    r.u8(index);
    const int32_t signedOffset = static_cast<int32_t>(offset);
    // Real offsets lie within a day; anything else is corrupt.
    if (signedOffset <= -86400 || signedOffset >= 86400 || dst > 1 || index >= h.charcnt) return std::nullopt;
    rules.types_[i].offset = signedOffset;
    rules.types_[i].isDST = dst == 1;
    abbreviationIndexes[i] = index;
  }
  std::string_view chars = r.take(h.charcnt);
  for (uint32_t i = 0; i < h.typecnt; ++i) {
    std::string_view tail = chars.substr(abbreviationIndexes[i]);
    size_t nul = tail.find('\0');
    if (nul == std::string_view::npos) return std::nullopt;
    rules.types_[i].abbreviation = std::string(tail.substr(0, nul));
  }
  // Leap-second records and the standard/UT indicators do not change
  // civil-time offsets.
  r.skip(uint64_t{h.leapcnt} * (timeSize + 4) + h.isstdcnt + h.isutcnt);

  if (timeSize == 8) {
    std::string_view footer = r.rest();
    if (footer.size() < 2 || footer[0] != '\n') return std::nullopt;
    size_t close = footer.find('\n', 1);
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view text = footer.substr(1, close - 1);
    if (!text.empty()) {
      auto rule = parsePosixRule(text);
      if (!rule) return std::nullopt;
      rules.footer_ = std::move(*rule);
    }
  }
  return rules;
}

Rules Rules::fixed(int32_t offset, std::string abbreviation) {
  Rules rules;
  rules.types_.push_back({offset, false, std::move(abbreviation)});
  return rules;
}

Rules Rules::fromPosix(PosixRule rule) {
  Rules rules;
  rules.types_.push_back(rule.standard);
  rules.footer_ = std::move(rule);
  return rules;
}

const LocalType& Rules::typeAt(int64_t utc) const {
  if (transitions_.empty() || utc >= transitions_.back()) {
    if (footer_) return footer_->typeAt(utc);
    if (transitions_.empty()) return types_[initialType_];
    return types_[typeIndexes_.back()];
  }
  auto it = std::upper_bound(transitions_.begin(), transitions_.end(), utc);
  if (it == transitions_.begin()) return types_[initialType_];
  return types_[typeIndexes_[static_cast<size_t>(it - transitions_.begin()) - 1]];
}

int64_t Rules::utcFromLocal(int64_t local) const {
  const int32_t before = offsetAt(local - civil::SecondsPerDay);
  const int32_t after = offsetAt(local + civil::SecondsPerDay);
  std::optional<int64_t> best;
  for (int32_t offset : {before, after}) {
    const int64_t utc = local - offset;
    if (offsetAt(utc) == offset && (!best || utc < *best)) best = utc;
  }
  // No moment shows this wall-clock time: it fell into a gap when clocks
  // were turned forward. Reading it with the earlier offset moves it past
  // the gap.
  return best ? *best : local - before;
}

}  // namespace kit::tz
