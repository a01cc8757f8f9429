// The current graphics context of a thread and image contexts: begin an
// image context of a size in points at a scale, draw into it (its space runs
// top-down from the top-left corner, in points), take the image, end it.
// Contexts nest; each thread has its own stack.
#pragma once

#include "kit/foundation/object.h"
#include "kit/graphics/geometry.h"
#include "kit/graphics/graphics_context.h"

namespace kit {

class Image;

// The screen scale used when a caller passes a scale of 0 (default 2).
double mainScreenScale();
void setMainScreenScale(double scale);

// The context on top of this thread's stack, or nil.
Ref<GraphicsContext> currentContext();
void pushContext(Ref<GraphicsContext> context);
void popContext();

// Begins an image context (scale 0 means the main screen's); false when the
// size is empty or too large, and nothing is pushed then.
bool beginImageContext(Size size, bool opaque, double scale);
// The picture drawn so far, or nil when the current context is not an image
// context.
Ref<Image> imageFromCurrentImageContext();
// Ends the innermost image context (pops the stack).
void endImageContext();

}  // namespace kit
