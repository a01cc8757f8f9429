// Web-image setters and the common slot algorithm. See kt_web_image_setter.h.
#include "ui/images/kt_web_image_setter.h"

#include "kit/dispatch/runloop.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/string.h"
#include "kit/ui/animation.h"
#include "kit/ui/layer.h"

KIT_DEFINE_CLASS(_KTWebImageSetter, kit::Object) {}
KIT_DEFINE_CLASS(_KTWebImageSetterDicForButton, kit::Object) {}

_KTWebImageSetter::~_KTWebImageSetter() {
  sentinel_.fetch_add(1);
  if (operation_) operation_->cancel();
}

kit::Ref<kit::URL> _KTWebImageSetter::imageURL() const {
  std::lock_guard lock(lock_);
  return imageURL_;
}

int32_t _KTWebImageSetter::cancelWithNewURL(const kit::Ref<kit::URL>& imageURL) {
  kit::Ref<KTWebImageOperation> cancelled;
  int32_t generation;
  {
    std::lock_guard lock(lock_);
    cancelled = std::move(operation_);
    operation_ = nullptr;
    imageURL_ = imageURL;
    generation = sentinel_.fetch_add(1) + 1;
  }
  // Outside the lock: the operation may report on this thread.
  if (cancelled) cancelled->cancel();
  return generation;
}

int32_t _KTWebImageSetter::setOperationWithSentinel(int32_t sentinel, const kit::Ref<kit::URL>& url,
                                                    KTWebImageOptions options,
                                                    const kit::Ref<KTWebImageManager>& manager,
                                                    KTWebImageProgressBlock progress, KTWebImageTransformBlock transform,
                                                    KTWebImageCompletionBlock completion,
                                                    const std::function<void(int32_t)>& reserved) {
  kit::Ref<KTWebImageOperation> previous;
  int32_t generation;
  bool superseded = false;
  {
    std::lock_guard lock(lock_);
    if (sentinel != sentinel_.load()) {
      superseded = true;
      generation = sentinel_.load();
    } else {
      previous = std::move(operation_);
      operation_ = nullptr;
      generation = sentinel_.fetch_add(1) + 1;
    }
  }
  if (superseded) {
    if (completion) completion(nullptr, url, KTWebImageSourceNone, KTWebImageStageCancelled, nullptr);
    return generation;
  }
  if (previous) previous->cancel();
  if (reserved) reserved(generation);

  auto operation =
      manager ? manager->requestImageWithURL(url, options, std::move(progress), std::move(transform), completion)
              : nullptr;
  if (!operation && completion) {
    completion(nullptr, url, KTWebImageSourceNone, KTWebImageStageFinished,
               kit::Error::make(KTWebImageErrorDomain, -1, "KTWebImageOperation create failed."));
  }
  bool keep = false;
  {
    std::lock_guard lock(lock_);
    if (sentinel_.load() == generation) {
      operation_ = operation;
      keep = true;
    }
  }
  if (!keep && operation) operation->cancel();
  return generation;
}

kit::Queue& _KTWebImageSetter::setterQueue() {
  static const kit::NoDestructor<kit::Ref<kit::Queue>> queue(kit::Queue::serial("KTWebImageSetter.queue"));
  return **queue;
}

kit::Ref<_KTWebImageSetter> _KTWebImageSetterDicForButton::setterForState(unsigned state) const {
  std::lock_guard lock(lock_);
  auto it = dic_.find(state);
  return it == dic_.end() ? nullptr : it->second;
}

kit::Ref<_KTWebImageSetter> _KTWebImageSetterDicForButton::lazySetterForState(unsigned state) {
  std::lock_guard lock(lock_);
  auto& setter = dic_[state];
  if (!setter) setter = std::make_shared<_KTWebImageSetter>();
  return setter;
}

namespace {

kit::Ref<kit::URL> addressOf(const kit::Id& imageURL) {
  if (auto url = kit::as<kit::URL>(imageURL)) return url;
  if (auto text = kit::as<kit::String>(imageURL)) return kit::URL::URLWithString(text->utf8());
  return nullptr;
}

void fade(kit::Layer& layer, KTWebImageStage stage) {
  auto transition = kit::Transition::make();
  transition->setDuration(stage == KTWebImageStageFinished ? 0.2 : 0.4);
  transition->setTimingFunction(kit::TimingEaseInEaseOut);
  transition->setType(kit::TransitionFade);
  layer.addAnimation(transition, KTWebImageFadeAnimationKey);
}

void onMainThread(const std::function<void()>& work) {
  if (kit::RunLoop::isMainThread()) {
    work();
  } else {
    kit::Queue::main().sync(work);
  }
}

}  // namespace

void KTWebImageSetImageForSlot(const KTWebImageSlot& slot, const kit::Id& imageURL,
                               const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                               kit::Ref<KTWebImageManager> manager, KTWebImageProgressBlock progress,
                               KTWebImageTransformBlock transform, KTWebImageCompletionBlock completion) {
  auto url = addressOf(imageURL);
  if (!manager) manager = KTWebImageManager::sharedManager();
  kit::Ref<_KTWebImageSetter> setter;
  onMainThread([&] { setter = slot.setter(); });
  const int32_t sentinel = setter->cancelWithNewURL(url);

  onMainThread([&] {
    const bool fades = (options & KTWebImageOptionFade) && !(options & KTWebImageOptionManualSet);
    if (fades) {
      if (kit::Layer* layer = slot.fadeLayer()) layer->removeAnimationForKey(KTWebImageFadeAnimationKey);
    }
    if (!url) {
      if (!(options & KTWebImageOptionNoPlaceholder)) slot.put(placeholder);
      return;
    }
    auto cache = manager->cache();
    if (cache && !(options & (KTWebImageOptionUseURLCache | KTWebImageOptionRefreshCache))) {
      if (auto image = cache->getImageForKey(manager->cacheKeyForURL(url), KTImageCacheTypeMemory)) {
        if (!(options & KTWebImageOptionManualSet)) slot.put(image);
        if (completion) completion(image, url, KTWebImageSourceMemoryQuick, KTWebImageStageFinished, nullptr);
        return;
      }
    }
    if (!(options & KTWebImageOptionNoPlaceholder)) slot.put(placeholder);

    // The generation the results belong to, known before any result can come.
    auto generation = std::make_shared<std::atomic<int32_t>>(sentinel);
    kit::Weak<_KTWebImageSetter> weakSetter = setter;
    KTWebImageProgressBlock onMainProgress;
    if (progress) {
      onMainProgress = [progress](int64_t received, int64_t expected) {
        kit::Queue::main().async([progress, received, expected] { progress(received, expected); });
      };
    }
    KTWebImageCompletionBlock slotCompletion = [slot, options, completion, generation, weakSetter](
                                                   const kit::Ref<kit::Image>& image, const kit::Ref<kit::URL>& url,
                                                   KTWebImageSource from, KTWebImageStage stage,
                                                   const kit::Ref<kit::Error>& error) {
      const bool putImage = image && stage != KTWebImageStageCancelled && !(options & KTWebImageOptionManualSet);
      kit::Queue::main().async([=] {
        auto setter = weakSetter.lock();
        const bool superseded = setter && setter->sentinel() != generation->load();
        if (putImage && slot.owner.lock() && !superseded) {
          if (options & KTWebImageOptionFade) {
            if (kit::Layer* layer = slot.fadeLayer()) fade(*layer, stage);
          }
          slot.put(image);
        }
        if (!completion) return;
        if (superseded) {
          completion(nullptr, url, KTWebImageSourceNone, KTWebImageStageCancelled, nullptr);
        } else {
          completion(image, url, from, stage, error);
        }
      });
    };
    _KTWebImageSetter::setterQueue().async([setter, sentinel, url, options, manager, onMainProgress, transform,
                                            slotCompletion, generation] {
      setter->setOperationWithSentinel(sentinel, url, options, manager, onMainProgress, transform, slotCompletion,
                                       [generation](int32_t reserved) { generation->store(reserved); });
    });
  });
}
