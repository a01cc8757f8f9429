// Composed character sequences: the user-perceived characters of a string
// (extended grapheme clusters: a base with its combining marks, a surrogate
// pair, an emoji sequence, CR LF), found with ICU's character break
// iterator. Indexes and ranges are in UTF-16 units.
#pragma once

#include <functional>

#include "kit/foundation/string.h"

namespace kit {

// The range of the composed character sequence that holds the unit at
// `index`. Raises the range exception when `index` is not inside the string.
Range rangeOfComposedCharacterSequenceAtIndex(const String& text, size_t index);

// `range` widened at both ends to whole composed character sequences. An
// empty range gives an empty range at the start of the sequence that holds
// its location. Raises the range exception when `range` exceeds the string.
Range rangeOfComposedCharacterSequencesForRange(const String& text, Range range);

// Calls `block` for every composed character sequence that starts inside
// `range` (which is first widened as above), in order, with the sequence's
// text and range; setting *stop ends the enumeration.
void enumerateComposedCharacterSequences(const String& text, Range range,
                                         const std::function<void(const Ref<String>& sequence, Range sequenceRange,
                                                                  bool* stop)>& block);

// The number of composed character sequences in the string.
size_t composedCharacterCount(const String& text);

}  // namespace kit
