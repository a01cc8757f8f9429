// The per-slot state of the web-image view categories. Each view slot (an
// image view's image, a button's image for one control state, a layer's
// contents, ...) has one _KTWebImageSetter: the address the slot wants, the
// request running for it, and a generation number (`sentinel`) that every new
// request or cancel moves on, so that a result for an address the slot no
// longer wants is dropped and reported as cancelled.
//
// KTWebImageSetImageForSlot runs the categories' common algorithm for one
// slot: placeholder, quick memory check, then a request on the setter queue
// whose results are put into the slot on the main thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

#include "kit/dispatch/queue.h"
#include "kit/foundation/object.h"
#include "kit/foundation/url.h"
#include "kit/graphics/image.h"
#include "ui/images/kt_web_image_manager.h"
#include "ui/images/kt_web_image_options.h"

namespace kit {
class Layer;
}

class _KTWebImageSetter : public kit::Object {
  KIT_OBJECT(_KTWebImageSetter)

 public:
  _KTWebImageSetter() = default;
  // Moves the generation on and cancels the running request.
  ~_KTWebImageSetter() override;

  kit::Ref<kit::URL> imageURL() const;
  int32_t sentinel() const { return sentinel_.load(); }

  // Starts the request for the generation `sentinel` and returns the
  // generation its results belong to. A generation already superseded gets
  // a Cancelled report and no request. The new generation is reserved (and
  // handed to `reserved`) before the manager is asked, so a result that
  // arrives before the manager returns is already recognised as current.
  int32_t setOperationWithSentinel(int32_t sentinel, const kit::Ref<kit::URL>& url, KTWebImageOptions options,
                                   const kit::Ref<KTWebImageManager>& manager, KTWebImageProgressBlock progress,
                                   KTWebImageTransformBlock transform, KTWebImageCompletionBlock completion,
                                   const std::function<void(int32_t)>& reserved = nullptr);
  int32_t cancel() { return cancelWithNewURL(nullptr); }
  // Cancels the running request, records the address the slot wants now
  // and returns the new generation.
  int32_t cancelWithNewURL(const kit::Ref<kit::URL>& imageURL);

  // The serial queue on which requests are made.
  static kit::Queue& setterQueue();

 private:
  mutable std::mutex lock_;  // guards imageURL_ and operation_
  kit::Ref<kit::URL> imageURL_;
  kit::Ref<KTWebImageOperation> operation_;
  std::atomic<int32_t> sentinel_{0};
};

// A button's setters, one per single control state.
class _KTWebImageSetterDicForButton : public kit::Object {
  KIT_OBJECT(_KTWebImageSetterDicForButton)

 public:
  kit::Ref<_KTWebImageSetter> setterForState(unsigned state) const;
  kit::Ref<_KTWebImageSetter> lazySetterForState(unsigned state);

 private:
  mutable std::mutex lock_;
  std::map<unsigned, kit::Ref<_KTWebImageSetter>> dic_;
};

// How one view slot is reached; every function runs on the main thread.
struct KTWebImageSlot {
  // The view (or layer) that owns the slot; results reach it only while it lives.
  kit::Weak<kit::Object> owner;
  // The slot's setter, made and attached when missing.
  std::function<kit::Ref<_KTWebImageSetter>()> setter;
  std::function<void(const kit::Ref<kit::Image>& image)> put;
  // The layer to fade, or nullptr when the slot is not shown now (a
  // highlighted view's plain image, for example).
  std::function<kit::Layer*()> fadeLayer;
};

inline constexpr const char* KTWebImageFadeAnimationKey = "KTWebImageFade";

// The full setter form every category member forwards to. `imageURL` is an
// address or an address string; a nil manager means the shared one.
void KTWebImageSetImageForSlot(const KTWebImageSlot& slot, const kit::Id& imageURL,
                               const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                               kit::Ref<KTWebImageManager> manager, KTWebImageProgressBlock progress,
                               KTWebImageTransformBlock transform, KTWebImageCompletionBlock completion);
