// Rendering the view and layer trees to pictures, so that a person, a test
// or the demo can see what the player would see: backgrounds, borders,
// rounded corners, clipping, images by content mode, text, shape, gradient
// and replicator layers, opacity, transforms and masks, with the running
// animations shown at the clock's time.
//
//   kit::writePNG(*window, "build/artifacts/notice.png");
//   auto picture = kit::render(*card);        // a Bitmap at the screen scale
//   EXPECT_EQ(picture->pixelAt(20, 20), (kit::Pixel{255, 0, 0, 255}));
#pragma once

#include <string>

#include "kit/graphics/bitmap.h"
#include "kit/ui/layer.h"

namespace kit {

class View;

// Renders a view and its subviews into a bitmap of its bounds size at
// `scale` pixels per point (0: the screen's). A window is drawn over black,
// like a screen; any other view over transparent pixels. Pending layout is
// done first.
Ref<Bitmap> render(View& view, double scale = 0);
// Renders every visible window, lowest level first, into a screen-sized
// picture.
Ref<Bitmap> renderScreen(double scale = 0);
// Renders a layer tree of the given size (the layer's bounds space).
Ref<Bitmap> renderLayer(Layer& layer, double scale = 1);

// Writes a picture as a PNG file (making the parent folders); false with a
// reason in `error` when it cannot be written.
bool writePNG(const Bitmap& bitmap, const std::string& path, std::string* error = nullptr);
bool writePNG(View& view, const std::string& path, double scale = 0, std::string* error = nullptr);

}  // namespace kit
