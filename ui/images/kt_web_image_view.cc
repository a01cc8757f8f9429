// The web-image view categories. See kt_web_image_view.h.
#include "ui/images/kt_web_image_view.h"

#include <vector>

#include "ui/images/kt_web_image_setter.h"

namespace {

// The keys under which each slot's setter is attached to its view.
const char kImageSetterKey = 1;
const char kHighlightedImageSetterKey = 2;
const char kButtonImageSettersKey = 3;
const char kButtonBackgroundSettersKey = 4;
const char kLayerSetterKey = 5;
const char kAnnotationSetterKey = 6;

kit::Ref<_KTWebImageSetter> attachedSetter(const kit::Object& owner, const void* key) {
  return kit::as<_KTWebImageSetter>(owner.associated(key));
}

std::function<kit::Ref<_KTWebImageSetter>()> lazySetter(kit::Object& owner, const void* key) {
  kit::Weak<kit::Object> weak = owner.self();
  return [weak, key] {
    auto object = weak.lock();
    if (!object) return std::make_shared<_KTWebImageSetter>();
    auto setter = attachedSetter(*object, key);
    if (!setter) {
      setter = std::make_shared<_KTWebImageSetter>();
      object->setAssociated(key, setter);
    }
    return setter;
  };
}

void cancelSetter(const kit::Object& owner, const void* key) {
  if (auto setter = attachedSetter(owner, key)) setter->cancel();
}

// The image view's two slots.
KTWebImageSlot imageViewSlot(kit::ImageView& view, bool highlighted) {
  kit::Weak<kit::ImageView> weak = view.selfAs<kit::ImageView>();
  KTWebImageSlot slot;
  slot.owner = weak;
  slot.setter = lazySetter(view, highlighted ? &kHighlightedImageSetterKey : &kImageSetterKey);
  slot.put = [weak, highlighted](const kit::Ref<kit::Image>& image) {
    auto v = weak.lock();
    if (!v) return;
    if (highlighted) {
      v->setHighlightedImage(image);
    } else {
      v->setImage(image);
    }
  };
  slot.fadeLayer = [weak, highlighted]() -> kit::Layer* {
    auto v = weak.lock();
    return v && v->isHighlighted() == highlighted ? v->layer().get() : nullptr;
  };
  return slot;
}

// A button's setters for one kind (image or background image).
kit::Ref<_KTWebImageSetterDicForButton> buttonSetters(kit::Button& button, const void* key) {
  auto setters = kit::as<_KTWebImageSetterDicForButton>(button.associated(key));
  if (!setters) {
    setters = std::make_shared<_KTWebImageSetterDicForButton>();
    button.setAssociated(key, setters);
  }
  return setters;
}

KTWebImageSlot buttonSlot(kit::Button& button, unsigned singleState, bool background) {
  kit::Weak<kit::Button> weak = button.selfAs<kit::Button>();
  const void* key = background ? &kButtonBackgroundSettersKey : &kButtonImageSettersKey;
  KTWebImageSlot slot;
  slot.owner = weak;
  slot.setter = [weak, key, singleState] {
    auto b = weak.lock();
    return b ? buttonSetters(*b, key)->lazySetterForState(singleState) : std::make_shared<_KTWebImageSetter>();
  };
  slot.put = [weak, singleState, background](const kit::Ref<kit::Image>& image) {
    auto b = weak.lock();
    if (!b) return;
    if (background) {
      b->setBackgroundImage(image, singleState);
    } else {
      b->setImage(image, singleState);
    }
  };
  slot.fadeLayer = [] { return static_cast<kit::Layer*>(nullptr); };
  return slot;
}

// Highlighted, disabled and selected, each set one on its own; normal when
// none of the low eight bits is set.
std::vector<unsigned> singleStates(unsigned state) {
  if ((state & 0xFF) == 0) return {kit::ControlStateNormal};
  std::vector<unsigned> states;
  for (unsigned single : {unsigned(kit::ControlStateHighlighted), unsigned(kit::ControlStateDisabled),
                          unsigned(kit::ControlStateSelected)}) {
    if (state & single) states.push_back(single);
  }
  return states;
}

unsigned leadingState(unsigned state) {
  for (unsigned single : {unsigned(kit::ControlStateHighlighted), unsigned(kit::ControlStateDisabled),
                          unsigned(kit::ControlStateSelected)}) {
    if (state & single) return single;
  }
  return kit::ControlStateNormal;
}

kit::Ref<kit::URL> buttonURL(const kit::Button& button, unsigned state, const void* key) {
  auto setters = kit::as<_KTWebImageSetterDicForButton>(button.associated(key));
  auto setter = setters ? setters->setterForState(leadingState(state)) : nullptr;
  return setter ? setter->imageURL() : nullptr;
}

void cancelButton(kit::Button& button, unsigned state, const void* key) {
  auto setters = kit::as<_KTWebImageSetterDicForButton>(button.associated(key));
  if (!setters) return;
  for (unsigned single : singleStates(state)) {
    if (auto setter = setters->setterForState(single)) setter->cancel();
  }
}

KTWebImageSlot layerSlot(kit::Layer& layer) {
  kit::Weak<kit::Layer> weak = layer.selfAs<kit::Layer>();
  KTWebImageSlot slot;
  slot.owner = weak;
  slot.setter = lazySetter(layer, &kLayerSetterKey);
  slot.put = [weak](const kit::Ref<kit::Image>& image) {
    if (auto l = weak.lock()) l->setContents(image ? image->bitmap() : nullptr);
  };
  slot.fadeLayer = [weak]() -> kit::Layer* {
    auto l = weak.lock();
    return l ? l.get() : nullptr;
  };
  return slot;
}

KTWebImageSlot annotationSlot(kit::MapAnnotationView& view) {
  kit::Weak<kit::MapAnnotationView> weak = view.selfAs<kit::MapAnnotationView>();
  KTWebImageSlot slot;
  slot.owner = weak;
  slot.setter = lazySetter(view, &kAnnotationSetterKey);
  slot.put = [weak](const kit::Ref<kit::Image>& image) {
    if (auto v = weak.lock()) v->setImage(image);
  };
  slot.fadeLayer = [weak]() -> kit::Layer* {
    auto v = weak.lock();
    return v && !v->isHighlighted() ? v->layer().get() : nullptr;
  };
  return slot;
}

}  // namespace

// ---- Image view, image

kit::Ref<kit::URL> KT_imageURL(const kit::ImageView& view) {
  auto setter = attachedSetter(view, &kImageSetterKey);
  return setter ? setter->imageURL() : nullptr;
}
void setKT_imageURL(kit::ImageView& view, const kit::Id& imageURL) {
  KT_setImageWithURL(view, imageURL, nullptr, KTWebImageOptions{}, nullptr, nullptr, nullptr, nullptr);
}
void KT_setImageWithURL(kit::ImageView& view, const kit::Id& imageURL, const kit::Ref<kit::Image>& placeholder) {
  KT_setImageWithURL(view, imageURL, placeholder, KTWebImageOptions{}, nullptr, nullptr, nullptr, nullptr);
}
void KT_setImageWithURL(kit::ImageView& view, const kit::Id& imageURL, KTWebImageOptions options) {
  KT_setImageWithURL(view, imageURL, nullptr, options, nullptr, nullptr, nullptr, nullptr);
}
void KT_setImageWithURL(kit::ImageView& view, const kit::Id& imageURL, const kit::Ref<kit::Image>& placeholder,
                        KTWebImageOptions options, KTWebImageCompletionBlock completion) {
  KT_setImageWithURL(view, imageURL, placeholder, options, nullptr, nullptr, nullptr, std::move(completion));
}
void KT_setImageWithURL(kit::ImageView& view, const kit::Id& imageURL, const kit::Ref<kit::Image>& placeholder,
                        KTWebImageOptions options, KTWebImageProgressBlock progress,
                        KTWebImageTransformBlock transform, KTWebImageCompletionBlock completion) {
  KT_setImageWithURL(view, imageURL, placeholder, options, nullptr, std::move(progress), std::move(transform),
                     std::move(completion));
}
void KT_setImageWithURL(kit::ImageView& view, const kit::Id& imageURL, const kit::Ref<kit::Image>& placeholder,
                        KTWebImageOptions options, const kit::Ref<KTWebImageManager>& manager,
                        KTWebImageProgressBlock progress, KTWebImageTransformBlock transform,
                        KTWebImageCompletionBlock completion) {
  KTWebImageSetImageForSlot(imageViewSlot(view, false), imageURL, placeholder, options, manager, std::move(progress),
                            std::move(transform), std::move(completion));
}
void KT_cancelCurrentImageRequest(kit::ImageView& view) { cancelSetter(view, &kImageSetterKey); }

// ---- Image view, highlighted image

kit::Ref<kit::URL> KT_highlightedImageURL(const kit::ImageView& view) {
  auto setter = attachedSetter(view, &kHighlightedImageSetterKey);
  return setter ? setter->imageURL() : nullptr;
}
void setKT_highlightedImageURL(kit::ImageView& view, const kit::Id& imageURL) {
  KT_setHighlightedImageWithURL(view, imageURL, nullptr, KTWebImageOptions{}, nullptr, nullptr, nullptr, nullptr);
}
void KT_setHighlightedImageWithURL(kit::ImageView& view, const kit::Id& imageURL,
                                   const kit::Ref<kit::Image>& placeholder) {
  KT_setHighlightedImageWithURL(view, imageURL, placeholder, KTWebImageOptions{}, nullptr, nullptr, nullptr, nullptr);
}
void KT_setHighlightedImageWithURL(kit::ImageView& view, const kit::Id& imageURL, KTWebImageOptions options) {
  KT_setHighlightedImageWithURL(view, imageURL, nullptr, options, nullptr, nullptr, nullptr, nullptr);
}
void KT_setHighlightedImageWithURL(kit::ImageView& view, const kit::Id& imageURL,
                                   const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                                   KTWebImageCompletionBlock completion) {
  KT_setHighlightedImageWithURL(view, imageURL, placeholder, options, nullptr, nullptr, nullptr,
                                std::move(completion));
}
void KT_setHighlightedImageWithURL(kit::ImageView& view, const kit::Id& imageURL,
                                   const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                                   KTWebImageProgressBlock progress, KTWebImageTransformBlock transform,
                                   KTWebImageCompletionBlock completion) {
  KT_setHighlightedImageWithURL(view, imageURL, placeholder, options, nullptr, std::move(progress),
                                std::move(transform), std::move(completion));
}
void KT_setHighlightedImageWithURL(kit::ImageView& view, const kit::Id& imageURL,
                                   const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                                   const kit::Ref<KTWebImageManager>& manager, KTWebImageProgressBlock progress,
                                   KTWebImageTransformBlock transform, KTWebImageCompletionBlock completion) {
  KTWebImageSetImageForSlot(imageViewSlot(view, true), imageURL, placeholder, options, manager, std::move(progress),
                            std::move(transform), std::move(completion));
}
void KT_cancelCurrentHighlightedImageRequest(kit::ImageView& view) {
  cancelSetter(view, &kHighlightedImageSetterKey);
}

// ---- Button, image

void _KT_setImageWithURL(kit::Button& button, const kit::Id& imageURL, unsigned singleState,
                         const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                         const kit::Ref<KTWebImageManager>& manager, KTWebImageProgressBlock progress,
                         KTWebImageTransformBlock transform, KTWebImageCompletionBlock completion) {
  KTWebImageSetImageForSlot(buttonSlot(button, singleState, false), imageURL, placeholder, options, manager,
                            std::move(progress), std::move(transform), std::move(completion));
}
void _KT_cancelImageRequestForSingleState(kit::Button& button, unsigned singleState) {
  auto setters = kit::as<_KTWebImageSetterDicForButton>(button.associated(&kButtonImageSettersKey));
  if (auto setter = setters ? setters->setterForState(singleState) : nullptr) setter->cancel();
}
kit::Ref<kit::URL> KT_imageURLForState(const kit::Button& button, unsigned state) {
  return buttonURL(button, state, &kButtonImageSettersKey);
}
void KT_setImageWithURL(kit::Button& button, const kit::Id& imageURL, unsigned state,
                        const kit::Ref<kit::Image>& placeholder) {
  KT_setImageWithURL(button, imageURL, state, placeholder, KTWebImageOptions{}, nullptr, nullptr, nullptr, nullptr);
}
void KT_setImageWithURL(kit::Button& button, const kit::Id& imageURL, unsigned state, KTWebImageOptions options) {
  KT_setImageWithURL(button, imageURL, state, nullptr, options, nullptr, nullptr, nullptr, nullptr);
}
void KT_setImageWithURL(kit::Button& button, const kit::Id& imageURL, unsigned state,
                        const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                        KTWebImageCompletionBlock completion) {
  KT_setImageWithURL(button, imageURL, state, placeholder, options, nullptr, nullptr, nullptr, std::move(completion));
}
void KT_setImageWithURL(kit::Button& button, const kit::Id& imageURL, unsigned state,
                        const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                        KTWebImageProgressBlock progress, KTWebImageTransformBlock transform,
                        KTWebImageCompletionBlock completion) {
  KT_setImageWithURL(button, imageURL, state, placeholder, options, nullptr, std::move(progress),
                     std::move(transform), std::move(completion));
}
void KT_setImageWithURL(kit::Button& button, const kit::Id& imageURL, unsigned state,
                        const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                        const kit::Ref<KTWebImageManager>& manager, KTWebImageProgressBlock progress,
                        KTWebImageTransformBlock transform, KTWebImageCompletionBlock completion) {
  for (unsigned single : singleStates(state)) {
    _KT_setImageWithURL(button, imageURL, single, placeholder, options, manager, progress, transform, completion);
  }
}
void KT_cancelImageRequestForState(kit::Button& button, unsigned state) {
  cancelButton(button, state, &kButtonImageSettersKey);
}

// ---- Button, background image

void _KT_setBackgroundImageWithURL(kit::Button& button, const kit::Id& imageURL, unsigned singleState,
                                   const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                                   const kit::Ref<KTWebImageManager>& manager, KTWebImageProgressBlock progress,
                                   KTWebImageTransformBlock transform, KTWebImageCompletionBlock completion) {
  KTWebImageSetImageForSlot(buttonSlot(button, singleState, true), imageURL, placeholder, options, manager,
                            std::move(progress), std::move(transform), std::move(completion));
}
void _KT_cancelBackgroundImageRequestForSingleState(kit::Button& button, unsigned singleState) {
  auto setters = kit::as<_KTWebImageSetterDicForButton>(button.associated(&kButtonBackgroundSettersKey));
  if (auto setter = setters ? setters->setterForState(singleState) : nullptr) setter->cancel();
}
kit::Ref<kit::URL> KT_backgroundImageURLForState(const kit::Button& button, unsigned state) {
  return buttonURL(button, state, &kButtonBackgroundSettersKey);
}
void KT_setBackgroundImageWithURL(kit::Button& button, const kit::Id& imageURL, unsigned state,
                                  const kit::Ref<kit::Image>& placeholder) {
  KT_setBackgroundImageWithURL(button, imageURL, state, placeholder, KTWebImageOptions{}, nullptr, nullptr, nullptr,
                               nullptr);
}
void KT_setBackgroundImageWithURL(kit::Button& button, const kit::Id& imageURL, unsigned state,
                                  KTWebImageOptions options) {
  KT_setBackgroundImageWithURL(button, imageURL, state, nullptr, options, nullptr, nullptr, nullptr, nullptr);
}
void KT_setBackgroundImageWithURL(kit::Button& button, const kit::Id& imageURL, unsigned state,
                                  const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                                  KTWebImageCompletionBlock completion) {
  KT_setBackgroundImageWithURL(button, imageURL, state, placeholder, options, nullptr, nullptr, nullptr,
                               std::move(completion));
}
void KT_setBackgroundImageWithURL(kit::Button& button, const kit::Id& imageURL, unsigned state,
                                  const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                                  KTWebImageProgressBlock progress, KTWebImageTransformBlock transform,
                                  KTWebImageCompletionBlock completion) {
  KT_setBackgroundImageWithURL(button, imageURL, state, placeholder, options, nullptr, std::move(progress),
                               std::move(transform), std::move(completion));
}
void KT_setBackgroundImageWithURL(kit::Button& button, const kit::Id& imageURL, unsigned state,
                                  const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                                  const kit::Ref<KTWebImageManager>& manager, KTWebImageProgressBlock progress,
                                  KTWebImageTransformBlock transform, KTWebImageCompletionBlock completion) {
  for (unsigned single : singleStates(state)) {
    _KT_setBackgroundImageWithURL(button, imageURL, single, placeholder, options, manager, progress, transform,
                                  completion);
  }
}
void KT_cancelBackgroundImageRequestForState(kit::Button& button, unsigned state) {
  cancelButton(button, state, &kButtonBackgroundSettersKey);
}

// ---- Layer

kit::Ref<kit::URL> KT_imageURL(const kit::Layer& layer) {
  auto setter = attachedSetter(layer, &kLayerSetterKey);
  return setter ? setter->imageURL() : nullptr;
}
void setKT_imageURL(kit::Layer& layer, const kit::Id& imageURL) {
  KT_setImageWithURL(layer, imageURL, nullptr, KTWebImageOptions{}, nullptr, nullptr, nullptr, nullptr);
}
void KT_setImageWithURL(kit::Layer& layer, const kit::Id& imageURL, const kit::Ref<kit::Image>& placeholder) {
  KT_setImageWithURL(layer, imageURL, placeholder, KTWebImageOptions{}, nullptr, nullptr, nullptr, nullptr);
}
void KT_setImageWithURL(kit::Layer& layer, const kit::Id& imageURL, KTWebImageOptions options) {
  KT_setImageWithURL(layer, imageURL, nullptr, options, nullptr, nullptr, nullptr, nullptr);
}
void KT_setImageWithURL(kit::Layer& layer, const kit::Id& imageURL, const kit::Ref<kit::Image>& placeholder,
                        KTWebImageOptions options, KTWebImageCompletionBlock completion) {
  KT_setImageWithURL(layer, imageURL, placeholder, options, nullptr, nullptr, nullptr, std::move(completion));
}
void KT_setImageWithURL(kit::Layer& layer, const kit::Id& imageURL, const kit::Ref<kit::Image>& placeholder,
                        KTWebImageOptions options, KTWebImageProgressBlock progress,
                        KTWebImageTransformBlock transform, KTWebImageCompletionBlock completion) {
  KT_setImageWithURL(layer, imageURL, placeholder, options, nullptr, std::move(progress), std::move(transform),
                     std::move(completion));
}
void KT_setImageWithURL(kit::Layer& layer, const kit::Id& imageURL, const kit::Ref<kit::Image>& placeholder,
                        KTWebImageOptions options, const kit::Ref<KTWebImageManager>& manager,
                        KTWebImageProgressBlock progress, KTWebImageTransformBlock transform,
                        KTWebImageCompletionBlock completion) {
  KTWebImageSetImageForSlot(layerSlot(layer), imageURL, placeholder, options, manager, std::move(progress),
                            std::move(transform), std::move(completion));
}
void KT_cancelCurrentImageRequest(kit::Layer& layer) { cancelSetter(layer, &kLayerSetterKey); }

// ---- Map annotation view

kit::Ref<kit::URL> KT_imageURL(const kit::MapAnnotationView& view) {
  auto setter = attachedSetter(view, &kAnnotationSetterKey);
  return setter ? setter->imageURL() : nullptr;
}
void setKT_imageURL(kit::MapAnnotationView& view, const kit::Id& imageURL) {
  KT_setImageWithURL(view, imageURL, nullptr, KTWebImageOptions{}, nullptr, nullptr, nullptr, nullptr);
}
void KT_setImageWithURL(kit::MapAnnotationView& view, const kit::Id& imageURL,
                        const kit::Ref<kit::Image>& placeholder) {
  KT_setImageWithURL(view, imageURL, placeholder, KTWebImageOptions{}, nullptr, nullptr, nullptr, nullptr);
}
void KT_setImageWithURL(kit::MapAnnotationView& view, const kit::Id& imageURL, KTWebImageOptions options) {
  KT_setImageWithURL(view, imageURL, nullptr, options, nullptr, nullptr, nullptr, nullptr);
}
void KT_setImageWithURL(kit::MapAnnotationView& view, const kit::Id& imageURL,
                        const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                        KTWebImageCompletionBlock completion) {
  KT_setImageWithURL(view, imageURL, placeholder, options, nullptr, nullptr, nullptr, std::move(completion));
}
void KT_setImageWithURL(kit::MapAnnotationView& view, const kit::Id& imageURL,
                        const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                        KTWebImageProgressBlock progress, KTWebImageTransformBlock transform,
                        KTWebImageCompletionBlock completion) {
  KT_setImageWithURL(view, imageURL, placeholder, options, nullptr, std::move(progress), std::move(transform),
                     std::move(completion));
}
void KT_setImageWithURL(kit::MapAnnotationView& view, const kit::Id& imageURL,
                        const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                        const kit::Ref<KTWebImageManager>& manager, KTWebImageProgressBlock progress,
                        KTWebImageTransformBlock transform, KTWebImageCompletionBlock completion) {
  KTWebImageSetImageForSlot(annotationSlot(view), imageURL, placeholder, options, manager, std::move(progress),
                            std::move(transform), std::move(completion));
}
void KT_cancelCurrentImageRequest(kit::MapAnnotationView& view) { cancelSetter(view, &kAnnotationSetterKey); }
