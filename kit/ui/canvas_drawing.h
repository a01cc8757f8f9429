// Drawing helpers over a canvas shared by rendering and the views that draw
// their own content: images placed by a content mode, template images
// filled with a tint, rounded rectangles.
#pragma once

#include "kit/graphics/bitmap.h"
#include "kit/graphics/color.h"
#include "kit/graphics/geometry.h"
#include "kit/ui/canvas.h"
#include "kit/ui/ui_types.h"

namespace kit {

// Where content of `size` goes in `bounds` under a content mode.
Rect rectForContentMode(ContentMode mode, Size size, const Rect& bounds);
// The content mode that a layer contents gravity names.
ContentMode contentModeForGravity(const std::string& gravity);

// Draws a bitmap stretched into `dest` (in the canvas's space).
void drawBitmap(Canvas& canvas, const Bitmap& bitmap, const Rect& dest, double alpha = 1,
                const Rect& sourceUnitRect = {0, 0, 1, 1});
// Fills `color` through the bitmap's alpha, stretched into `dest`.
void drawTemplate(Canvas& canvas, const Bitmap& bitmap, const Rect& dest, const Color& color, double alpha = 1);
// Adds a rounded rectangle to the canvas's path.
void addRoundedRect(Canvas& canvas, const Rect& rect, double radius);
void setSourceColor(Canvas& canvas, const Color& color, double alpha = 1);

}  // namespace kit
