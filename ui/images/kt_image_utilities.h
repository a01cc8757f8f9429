// Bitmap functions shared by the image codec, the animated images and the
// web-image loader: the one device RGB colour space, decoded copies (pixels
// drawn once into the standard layout so that showing them costs nothing),
// affine-transformed and upright copies, and conversion into a pixel buffer
// of a requested layout.
//
// The standard layout of every bitmap made here: 8 bits per component,
// device RGB, 32-bit little-endian with premultiplied alpha first; opaque
// pictures use none-skip-first instead. A nil image argument gives nil.
#pragma once

#include "kit/graphics/affine_transform.h"
#include "kit/graphics/bitmap.h"
#include "kit/graphics/color_space.h"
#include "kit/graphics/image.h"
#include "kit/graphics/pixel_buffer.h"
#include "kit/graphics/pixel_format.h"

// The device RGB colour space, made once per process and shared.
const kit::Ref<kit::ColorSpace>& KTDeviceRGBColorSpace();

// The bitmap info of the standard layout, with or without alpha.
kit::BitmapInfo KTStandardBitmapInfo(bool hasAlpha);

// A copy of the image. decodeForDisplay draws it into a new bitmap of the
// standard layout (premultiplied-first when the image's alpha info carries
// alpha, none-skip-first otherwise); without it the pixel bytes are copied
// in the image's own layout. Nil for a zero-size image or a failed copy.
kit::Ref<kit::Bitmap> KTDecodedImageCopy(const kit::Ref<kit::Bitmap>& image, bool decodeForDisplay);

// The image mapped through `transform` (lower-left-origin pixel space) into
// a destination of the given size (rounded to whole pixels), uncovered
// pixels transparent, in the layout of `bitmapInfo`. Nil for a zero or
// oversized destination or a layout that cannot be made.
kit::Ref<kit::Bitmap> KTTransformedImageCopy(const kit::Ref<kit::Bitmap>& image, const kit::AffineTransform& transform,
                                            double destWidth, double destHeight, kit::BitmapInfo bitmapInfo);

// The image's pixels as 8-bit, 32-bit-per-pixel device RGB in the layout of
// `bitmapInfo` (alpha infos premultiplied-last to none-skip-first; byte
// orders default, 32-bit big and 32-bit little). False, with the buffer
// left empty, for any other layout or when the pixels cannot be made.
bool KTImageToBitmapBuffer(const kit::Ref<kit::Bitmap>& image, kit::PixelBuffer& buffer, kit::BitmapInfo bitmapInfo);

// The image turned upright for its orientation, in the layout of
// `bitmapInfo`. Orientation up, or any value outside the seven others,
// gives the image itself.
kit::Ref<kit::Bitmap> KTOrientedImageCopy(const kit::Ref<kit::Bitmap>& image, kit::ImageOrientation orientation,
                                         kit::BitmapInfo bitmapInfo);
