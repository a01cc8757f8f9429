// The straightforward way of drawing a view tree, kept as the reference that
// the renderer's shortcuts are held against in tests: every translucent or
// masked layer is composited through a group the size of the whole picture,
// no opacity is folded into a paint and every content is drawn anew. Its
// pictures match render()'s within rounding; it is much slower.
#pragma once

#include "kit/graphics/bitmap.h"

namespace kit {

class View;

Ref<Bitmap> renderReference(View& view, double scale = 0);

}  // namespace kit
