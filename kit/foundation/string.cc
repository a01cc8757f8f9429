// Strings: UTF-8 storage with UTF-16 indexing, comparisons, searching,
// numeric readings and path helpers.

#include "kit/foundation/string.h"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <tuple>
#include <utility>

#include "kit/foundation/array.h"
#include "kit/foundation/charset.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/runtime.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(String, Object, "NSString") { cls.readonlyProperty("length", &String::length); }
KIT_DEFINE_CLASS_NAMED(MutableString, String, "NSMutableString") {}

// ---- Encoding -------------------------------------------------------------

void appendCodePoint(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char32_t decodeCodePoint(std::string_view s, size_t& pos) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  unsigned char c = byte(pos);
  if (c < 0x80) {
    ++pos;
    return c;
  }
  int need;
  char32_t cp, min;
  if ((c & 0xE0) == 0xC0) {
    need = 1, cp = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    need = 2, cp = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    need = 3, cp = c & 0x07, min = 0x10000;
  } else {
    ++pos;
    return 0xFFFD;
  }
  if (pos + need >= s.size()) {
    ++pos;
    return 0xFFFD;
  }
  for (int i = 1; i <= need; ++i) {
    unsigned char cc = byte(pos + i);
    if ((cc & 0xC0) != 0x80) {
      ++pos;
      return 0xFFFD;
    }
    cp = (cp << 6) | (cc & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF) {
    ++pos;
    return 0xFFFD;
  }
  pos += need + 1;
  return cp;
}

bool isValidUTF8(std::string_view s) {
  size_t pos = 0;
  while (pos < s.size()) {
    size_t before = pos;
    char32_t cp = decodeCodePoint(s, pos);
    if (cp == 0xFFFD && pos - before == 1) return false;
    if (cp >= 0xD800 && cp <= 0xDFFF) return false;
  }
  return true;
}

bool hasLoneSurrogate(std::string_view s) {
  for (size_t i = 0; i + 1 < s.size(); ++i) {
    if (static_cast<unsigned char>(s[i]) == 0xED && (static_cast<unsigned char>(s[i + 1]) & 0xE0) == 0xA0) {
      return true;
    }
  }
  return false;
}

std::u16string utf8ToUTF16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t pos = 0;
  while (pos < s.size()) {
    char32_t cp = decodeCodePoint(s, pos);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string utf16ToUTF8(std::u16string_view u) {
  std::string out;
  out.reserve(u.size());
  for (size_t i = 0; i < u.size(); ++i) {
    char32_t c = u[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < u.size() && u[i + 1] >= 0xDC00 && u[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (u[i + 1] - 0xDC00);
      ++i;
    }
    appendCodePoint(out, c);  // a lone surrogate keeps its 3-byte form
  }
  return out;
}

namespace {

bool isAscii(std::string_view s) {
  for (unsigned char c : s) {
    if (c >= 0x80) return false;
  }
  return true;
}

// UTF-16 units taken by the code point that starts at `pos`, advancing it.
size_t unitsAt(std::string_view s, size_t& pos) { return decodeCodePoint(s, pos) >= 0x10000 ? 2 : 1; }

// `text` with the UTF-16 units in `r` replaced. A range end may fall inside
// a surrogate pair, leaving its other half alone in the result.
std::string replacingUnits(const std::string& text, bool ascii, Range r, std::string_view replacement) {
  if (ascii) return text.substr(0, r.location) + std::string(replacement) + text.substr(r.end());
  std::u16string units = utf8ToUTF16(text);
  units.replace(r.location, r.length, utf8ToUTF16(replacement));
  return utf16ToUTF8(units);
}


// Joins each high-surrogate 3-byte form directly followed by a low one into
// the 4-byte form of the character the pair encodes.
void joinSurrogateHalves(std::string& text) {
  size_t at = text.find('\xED');
  if (at == std::string::npos) return;
  auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
  auto isHalf = [&](size_t i, unsigned char marker) {
    return i + 2 < text.size() && byte(i) == 0xED && (byte(i + 1) & 0xF0) == marker && (byte(i + 2) & 0xC0) == 0x80;
  };
  std::string out;
  size_t copied = 0;
  for (size_t i = at; i < text.size(); ++i) {
    if (!isHalf(i, 0xA0) || !isHalf(i + 3, 0xB0)) continue;
    char32_t high = 0xD000 | ((byte(i + 1) & 0x3F) << 6) | (byte(i + 2) & 0x3F);
    char32_t low = 0xD000 | ((byte(i + 4) & 0x3F) << 6) | (byte(i + 5) & 0x3F);
    out.append(text, copied, i - copied);
    appendCodePoint(out, 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00));
    copied = i + 6;
    i += 5;
  }
  if (copied == 0) return;
  out.append(text, copied);
  text = std::move(out);
}

}  // namespace

// ---- String ---------------------------------------------------------------

String::String(std::string utf8) : text_(std::move(utf8)) { joinSurrogateHalves(text_); }

void String::invalidate() {
  joinSurrogateHalves(text_);
  length_.store(-1, std::memory_order_relaxed);
}

Ref<String> String::fromUTF8Bytes(std::string_view bytes) {
  if (!isValidUTF8(bytes)) return nullptr;
  return make(bytes);
}

Ref<String> String::fromUTF16(std::u16string_view units) { return make(utf16ToUTF8(units)); }

std::u16string String::utf16() const { return utf8ToUTF16(text_); }

size_t String::length() const {
  int64_t cached = length_.load(std::memory_order_relaxed);
  if (cached >= 0) return static_cast<size_t>(cached);
  size_t n = 0;
  if (isAscii(text_)) {
    n = text_.size();
  } else {
    for (size_t pos = 0; pos < text_.size();) n += unitsAt(text_, pos);
  }
  length_.store(static_cast<int64_t>(n), std::memory_order_relaxed);
  return n;
}

size_t String::utf8Offset(size_t index) const {
  if (length() == text_.size()) return std::min(index, text_.size());
  size_t units = 0, pos = 0;
  while (pos < text_.size() && units < index) {
    size_t start = pos;
    size_t n = unitsAt(text_, pos);
    if (units + n > index) return start;  // inside a surrogate pair
    units += n;
  }
  return pos;
}

size_t String::utf16Index(size_t offset) const {
  if (length() == text_.size()) return std::min(offset, text_.size());
  size_t units = 0, pos = 0;
  while (pos < text_.size() && pos < offset) units += unitsAt(text_, pos);
  return units;
}

char16_t String::characterAtIndex(size_t index) const {
  if (index >= length()) {
    raise(RangeException, "-[__NSCFString characterAtIndex:]: Range or index out of bounds");
  }
  if (length() == text_.size()) {
    // One byte per unit: ASCII, or bytes that are not UTF-8 and read as U+FFFD.
    auto byte = static_cast<unsigned char>(text_[index]);
    return byte < 0x80 ? char16_t{byte} : char16_t{0xFFFD};
  }
  std::u16string u = utf16();
  return u[index];
}

Ref<String> String::substringWithRange(Range r) const {
  size_t len = length();
  if (r.location > len || r.length > len - r.location) {
    raise(RangeException, "-[__NSCFString substringWithRange:]: Range {" + std::to_string(r.location) + ", " +
                              std::to_string(r.length) + "} out of bounds; string length " +
                              std::to_string(len));
  }
  if (len == text_.size()) return make(std::string_view(text_).substr(r.location, r.length));
  std::u16string u = utf16();
  return fromUTF16(std::u16string_view(u).substr(r.location, r.length));
}

Ref<String> String::substringFromIndex(size_t from) const {
  size_t len = length();
  if (from > len) raise(RangeException, "-[__NSCFString substringFromIndex:]: Index " + std::to_string(from) +
                                            " out of bounds; string length " + std::to_string(len));
  return substringWithRange({from, len - from});
}

Ref<String> String::substringToIndex(size_t to) const {
  size_t len = length();
  if (to > len) raise(RangeException, "-[__NSCFString substringToIndex:]: Index " + std::to_string(to) +
                                          " out of bounds; string length " + std::to_string(len));
  return substringWithRange({0, to});
}

namespace {

std::u16string foldCase(std::u16string_view s) {
  // Folding can triple a text; a short buffer is grown to the size asked.
  std::u16string out(s.size() * 2 + 4, u'\0');
  auto fold = [&] {
    UErrorCode err = U_ZERO_ERROR;
    int32_t n = u_strFoldCase(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                              reinterpret_cast<const UChar*>(s.data()), static_cast<int32_t>(s.size()),
                              U_FOLD_CASE_DEFAULT, &err);
    return std::pair(n, err);
  };
  auto [n, err] = fold();
  if (err == U_BUFFER_OVERFLOW_ERROR) {
    out.resize(static_cast<size_t>(n));
    std::tie(n, err) = fold();
  }
  if (U_FAILURE(err)) return std::u16string(s);
  out.resize(static_cast<size_t>(n));
  return out;
}

std::u16string canonicalDecomposition(const std::u16string& s) {
  UErrorCode err = U_ZERO_ERROR;
  const UNormalizer2* nfd = unorm2_getNFDInstance(&err);
  if (U_FAILURE(err)) return s;
  std::u16string out(s.size() * 3 + 4, u'\0');
  int32_t n = unorm2_normalize(nfd, reinterpret_cast<const UChar*>(s.data()), static_cast<int32_t>(s.size()),
                               reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &err);
  if (err == U_BUFFER_OVERFLOW_ERROR) {
    err = U_ZERO_ERROR;
    out.resize(static_cast<size_t>(n));
    n = unorm2_normalize(nfd, reinterpret_cast<const UChar*>(s.data()), static_cast<int32_t>(s.size()),
                         reinterpret_cast<UChar*>(out.data()), n, &err);
  }
  if (U_FAILURE(err)) return s;
  out.resize(static_cast<size_t>(n));
  return out;
}

int compareNumeric(std::u16string_view a, std::u16string_view b, bool fold) {
  size_t i = 0, j = 0;
  auto isDigit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
  while (i < a.size() && j < b.size()) {
    if (isDigit(a[i]) && isDigit(b[j])) {
      size_t si = i, sj = j;
      while (si < a.size() && a[si] == u'0') ++si;
      while (sj < b.size() && b[sj] == u'0') ++sj;
      size_t ei = si, ej = sj;
      while (ei < a.size() && isDigit(a[ei])) ++ei;
      while (ej < b.size() && isDigit(b[ej])) ++ej;
      if (ei - si != ej - sj) return ei - si < ej - sj ? -1 : 1;
      int c = a.substr(si, ei - si).compare(b.substr(sj, ej - sj));
      if (c) return c < 0 ? -1 : 1;
      i = ei, j = ej;
      continue;
    }
    char16_t ca = a[i], cb = b[j];
    if (fold) {
      ca = static_cast<char16_t>(u_foldCase(ca, U_FOLD_CASE_DEFAULT));
      cb = static_cast<char16_t>(u_foldCase(cb, U_FOLD_CASE_DEFAULT));
    }
    if (ca != cb) return ca < cb ? -1 : 1;
    ++i, ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

}  // namespace

ComparisonResult String::compare(const String& other, unsigned options) const {
  int c;
  bool fold = options & CaseInsensitiveSearch;
  const bool ascii = isAscii(text_) && isAscii(other.text_);
  if (ascii && !fold && !(options & NumericSearch)) {
    c = text_.compare(other.text_);
  } else {
    // Unless the comparison is literal, canonically equivalent texts ("é"
    // and "e" + combining acute) compare alike.
    std::u16string a = utf16(), b = other.utf16();
    if (!ascii && !(options & LiteralSearch)) {
      a = canonicalDecomposition(a);
      b = canonicalDecomposition(b);
    }
    if (options & NumericSearch) {
      c = compareNumeric(a, b, fold);
    } else if (fold) {
      c = foldCase(a).compare(foldCase(b));
    } else {
      c = a.compare(b);
    }
  }
  return c < 0 ? ComparisonResult::Ascending : (c > 0 ? ComparisonResult::Descending : ComparisonResult::Same);
}

Range String::rangeOfString(std::string_view other, unsigned options) const {
  return rangeOfString(other, options, {0, length()});
}

Range String::rangeOfString(std::string_view needle, unsigned options, Range within) const {
  const size_t len = length();
  if (needle.empty() || within.location > len || within.length > len - within.location) return {NotFound, 0};
  std::u16string hay = utf16().substr(within.location, within.length);
  std::u16string pin = utf8ToUTF16(needle);
  if (options & CaseInsensitiveSearch) {
    // Simple per-unit folding keeps indexes aligned with the original.
    for (auto& c : hay) c = static_cast<char16_t>(u_foldCase(c, U_FOLD_CASE_DEFAULT));
    for (auto& c : pin) c = static_cast<char16_t>(u_foldCase(c, U_FOLD_CASE_DEFAULT));
  }
  size_t at;
  if (options & AnchoredSearch) {
    if (options & BackwardsSearch) {
      at = hay.size() >= pin.size() && hay.compare(hay.size() - pin.size(), pin.size(), pin) == 0
               ? hay.size() - pin.size()
               : std::u16string::npos;
    } else {
      at = hay.compare(0, pin.size(), pin) == 0 ? 0 : std::u16string::npos;
    }
  } else {
    at = (options & BackwardsSearch) ? hay.rfind(pin) : hay.find(pin);
  }
  if (at == std::u16string::npos) return {NotFound, 0};
  return {within.location + at, pin.size()};
}

Range String::rangeOfCharacterFromSet(const CharacterSet& set, unsigned options) const {
  std::u16string u = utf16();
  std::vector<std::pair<size_t, size_t>> hits;  // (index, units)
  for (size_t i = 0; i < u.size();) {
    char32_t c = u[i];
    size_t n = 1;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < u.size() && u[i + 1] >= 0xDC00 && u[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (u[i + 1] - 0xDC00);
      n = 2;
    }
    if (set.contains(c)) {
      if (!(options & BackwardsSearch)) return {i, n};
      hits.push_back({i, n});
    }
    i += n;
  }
  if (hits.empty()) return {NotFound, 0};
  return {hits.back().first, hits.back().second};
}

Ref<String> String::stringByAppendingString(std::string_view other) const {
  return make(text_ + std::string(other));
}

Ref<String> String::stringByReplacingOccurrencesOfString(std::string_view target,
                                                         std::string_view replacement) const {
  if (target.empty()) return make(text_);
  std::string out;
  out.reserve(text_.size());
  size_t pos = 0;
  for (size_t at; (at = text_.find(target, pos)) != std::string::npos; pos = at + target.size()) {
    out.append(text_, pos, at - pos);
    out.append(replacement);
  }
  out.append(text_, pos);
  return make(out);
}

Ref<String> String::stringByReplacingCharactersInRange(Range r, std::string_view replacement) const {
  if (r.location > length() || r.length > length() - r.location) {
    raise(RangeException, "-[__NSCFString stringByReplacingCharactersInRange:withString:]: Range out of bounds");
  }
  return make(replacingUnits(text_, length() == text_.size(), r, replacement));
}

Ref<String> String::stringByTrimmingCharactersInSet(const CharacterSet& set) const {
  size_t begin = 0, end = text_.size();
  size_t pos = 0;
  while (pos < text_.size()) {
    size_t start = pos;
    if (!set.contains(decodeCodePoint(text_, pos))) {
      begin = start;
      break;
    }
    begin = pos;
  }
  if (begin >= text_.size()) return make("");
  // Walk forward remembering the end of the last character outside the set.
  pos = begin;
  end = begin;
  while (pos < text_.size()) {
    char32_t c = decodeCodePoint(text_, pos);
    if (!set.contains(c)) end = pos;
  }
  return make(std::string_view(text_).substr(begin, end - begin));
}

Ref<String> String::stringByPaddingToLength(size_t newLength, std::string_view pad, size_t padIndex) const {
  std::u16string u = utf16();
  if (newLength <= u.size()) return fromUTF16(std::u16string_view(u).substr(0, newLength));
  std::u16string p = utf8ToUTF16(pad);
  if (p.empty()) raise(InvalidArgumentException, "-[NSString stringByPaddingToLength:]: empty pad string");
  for (size_t i = padIndex % p.size(); u.size() < newLength; i = (i + 1) % p.size()) u += p[i];
  return fromUTF16(u);
}

Ref<Array> String::componentsSeparatedByString(std::string_view sep) const {
  std::vector<Id> parts;
  if (sep.empty()) {
    parts.push_back(make(text_));
    return Array::make(std::move(parts));
  }
  size_t pos = 0;
  for (size_t at; (at = text_.find(sep, pos)) != std::string::npos; pos = at + sep.size()) {
    parts.push_back(make(std::string_view(text_).substr(pos, at - pos)));
  }
  parts.push_back(make(std::string_view(text_).substr(pos)));
  return Array::make(std::move(parts));
}

Ref<Array> String::componentsSeparatedByCharactersInSet(const CharacterSet& set) const {
  std::vector<Id> parts;
  size_t pos = 0, start = 0;
  while (pos < text_.size()) {
    size_t here = pos;
    if (set.contains(decodeCodePoint(text_, pos))) {
      parts.push_back(make(std::string_view(text_).substr(start, here - start)));
      start = pos;
    }
  }
  parts.push_back(make(std::string_view(text_).substr(start)));
  return Array::make(std::move(parts));
}

namespace {

enum class CaseMap { Lower, Upper, Title };

std::string mapCase(const std::string& text, CaseMap how) {
  std::u16string in = utf8ToUTF16(text);
  std::u16string out(in.size() * 3 + 4, u'\0');
  UErrorCode err = U_ZERO_ERROR;
  int32_t n = 0;
  auto* dst = reinterpret_cast<UChar*>(out.data());
  auto cap = static_cast<int32_t>(out.size());
  auto* src = reinterpret_cast<const UChar*>(in.data());
  auto len = static_cast<int32_t>(in.size());
  switch (how) {
    case CaseMap::Lower: n = u_strToLower(dst, cap, src, len, "", &err); break;
    case CaseMap::Upper: n = u_strToUpper(dst, cap, src, len, "", &err); break;
    case CaseMap::Title: n = u_strToTitle(dst, cap, src, len, nullptr, "", &err); break;
  }
  if (U_FAILURE(err)) return text;
  out.resize(n);
  return utf16ToUTF8(out);
}

}  // namespace

Ref<String> String::lowercaseString() const { return make(mapCase(text_, CaseMap::Lower)); }
Ref<String> String::uppercaseString() const { return make(mapCase(text_, CaseMap::Upper)); }
Ref<String> String::capitalizedString() const { return make(mapCase(text_, CaseMap::Title)); }

namespace {

// The white space the platform's numeric scanner passes over: control
// characters and the space, DEL through the no-break space, the spaces from
// U+2000 to U+200B and the ideographic space.
bool isScannerSpace(char32_t c) {
  return c < 0x21 || (c > 0x7E && c < 0xA1) || (c >= 0x2000 && c <= 0x200B) || c == 0x3000;
}

// The offset of the first character after leading white space.
size_t skipSpace(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    size_t next = i;
    char32_t c = decodeCodePoint(s, next);
    // A byte that is not UTF-8 is not space, whatever it decodes as.
    if (!isScannerSpace(c) || (c > 0x7F && next - i == 1)) break;
    i = next;
  }
  return i;
}

// Leading white space, optional sign, digits; saturating.
long long scanInteger(const std::string& s, long long min, long long max) {
  size_t i = skipSpace(s);
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  long long value = 0;
  bool saturated = false;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    int d = s[i] - '0';
    if (saturated) continue;
    if (!negative) {
      if (value > (max - d) / 10) saturated = true, value = max;
      else value = value * 10 + d;
    } else {
      if (value < (min + d) / 10) saturated = true, value = min;
      else value = value * 10 - d;
    }
  }
  return value;
}

}  // namespace

int String::intValue() const { return static_cast<int>(scanInteger(text_, INT_MIN, INT_MAX)); }
long String::integerValue() const { return static_cast<long>(scanInteger(text_, LONG_MIN, LONG_MAX)); }
long long String::longLongValue() const { return scanInteger(text_, LLONG_MIN, LLONG_MAX); }

double String::doubleValue() const {
  size_t i = skipSpace(text_);
  // Only decimal notation: sign, digits, point, digits, exponent.
  size_t j = i;
  if (j < text_.size() && (text_[j] == '+' || text_[j] == '-')) ++j;
  size_t digits = 0;
  while (j < text_.size() && text_[j] >= '0' && text_[j] <= '9') ++j, ++digits;
  if (j < text_.size() && text_[j] == '.') {
    ++j;
    while (j < text_.size() && text_[j] >= '0' && text_[j] <= '9') ++j, ++digits;
  }
  if (!digits) return 0;
  if (j < text_.size() && (text_[j] == 'e' || text_[j] == 'E')) {
    size_t k = j + 1;
    if (k < text_.size() && (text_[k] == '+' || text_[k] == '-')) ++k;
    if (k < text_.size() && text_[k] >= '0' && text_[k] <= '9') {
      while (k < text_.size() && text_[k] >= '0' && text_[k] <= '9') ++k;
      j = k;
    }
  }
  static locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
  std::string number = text_.substr(i, j - i);
  double v = strtod_l(number.c_str(), nullptr, cLocale);
  return v;
}

bool String::boolValue() const {
  size_t i = skipSpace(text_);
  if (i < text_.size() && (text_[i] == '+' || text_[i] == '-')) ++i;
  while (i < text_.size() && text_[i] == '0') ++i;
  if (i >= text_.size()) return false;
  char c = text_[i];
  return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

// ---- Paths ----------------------------------------------------------------

namespace {

std::string_view stripTrailingSlashes(std::string_view p) {
  while (p.size() > 1 && p.back() == '/') p.remove_suffix(1);
  return p;
}

}  // namespace

Ref<String> String::lastPathComponent() const {
  std::string_view p = stripTrailingSlashes(text_);
  if (p == "/") return make("/");
  size_t slash = p.rfind('/');
  return make(slash == std::string_view::npos ? p : p.substr(slash + 1));
}

Ref<String> String::pathExtension() const {
  std::string last = lastPathComponent()->utf8();
  size_t dot = last.rfind('.');
  if (dot == std::string::npos || dot == 0) return make("");
  return make(last.substr(dot + 1));
}

Ref<String> String::stringByDeletingLastPathComponent() const {
  std::string_view p = stripTrailingSlashes(text_);
  size_t slash = p.rfind('/');
  if (slash == std::string_view::npos) return make("");
  if (slash == 0) return make(p.size() > 1 ? "/" : "/");
  return make(stripTrailingSlashes(p.substr(0, slash)));
}

Ref<String> String::stringByDeletingPathExtension() const {
  std::string_view p = stripTrailingSlashes(text_);
  size_t slash = p.rfind('/');
  size_t dot = p.rfind('.');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot <= slash + 1) || dot == 0) {
    return make(p);
  }
  return make(p.substr(0, dot));
}

Ref<String> String::stringByAppendingPathComponent(std::string_view component) const {
  std::string out = text_;
  if (!out.empty() && out.back() != '/' && !component.empty()) out += '/';
  while (!out.empty() && out.back() == '/' && !component.empty() && component.front() == '/') {
    component.remove_prefix(1);
  }
  out += component;
  if (out.size() > 1) out = std::string(stripTrailingSlashes(out));
  return make(out);
}

Ref<String> String::stringByAppendingPathExtension(std::string_view ext) const {
  return make(std::string(stripTrailingSlashes(text_)) + "." + std::string(ext));
}

Ref<Array> String::pathComponents() const {
  std::vector<Id> parts;
  if (text_.empty()) return Array::make();
  if (text_[0] == '/') parts.push_back(make("/"));
  size_t pos = 0;
  while (pos < text_.size()) {
    size_t slash = text_.find('/', pos);
    if (slash == std::string::npos) slash = text_.size();
    if (slash > pos) parts.push_back(make(std::string_view(text_).substr(pos, slash - pos)));
    pos = slash + 1;
  }
  if (text_.size() > 1 && text_.back() == '/') parts.push_back(make("/"));
  return Array::make(std::move(parts));
}

// ---- Object ---------------------------------------------------------------

bool String::isEqual(const Object& other) const {
  auto* s = dynamic_cast<const String*>(&other);
  return s && s->text_ == text_;
}

size_t String::hashOf(std::string_view utf8) { return std::hash<std::string_view>()(utf8); }

Id String::copy() const { return self(); }

Id String::mutableCopy() const { return MutableString::make(text_); }

// ---- MutableString --------------------------------------------------------

Id MutableString::copy() const { return String::make(text_); }

void MutableString::appendString(std::string_view s) {
  text_ += s;
  invalidate();
}

void MutableString::setString(std::string_view s) {
  text_ = s;
  invalidate();
}

void MutableString::insertString(std::string_view s, size_t at) { replaceCharactersInRange({at, 0}, s); }

void MutableString::deleteCharactersInRange(Range r) { replaceCharactersInRange(r, ""); }

void MutableString::replaceCharactersInRange(Range r, std::string_view s) {
  size_t len = length();
  if (r.location > len || r.length > len - r.location) {
    raise(RangeException, "-[__NSCFString replaceCharactersInRange:withString:]: Range or index out of bounds");
  }
  text_ = replacingUnits(text_, len == text_.size(), r, s);
  invalidate();
}

size_t MutableString::replaceOccurrencesOfString(std::string_view target, std::string_view replacement) {
  if (target.empty()) return 0;
  size_t count = 0;
  std::string out;
  size_t pos = 0;
  for (size_t at; (at = text_.find(target, pos)) != std::string::npos; pos = at + target.size()) {
    out.append(text_, pos, at - pos);
    out.append(replacement);
    ++count;
  }
  out.append(text_, pos);
  text_ = std::move(out);
  invalidate();
  return count;
}

}  // namespace kit
