// KTRefreshGifHeader: the state header with an image sequence per state in
// place of arrow and spinner. While Idle the shown image follows the pull;
// Pulling and Refreshing play their sequences.
//
//   header->setImages(idleFrames, KTRefreshState::Idle);
//   header->setImages(spinFrames, 0.6, KTRefreshState::Refreshing);
#pragma once

#include <map>
#include <vector>

#include "kit/graphics/image.h"
#include "kit/ui/image_view.h"
#include "ui/widgets/kt_refresh_header.h"

// The image sequences of the gif header and footers, by state.
struct KTRefreshImageSequences {
  std::map<KTRefreshState, std::vector<kit::Ref<kit::Image>>> stateImages;
  std::map<KTRefreshState, double> stateDurations;
  const std::vector<kit::Ref<kit::Image>>* imagesFor(KTRefreshState state) const;
  // Shows the state's images on `view`: stops it, then one image still or
  // several played; false when the state has none.
  bool play(kit::ImageView& view, KTRefreshState state) const;
  // The Idle image for a pull of `percent` (0 when below 0, the last one at
  // and beyond 1); nil without Idle images.
  kit::Ref<kit::Image> idleImageFor(double percent) const;
};

// Stores images for a state of a component, growing the component to the
// first image's height when that is taller.
void KTRefreshStoreImages(kit::View& component, KTRefreshImageSequences& sequences,
                          std::vector<kit::Ref<kit::Image>> images, double duration, KTRefreshState state);

class KTRefreshGifHeader : public KTRefreshStateHeader {
 public:
  using KTRefreshStateHeader::KTRefreshStateHeader;
  KT_REFRESH_FACTORIES(KTRefreshGifHeader, header)

  const kit::Ref<kit::ImageView>& gifView();
  const std::map<KTRefreshState, std::vector<kit::Ref<kit::Image>>>& stateImages() const {
    return sequences_.stateImages;
  }
  const std::map<KTRefreshState, double>& stateDurations() const { return sequences_.stateDurations; }
  // Stores the images and their duration for the state; a first image
  // taller than the header makes the header that tall.
  void setImages(std::vector<kit::Ref<kit::Image>> images, double duration, KTRefreshState state);
  // The same at 0.1 s per image.
  void setImages(std::vector<kit::Ref<kit::Image>> images, KTRefreshState state);

  void setPullingPercent(double percent) override;
  void setState(KTRefreshState state) override;

 protected:
  void prepare() override;
  void placeSubviews() override;

 private:
  kit::Ref<kit::ImageView> gifView_;
  KTRefreshImageSequences sequences_;
};
