// Measuring and drawing text outside labels, as the platform's string
// drawing does: the bounding rectangle of text within a size, a single
// line's size, and drawing into the current graphics context.
#pragma once

#include <string_view>

#include "kit/graphics/geometry.h"
#include "kit/ui/attributed_string.h"

namespace kit {

enum StringDrawingOptions : unsigned {
  StringDrawingUsesLineFragmentOrigin = 1u << 0,
  StringDrawingUsesFontLeading = 1u << 1,
  StringDrawingUsesDeviceMetrics = 1u << 3,
  StringDrawingTruncatesLastVisibleLine = 1u << 5,
};

// The box of the text laid out within `size`. With the line-fragment-origin
// option the text wraps at size.width and the box starts at (0, 0);
// without it the text is one line whose box starts at (0, -ascender), as
// measured from the baseline. Sizes are not rounded.
Rect boundingRectWithSize(const AttributedString& text, Size size, unsigned options);
Rect boundingRectWithSize(std::string_view text, Size size, unsigned options, const TextAttributes& attributes);
// The size of the text on one line.
Size sizeWithAttributes(std::string_view text, const TextAttributes& attributes);

// Draws the text into the current graphics context (kit::currentContext()),
// wrapped within the rectangle. Nothing happens without a context.
void drawText(std::string_view text, const Rect& rect, const TextAttributes& attributes);
void drawText(const AttributedString& text, const Rect& rect);

}  // namespace kit
