// Pixel operations over plain pixel buffers, in place of the platform's
// accelerated imaging library: buffers made from bitmaps and back, box
// convolution with edge extension (the blur), 4x4 colour matrices with a
// divisor, premultiply / un-premultiply, channel permutation and format
// conversion, affine warps with a background fill, and reflections.
//
// The "ARGB8888" operations work on any 4-byte-per-pixel layout: they treat
// the four bytes of each pixel in memory order, and only the alpha position
// matters (first byte for ARGB8888, last for RGBA8888). Results are
// written into a destination of the same size; functions return the
// platform's error codes (0 for success).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kit/graphics/affine_transform.h"
#include "kit/graphics/bitmap.h"
#include "kit/graphics/pixel_format.h"

namespace kit {

// An image buffer that owns its bytes: rows of rowBytes, top row first.
struct PixelBuffer {
  std::vector<uint8_t> bytes;
  size_t height = 0;
  size_t width = 0;
  size_t rowBytes = 0;

  uint8_t* row(size_t y) { return bytes.data() + y * rowBytes; }
  const uint8_t* row(size_t y) const { return bytes.data() + y * rowBytes; }
};

// The platform's error codes.
enum PixelError : long {
  PixelNoError = 0,
  PixelRoiLargerThanInputBuffer = -21766,
  PixelInvalidKernelSize = -21767,
  PixelInvalidEdgeStyle = -21768,
  PixelMemoryAllocationError = -21771,
  PixelNullPointerArgument = -21772,
  PixelInvalidParameter = -21773,
  PixelBufferSizeMismatch = -21774,
  PixelInvalidRowBytes = -21777,
  PixelInvalidImageFormat = -21778,
};

// Flags of the platform's imaging calls.
enum PixelFlags : unsigned {
  PixelNoFlags = 0,
  PixelCopyInPlace = 2,
  PixelBackgroundColorFill = 4,
  PixelEdgeExtend = 8,
  PixelDoNotTile = 16,
  PixelHighQualityResampling = 32,
  PixelTruncateKernel = 64,
  PixelGetTempBufferSize = 128,
};

// A zeroed buffer for bitsPerPixel-deep pixels, rows padded to 16 bytes.
long initBuffer(PixelBuffer& buffer, size_t height, size_t width, size_t bitsPerPixel);
// The bitmap's pixels converted to `format` (8-bit layouts only).
long bufferFromBitmap(PixelBuffer& buffer, const Bitmap& bitmap, const PixelFormat& format);
// A bitmap over the buffer's bytes (moved, not copied); nil when the
// format does not match the buffer.
Ref<Bitmap> bitmapFromBuffer(PixelBuffer&& buffer, const PixelFormat& format);
// Converts between any two supported layouts of the same size.
long convertBuffer(const PixelBuffer& source, const PixelFormat& sourceFormat, PixelBuffer& destination,
                   const PixelFormat& destinationFormat);

// Box blur: each channel becomes the rounded mean of the kernel-sized box
// around it. Kernel sides must be odd. PixelEdgeExtend repeats the edge
// pixels; PixelBackgroundColorFill uses `background` (4 bytes) outside.
// With PixelGetTempBufferSize, returns the scratch size needed (> 0).
long boxConvolveARGB8888(const PixelBuffer& source, PixelBuffer& destination, size_t kernelHeight,
                         size_t kernelWidth, const uint8_t* background, unsigned flags);

// out[i] = (sum over j of (in[j] + preBias[j]) * matrix[4*j + i] + postBias[i]) / divisor,
// rounded and clamped to 0..255, channels in memory order. Biases may be null.
long matrixMultiplyARGB8888(const PixelBuffer& source, PixelBuffer& destination, const int16_t matrix[16],
                            int32_t divisor, const int16_t* preBias, const int32_t* postBias, unsigned flags);

long premultiplyARGB8888(const PixelBuffer& source, PixelBuffer& destination);
long unpremultiplyARGB8888(const PixelBuffer& source, PixelBuffer& destination);
long premultiplyRGBA8888(const PixelBuffer& source, PixelBuffer& destination);
long unpremultiplyRGBA8888(const PixelBuffer& source, PixelBuffer& destination);
// destination channel i = source channel map[i].
long permuteChannelsARGB8888(const PixelBuffer& source, PixelBuffer& destination, const uint8_t map[4]);

// Maps source to destination through `transform`, in pixel coordinates
// with the origin at the bottom-left corner and y upwards (as the
// platform's drawing). Samples bilinearly; destination pixels that come
// from outside the source get `background` (4 bytes), or the nearest edge
// pixel with PixelEdgeExtend.
long affineWarpARGB8888(const PixelBuffer& source, PixelBuffer& destination, const AffineTransform& transform,
                        const uint8_t* background, unsigned flags);

long reflectHorizontalARGB8888(const PixelBuffer& source, PixelBuffer& destination);
long reflectVerticalARGB8888(const PixelBuffer& source, PixelBuffer& destination);

}  // namespace kit
