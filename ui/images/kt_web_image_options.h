// The web-image vocabulary shared by the manager, its download operation
// and the view categories: option bits, where a delivered image came from,
// the stage of a delivery, and the three block types.
#pragma once

#include <cstdint>
#include <functional>

#include "kit/foundation/error.h"
#include "kit/foundation/url.h"
#include "kit/graphics/image.h"

enum KTWebImageOptions : unsigned long {
  KTWebImageOptionNetworkIndicator = 1 << 0,       // a network download shows the activity indicator
  KTWebImageOptionProgressive = 1 << 1,            // partial images while the bytes arrive
  KTWebImageOptionProgressiveBlur = 1 << 2,        // blurred partial images (progressive JPEG, interlaced PNG)
  KTWebImageOptionUseURLCache = 1 << 3,            // the URL cache may answer; the image cache is not asked first
  KTWebImageOptionAllowInvalidCertificates = 1 << 4,  // any server certificate is accepted
  KTWebImageOptionBackgroundTask = 1 << 5,         // asks for background time while running
  KTWebImageOptionHandleCookies = 1 << 6,          // sends and stores cookies
  KTWebImageOptionRefreshCache = 1 << 7,           // downloads again; stores even undecodable bytes
  KTWebImageOptionSkipDiskCache = 1 << 8,          // no disk level before or after
  KTWebImageOptionNoPlaceholder = 1 << 9,          // views do not show the placeholder
  KTWebImageOptionNoDecode = 1 << 10,              // the image is not decoded for display
  KTWebImageOptionNoAnimation = 1 << 11,           // the first frame only, still
  KTWebImageOptionFade = 1 << 12,                  // views fade the new image in
  KTWebImageOptionManualSet = 1 << 13,             // only the completion gets the image, not the view
  KTWebImageOptionSkipFailedURL = 1 << 14,         // failed addresses fail again at once
};

inline KTWebImageOptions operator|(KTWebImageOptions a, KTWebImageOptions b) {
  return static_cast<KTWebImageOptions>(static_cast<unsigned long>(a) | static_cast<unsigned long>(b));
}

enum KTWebImageSource : long {
  KTWebImageSourceNone = 0,         // no image: a failure or a cancellation
  KTWebImageSourceMemoryQuick = 1,  // memory level, found by a view before any request
  KTWebImageSourceMemory = 2,       // memory level, found by the operation
  KTWebImageSourceDisk = 3,         // disk level
  KTWebImageSourceRemote = 4,       // downloaded
};

enum KTWebImageStage : long {
  KTWebImageStageProgress = -1,   // a partial image; more calls follow
  KTWebImageStageCancelled = 0,   // cancelled or superseded; no image
  KTWebImageStageFinished = 1,    // the last call: an image or an error
};

inline constexpr const char* KTWebImageErrorDomain = "KTWebImageErrorDomain";
inline constexpr const char* KTWebImageDecodeErrorDomain = "KTWebImageDecodeErrorDomain";

// Bytes received and expected (-1 when the server gives no length).
using KTWebImageProgressBlock = std::function<void(int64_t receivedSize, int64_t expectedSize)>;
// Runs on a decode queue; returns the image itself or a new one.
using KTWebImageTransformBlock =
    std::function<kit::Ref<kit::Image>(const kit::Ref<kit::Image>& image, const kit::Ref<kit::URL>& url)>;
using KTWebImageCompletionBlock =
    std::function<void(const kit::Ref<kit::Image>& image, const kit::Ref<kit::URL>& url, KTWebImageSource from,
                       KTWebImageStage stage, const kit::Ref<kit::Error>& error)>;
