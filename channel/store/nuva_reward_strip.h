// The three places of a strip of reward tiles (85 x 85), shared by the
// vouchers tab and the video reward pop-up: around the middle of a strip
// `width` wide, with a gap of 10 points in the portrait form and 30 in the
// landscape one. A fourth and later tile have no place and keep the frame
// they were made with.
//
//   NUVARewardStrip::place(*tile, index, width, y, form);
#pragma once

#include <cstddef>
#include <optional>

#include "channel/core/nuva_store_overlays.h"
#include "kit/ui/view.h"

class NUVARewardStrip {
 public:
  static constexpr double kTileSide = 85;
  static constexpr size_t kPlaces = 3;

  // The x of place `index`, nullopt past the third.
  static std::optional<double> tileX(size_t index, double width, NUVAOverlayForm form);
  // Frames the tile at its place at `y`; false (frame untouched) past the
  // third.
  static bool place(kit::View& tile, size_t index, double width, double y, NUVAOverlayForm form);
};
