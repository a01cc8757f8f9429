// What the browser engine hands over between WebKit and kit: script values
// as kit values (javascript_values.h), WebKit's script errors as the
// platform's, and Cairo surfaces as kit bitmaps.
#pragma once

#include "kit/graphics/bitmap.h"
#include "kit/web/javascript_values.h"
#include "kit/web/page_engine.h"

typedef struct _GError GError;
typedef struct _cairo_surface cairo_surface_t;

namespace kit {

// The error of a script that failed with `error`.
Ref<Error> scriptErrorFromGError(const GError* error);
// The pixels of `surface` (any kind of Cairo surface), `width` by `height`
// in its units at `scale` device pixels per unit, as a premultiplied ARGB
// bitmap.
Ref<Bitmap> bitmapFromSurface(cairo_surface_t* surface, int width, int height, int scale);

}  // namespace kit
