// The web-image view categories: an image view (its image and its
// highlighted image), a button (image and background image per control
// state), a layer (its contents) and a map annotation view show a picture
// given by address. Each shows the placeholder, takes the picture from the
// memory level at once when it is there, and otherwise requests it through
// the web-image manager; results are put into the view on the main thread,
// and a result for an address the slot no longer wants is dropped and
// reported as KTWebImageStageCancelled. Progress and completion blocks are
// called on the main thread. May be called from any thread.
//
//   KT_setImageWithURL(*logo, kit::str(address), nullptr);
//   KT_setImageWithURL(*button, address, kit::ControlStateNormal, nullptr, KTWebImageOptionNetworkIndicator,
//                      [](auto image, auto url, auto from, auto stage, auto error) { ... });
#pragma once

#include "kit/foundation/object.h"
#include "kit/ui/button.h"
#include "kit/ui/image_view.h"
#include "kit/ui/layer.h"
#include "kit/ui/map_annotation_view.h"
#include "ui/images/kt_web_image_manager.h"
#include "ui/images/kt_web_image_options.h"

// ---- Image view, image
kit::Ref<kit::URL> KT_imageURL(const kit::ImageView& view);
void setKT_imageURL(kit::ImageView& view, const kit::Id& imageURL);
void KT_setImageWithURL(kit::ImageView& view, const kit::Id& imageURL, const kit::Ref<kit::Image>& placeholder);
void KT_setImageWithURL(kit::ImageView& view, const kit::Id& imageURL, KTWebImageOptions options);
void KT_setImageWithURL(kit::ImageView& view, const kit::Id& imageURL, const kit::Ref<kit::Image>& placeholder,
                        KTWebImageOptions options, KTWebImageCompletionBlock completion);
void KT_setImageWithURL(kit::ImageView& view, const kit::Id& imageURL, const kit::Ref<kit::Image>& placeholder,
                        KTWebImageOptions options, KTWebImageProgressBlock progress,
                        KTWebImageTransformBlock transform, KTWebImageCompletionBlock completion);
void KT_setImageWithURL(kit::ImageView& view, const kit::Id& imageURL, const kit::Ref<kit::Image>& placeholder,
                        KTWebImageOptions options, const kit::Ref<KTWebImageManager>& manager,
                        KTWebImageProgressBlock progress, KTWebImageTransformBlock transform,
                        KTWebImageCompletionBlock completion);
void KT_cancelCurrentImageRequest(kit::ImageView& view);

// ---- Image view, highlighted image
kit::Ref<kit::URL> KT_highlightedImageURL(const kit::ImageView& view);
void setKT_highlightedImageURL(kit::ImageView& view, const kit::Id& imageURL);
void KT_setHighlightedImageWithURL(kit::ImageView& view, const kit::Id& imageURL,
                                   const kit::Ref<kit::Image>& placeholder);
void KT_setHighlightedImageWithURL(kit::ImageView& view, const kit::Id& imageURL, KTWebImageOptions options);
void KT_setHighlightedImageWithURL(kit::ImageView& view, const kit::Id& imageURL,
                                   const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                                   KTWebImageCompletionBlock completion);
void KT_setHighlightedImageWithURL(kit::ImageView& view, const kit::Id& imageURL,
                                   const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                                   KTWebImageProgressBlock progress, KTWebImageTransformBlock transform,
                                   KTWebImageCompletionBlock completion);
void KT_setHighlightedImageWithURL(kit::ImageView& view, const kit::Id& imageURL,
                                   const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                                   const kit::Ref<KTWebImageManager>& manager, KTWebImageProgressBlock progress,
                                   KTWebImageTransformBlock transform, KTWebImageCompletionBlock completion);
void KT_cancelCurrentHighlightedImageRequest(kit::ImageView& view);

// ---- Button, image. A state of several flags is split into single states
// (highlighted, disabled, selected; normal when none), each with its own
// request.
void _KT_setImageWithURL(kit::Button& button, const kit::Id& imageURL, unsigned singleState,
                         const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                         const kit::Ref<KTWebImageManager>& manager, KTWebImageProgressBlock progress,
                         KTWebImageTransformBlock transform, KTWebImageCompletionBlock completion);
void _KT_cancelImageRequestForSingleState(kit::Button& button, unsigned singleState);
// The address of the first of highlighted, disabled, selected in `state`,
// else of normal.
kit::Ref<kit::URL> KT_imageURLForState(const kit::Button& button, unsigned state);
void KT_setImageWithURL(kit::Button& button, const kit::Id& imageURL, unsigned state,
                        const kit::Ref<kit::Image>& placeholder);
void KT_setImageWithURL(kit::Button& button, const kit::Id& imageURL, unsigned state, KTWebImageOptions options);
void KT_setImageWithURL(kit::Button& button, const kit::Id& imageURL, unsigned state,
                        const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                        KTWebImageCompletionBlock completion);
void KT_setImageWithURL(kit::Button& button, const kit::Id& imageURL, unsigned state,
                        const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                        KTWebImageProgressBlock progress, KTWebImageTransformBlock transform,
                        KTWebImageCompletionBlock completion);
void KT_setImageWithURL(kit::Button& button, const kit::Id& imageURL, unsigned state,
                        const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                        const kit::Ref<KTWebImageManager>& manager, KTWebImageProgressBlock progress,
                        KTWebImageTransformBlock transform, KTWebImageCompletionBlock completion);
void KT_cancelImageRequestForState(kit::Button& button, unsigned state);

// ---- Button, background image
void _KT_setBackgroundImageWithURL(kit::Button& button, const kit::Id& imageURL, unsigned singleState,
                                   const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                                   const kit::Ref<KTWebImageManager>& manager, KTWebImageProgressBlock progress,
                                   KTWebImageTransformBlock transform, KTWebImageCompletionBlock completion);
void _KT_cancelBackgroundImageRequestForSingleState(kit::Button& button, unsigned singleState);
kit::Ref<kit::URL> KT_backgroundImageURLForState(const kit::Button& button, unsigned state);
void KT_setBackgroundImageWithURL(kit::Button& button, const kit::Id& imageURL, unsigned state,
                                  const kit::Ref<kit::Image>& placeholder);
void KT_setBackgroundImageWithURL(kit::Button& button, const kit::Id& imageURL, unsigned state,
                                  KTWebImageOptions options);
void KT_setBackgroundImageWithURL(kit::Button& button, const kit::Id& imageURL, unsigned state,
                                  const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                                  KTWebImageCompletionBlock completion);
void KT_setBackgroundImageWithURL(kit::Button& button, const kit::Id& imageURL, unsigned state,
                                  const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                                  KTWebImageProgressBlock progress, KTWebImageTransformBlock transform,
                                  KTWebImageCompletionBlock completion);
void KT_setBackgroundImageWithURL(kit::Button& button, const kit::Id& imageURL, unsigned state,
                                  const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                                  const kit::Ref<KTWebImageManager>& manager, KTWebImageProgressBlock progress,
                                  KTWebImageTransformBlock transform, KTWebImageCompletionBlock completion);
void KT_cancelBackgroundImageRequestForState(kit::Button& button, unsigned state);

// ---- Layer: its contents, with the image view's image names
kit::Ref<kit::URL> KT_imageURL(const kit::Layer& layer);
void setKT_imageURL(kit::Layer& layer, const kit::Id& imageURL);
void KT_setImageWithURL(kit::Layer& layer, const kit::Id& imageURL, const kit::Ref<kit::Image>& placeholder);
void KT_setImageWithURL(kit::Layer& layer, const kit::Id& imageURL, KTWebImageOptions options);
void KT_setImageWithURL(kit::Layer& layer, const kit::Id& imageURL, const kit::Ref<kit::Image>& placeholder,
                        KTWebImageOptions options, KTWebImageCompletionBlock completion);
void KT_setImageWithURL(kit::Layer& layer, const kit::Id& imageURL, const kit::Ref<kit::Image>& placeholder,
                        KTWebImageOptions options, KTWebImageProgressBlock progress,
                        KTWebImageTransformBlock transform, KTWebImageCompletionBlock completion);
void KT_setImageWithURL(kit::Layer& layer, const kit::Id& imageURL, const kit::Ref<kit::Image>& placeholder,
                        KTWebImageOptions options, const kit::Ref<KTWebImageManager>& manager,
                        KTWebImageProgressBlock progress, KTWebImageTransformBlock transform,
                        KTWebImageCompletionBlock completion);
void KT_cancelCurrentImageRequest(kit::Layer& layer);

// ---- Map annotation view: its image, with the image view's image names
kit::Ref<kit::URL> KT_imageURL(const kit::MapAnnotationView& view);
void setKT_imageURL(kit::MapAnnotationView& view, const kit::Id& imageURL);
void KT_setImageWithURL(kit::MapAnnotationView& view, const kit::Id& imageURL,
                        const kit::Ref<kit::Image>& placeholder);
void KT_setImageWithURL(kit::MapAnnotationView& view, const kit::Id& imageURL, KTWebImageOptions options);
void KT_setImageWithURL(kit::MapAnnotationView& view, const kit::Id& imageURL,
                        const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                        KTWebImageCompletionBlock completion);
void KT_setImageWithURL(kit::MapAnnotationView& view, const kit::Id& imageURL,
                        const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                        KTWebImageProgressBlock progress, KTWebImageTransformBlock transform,
                        KTWebImageCompletionBlock completion);
void KT_setImageWithURL(kit::MapAnnotationView& view, const kit::Id& imageURL,
                        const kit::Ref<kit::Image>& placeholder, KTWebImageOptions options,
                        const kit::Ref<KTWebImageManager>& manager, KTWebImageProgressBlock progress,
                        KTWebImageTransformBlock transform, KTWebImageCompletionBlock completion);
void KT_cancelCurrentImageRequest(kit::MapAnnotationView& view);
