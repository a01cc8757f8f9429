// A window's pixels as the X server shows them, for tests that compare what
// reached the display with kit's own drawing.
#pragma once

#include "kit/graphics/bitmap.h"

// Xlib's display, declared as Xlib declares it, so that this header does not
// bring Xlib's macros into the code that includes it.
typedef struct _XDisplay Display;

namespace kit::test {

// The top-left `width` x `height` pixels of `window`, opaque RGBA; nil when
// the server gives no image.
Ref<Bitmap> screenshot(Display* display, unsigned long window, int width, int height);

}  // namespace kit::test
