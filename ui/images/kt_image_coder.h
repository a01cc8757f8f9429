// The image-coding operations every image has (a category on kit::Image):
// decoding for display, and the flag that says an image needs no more of
// it. Images enter the memory cache decoded, so that drawing them later
// costs no decompression.
#pragma once

#include "kit/graphics/image.h"

// The image itself when it is already flagged decoded or has no bitmap;
// otherwise a new image of its decoded-for-display copy with the same scale
// and orientation, flagged decoded. When the copy cannot be made the image
// itself is returned.
kit::Ref<kit::Image> KT_imageByDecoded(const kit::Ref<kit::Image>& image);

// True for an animated image holding two or more images and for a sprite
// sheet; otherwise the
// stored flag (false when never set).
bool KT_isDecodedForDisplay(const kit::Image& image);
void setKT_isDecodedForDisplay(kit::Image& image, bool decoded);
