// Composed character sequences through ICU's character break iterator.

#include "kit/foundation/composed_characters.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <memory>
#include <string>

#include "kit/foundation/exception.h"

namespace kit {
namespace {

// A character break iterator set to one string's UTF-16 units. The ICU
// iterator is created once per thread and cloned from there, since creating
// it loads the break rules.
class Clusters {
 public:
  explicit Clusters(const String& text) : units_(text.utf16()) {
    thread_local std::unique_ptr<icu::BreakIterator> prototype;
    if (!prototype) {
      UErrorCode status = U_ZERO_ERROR;
      prototype.reset(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
      if (U_FAILURE(status)) prototype.reset();
    }
    if (prototype) iterator_.reset(prototype->clone());
    if (iterator_) {
      ustring_.setTo(false, reinterpret_cast<const UChar*>(units_.data()), static_cast<int32_t>(units_.size()));
      iterator_->setText(ustring_);
    }
  }

  size_t length() const { return units_.size(); }

  // The start of the sequence holding `index` (index < length).
  size_t startOf(size_t index) {
    if (!iterator_) return surrogateStart(index);
    auto i = static_cast<int32_t>(index);
    if (iterator_->isBoundary(i)) return index;
    // ICU moves an offset inside a surrogate pair to the pair's start before
    // searching, so step to the sequence's end first and back from there.
    int32_t end = iterator_->following(i);
    if (end == icu::BreakIterator::DONE) end = static_cast<int32_t>(units_.size());
    return static_cast<size_t>(iterator_->preceding(end));
  }

  // The end of the sequence that starts at `start` (start < length).
  size_t endFrom(size_t start) {
    if (!iterator_) return surrogateEnd(start);
    int32_t next = iterator_->following(static_cast<int32_t>(start));
    return next == icu::BreakIterator::DONE ? units_.size() : static_cast<size_t>(next);
  }

 private:
  // Without ICU data, keep at least surrogate pairs together.
  bool isHigh(size_t i) const { return units_[i] >= 0xD800 && units_[i] <= 0xDBFF; }
  bool isLow(size_t i) const { return units_[i] >= 0xDC00 && units_[i] <= 0xDFFF; }
  size_t surrogateStart(size_t i) const { return i > 0 && isLow(i) && isHigh(i - 1) ? i - 1 : i; }
  size_t surrogateEnd(size_t i) const { return i + 1 < units_.size() && isHigh(i) && isLow(i + 1) ? i + 2 : i + 1; }

  std::u16string units_;
  icu::UnicodeString ustring_;
  std::unique_ptr<icu::BreakIterator> iterator_;
};

}  // namespace

Range rangeOfComposedCharacterSequenceAtIndex(const String& text, size_t index) {
  Clusters clusters(text);
  if (index >= clusters.length()) {
    raise(RangeException, "-[NSString rangeOfComposedCharacterSequenceAtIndex:]: Index " + std::to_string(index) +
                              " out of bounds; string length " + std::to_string(clusters.length()));
  }
  size_t start = clusters.startOf(index);
  return {start, clusters.endFrom(start) - start};
}

namespace {

Range widen(Clusters& clusters, Range range, const char* method) {
  const size_t length = clusters.length();
  if (range.location > length || range.length > length - range.location) {
    raise(RangeException, std::string("-[NSString ") + method + "]: Range {" + std::to_string(range.location) +
                              ", " + std::to_string(range.length) + "} out of bounds; string length " +
                              std::to_string(length));
  }
  if (range.location == length) return {length, 0};
  size_t start = clusters.startOf(range.location);
  if (range.length == 0) return {start, 0};
  size_t lastStart = clusters.startOf(range.end() - 1);
  return {start, clusters.endFrom(lastStart) - start};
}

}  // namespace

Range rangeOfComposedCharacterSequencesForRange(const String& text, Range range) {
  Clusters clusters(text);
  return widen(clusters, range, "rangeOfComposedCharacterSequencesForRange:");
}

void enumerateComposedCharacterSequences(
    const String& text, Range range,
    const std::function<void(const Ref<String>& sequence, Range sequenceRange, bool* stop)>& block) {
  Clusters clusters(text);
  Range whole = widen(clusters, range, "enumerateSubstringsInRange:options:usingBlock:");
  std::u16string units = text.utf16();
  bool stop = false;
  for (size_t start = whole.location; start < whole.end() && !stop;) {
    size_t end = clusters.endFrom(start);
    block(String::fromUTF16(std::u16string_view(units).substr(start, end - start)), {start, end - start}, &stop);
    start = end;
  }
}

size_t composedCharacterCount(const String& text) {
  Clusters clusters(text);
  size_t count = 0;
  for (size_t start = 0; start < clusters.length(); start = clusters.endFrom(start)) ++count;
  return count;
}

}  // namespace kit
