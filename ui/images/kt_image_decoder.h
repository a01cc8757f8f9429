// KTImageDecoder: turns encoded image data into frames, for still images,
// animated GIF and animated PNG, while the data may still be arriving.
//
// Data is given with updateData (each call the whole data so far, never
// shorter than before) until a call says it is final. The type is fixed by
// the first update of at least 17 bytes. Frames come from kit's image
// sources; an animated PNG's frames come from its own chunk reader, one
// stand-alone PNG per frame, composed on a canvas by their dispose and blend
// operations. Consecutive frame requests advance the canvas by one frame; a
// jump rebuilds it from the frame's blendFromIndex. Until the data is final
// only frame 0 is decoded. Frames are decoded when asked for.
//
// Every operation holds the decoder's lock, so a download thread may feed a
// decoder while another thread takes frames from it; the frame list has a
// lock of its own, the only one the duration query takes.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "kit/foundation/data.h"
#include "kit/foundation/dictionary.h"
#include "kit/graphics/graphics_context.h"
#include "kit/graphics/image.h"
#include "kit/graphics/image_source.h"
#include "ui/images/kt_apng.h"
#include "ui/images/kt_image_frame.h"
#include "ui/images/kt_image_type.h"

class KTImageDecoder : public kit::Object {
 public:
  // A decoder given `data` once as final, or nil when the data is nil or
  // has no frame. A scale of 0 or below becomes 1.
  static kit::Ref<KTImageDecoder> decoderWithData(const kit::Ref<kit::Data>& data, double scale);
  // An empty decoder for the main screen's scale.
  static kit::Ref<KTImageDecoder> make();
  // An empty decoder; a scale of 0 or below becomes 1.
  static kit::Ref<KTImageDecoder> initWithScale(double scale);

  // Takes the data received so far. False, changing nothing, once final data
  // was taken or when `data` is shorter than what is held; false too when
  // the data no longer detects as the fixed type (the data and the final
  // flag are kept then).
  bool updateData(const kit::Ref<kit::Data>& data, bool final);
  // The same for unfinished data in a buffer the caller goes on appending
  // to (a download's): it is read during this call only and held as given,
  // not copied, so data() answers that buffer until the next update, and
  // the caller keeps other threads off it meanwhile.
  bool updateGrowingData(const kit::Ref<kit::MutableData>& data);

  // A new frame record with its image, or nil (index out of range, frame
  // not decodable). decodeForDisplay gives an image in the standard layout,
  // for every format but ICO extended to the canvas; a composed frame then
  // reports the canvas size, offset 0,0, dispose none and blend none.
  kit::Ref<KTImageFrame> frameAtIndex(size_t index, bool decodeForDisplay);
  // Seconds; 0 for an index out of range.
  double frameDurationAtIndex(size_t index);
  // The image source's properties of a frame; nil out of range or without
  // an image source (an animated PNG after its frames were read).
  kit::Ref<kit::Dictionary> framePropertiesAtIndex(size_t index);
  kit::Ref<kit::Dictionary> imageProperties();

  kit::Ref<kit::Data> data() const;
  KTImageType type() const { return type_; }
  double scale() const { return scale_; }
  size_t frameCount() const { return frameCount_; }
  // 0 loops forever.
  size_t loopCount() const { return loopCount_; }
  // The canvas, in pixels.
  size_t width() const { return width_; }
  size_t height() const { return height_; }
  bool isFinalized() const { return finalized_; }
  // Whether frames are composed on the canvas (an animated PNG whose frames
  // do not all stand alone).
  bool needsBlend() const { return needBlend_; }
  // How many frame pictures have been decoded from the data so far: what
  // the requests cost, for diagnostics.
  size_t framesDecoded() const { return framesDecoded_; }

  // Use the factories; public for make.
  explicit KTImageDecoder(double scale);
  ~KTImageDecoder() override;

 private:
  using Frames = std::vector<kit::Ref<KTImageDecoderFrame>>;
  static constexpr size_t kNoFrame = static_cast<size_t>(INT64_MAX);

  bool update(kit::Ref<kit::Data> data, bool final);
  void updateSource();
  void updateSourceImageIO();
  void updateSourceAPNG();
  void setFrames(Frames frames);
  kit::Ref<KTImageDecoderFrame> frameRecord(size_t index);
  // The frame's own picture (not composed), and whether it is decoded.
  kit::Ref<kit::Bitmap> unblendedImage(size_t index, bool extendToCanvas, bool& decoded);
  kit::Ref<kit::Bitmap> composedImage(const KTImageDecoderFrame& frame);
  void applyEarlierFrame(const KTImageDecoderFrame& frame);
  kit::Ref<kit::Bitmap> blendedImage(const KTImageDecoderFrame& frame);
  kit::Ref<kit::GraphicsContext> canvasContext(size_t width, size_t height);

  mutable std::recursive_mutex lock_;
  kit::Ref<kit::Data> data_;
  // The length of data_ when it was taken (a growing buffer is longer by now),
  // and how many of its first bytes the update before had given too.
  size_t dataLength_ = 0;
  size_t unchangedLength_ = 0;
  std::atomic<KTImageType> type_{KTImageTypeUnknown};
  double scale_ = 1;
  std::atomic<size_t> frameCount_{0};
  std::atomic<size_t> loopCount_{0};
  std::atomic<size_t> width_{0}, height_{0};
  std::atomic<bool> finalized_{false};
  std::atomic<bool> needBlend_{false};

  bool sourceTypeDetected_ = false;
  kit::Ref<kit::ImageSource> source_;
  std::unique_ptr<KTAPNGInfo> apngSource_;
  kit::ImageOrientation orientation_ = kit::ImageOrientation::Up;

  std::mutex framesLock_;
  Frames frames_;

  // The canvas is ready for the frame after blendFrameIndex_ (kNoFrame when
  // it must be rebuilt); lastComposed_ is the frame last composed.
  size_t blendFrameIndex_ = kNoFrame;
  kit::Ref<kit::GraphicsContext> blendCanvas_;
  size_t lastComposedIndex_ = kNoFrame;
  std::atomic<size_t> framesDecoded_{0};
  kit::Ref<kit::Bitmap> lastComposed_;
};
