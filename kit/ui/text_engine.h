// The text engine under labels, text measurement and text drawing: Pango
// over Cairo, with the fonts of kit's own fontconfig file. Measuring and
// drawing use the same layout, so what is measured is what is drawn. One
// engine per process, used under its lock (text is laid out on the main
// thread, but measurement may come from anywhere).
#pragma once

#include <mutex>

#include "kit/foundation/no_destructor.h"
#include "kit/graphics/geometry.h"
#include "kit/ui/attributed_string.h"
#include "kit/ui/ui_types.h"

struct _cairo;

namespace kit {

struct TextLayoutRequest {
  const AttributedString* text = nullptr;
  TextAttributes defaults;   // font and colour where the text sets none
  double width = 0;          // wrapping width; 0 or less: no wrapping
  int maxLines = 0;          // 0: all lines
  LineBreakMode lineBreakMode = LineBreakMode::ByWordWrapping;
  TextAlignment alignment = TextAlignment::Natural;
};

struct TextMeasurement {
  Size size;        // the logical box of the lines shown
  int lineCount = 0;
  double firstBaseline = 0;
  bool truncated = false;
};

class TextEngine {
 public:
  static TextEngine& shared();

  TextMeasurement measure(const TextLayoutRequest& request);
  // Draws the laid-out text with its box's top-left corner at `origin`;
  // `boxWidth` places aligned lines (0: the request's width or the text's).
  void draw(_cairo* cr, const TextLayoutRequest& request, Point origin, double boxWidth = 0);

  // The UTF-16 index of the character boundary nearest to a point of the
  // laid-out text (its box's top-left corner at 0, 0): a point past the
  // end of a line gives the line's end, a point below the text its end.
  size_t characterIndexAtPoint(const TextLayoutRequest& request, Point point);
  // The box of the character at a UTF-16 index, in the same space.
  Rect characterRect(const TextLayoutRequest& request, size_t utf16Index);

  struct FontMetrics {
    double ascent = 0, descent = 0, height = 0;
  };
  FontMetrics metrics(const Font& font);

  // The family every font is drawn with.
  static const char* family();

 private:
  friend class NoDestructor<TextEngine>;
  TextEngine();
  struct Impl;
  Impl* impl_;
  std::mutex mutex_;
};

}  // namespace kit
