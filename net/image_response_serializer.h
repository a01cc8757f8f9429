// The image response serializer: image bodies become images, and (by
// default) are inflated into a device-RGB bitmap right away, off the main
// queue, so that drawing them later costs nothing. Images above 1024 x 1024
// pixels or with more than 8 bits per component are returned as decoded.
#pragma once

#include "kit/graphics/image.h"
#include "net/response_serializer.h"

// The platform image decoder run under one process-wide lock.
kit::Ref<kit::Image> SDPSafeImageWithData(const kit::Ref<kit::Data>& data);

class SDPImageResponseSerializer : public SDPHTTPResponseSerializer {
  KIT_OBJECT(SDPImageResponseSerializer)

 public:
  static kit::Ref<SDPImageResponseSerializer> serializer() { return kit::make<SDPImageResponseSerializer>(); }
  SDPImageResponseSerializer();

  // Scale given to the images made; the main screen's scale by default.
  double imageScale;
  bool automaticallyInflatesResponseImage = true;

  kit::Id responseObjectForResponse(const kit::Ref<kit::URLResponse>& response, const kit::Ref<kit::Data>& data,
                                    kit::Ref<kit::Error>* error) override;
  void encodeWithCoder(kit::KeyedArchiver& coder) const override;
  bool initWithCoder(kit::KeyedUnarchiver& coder) override;

 protected:
  kit::Ref<SDPHTTPResponseSerializer> makeEmpty() const override;
  void copySettingsTo(SDPHTTPResponseSerializer& other) const override;

 private:
  kit::Ref<kit::Image> inflatedImage(const kit::Ref<kit::URLResponse>& response, const kit::Ref<kit::Data>& data) const;
};
