// The reward strip's places. See nuva_reward_strip.h.

#include "channel/store/nuva_reward_strip.h"

std::optional<double> NUVARewardStrip::tileX(size_t index, double width, NUVAOverlayForm form) {
  const double gap = form == NUVAOverlayForm::Portrait ? 10 : 30;
  switch (index) {
    case 0:
      return width / 2 - 120 - gap;
    case 1:
      return width / 2 - 40;
    case 2:
      return width / 2 + 40 + gap;
    default:
      return std::nullopt;
  }
}

bool NUVARewardStrip::place(kit::View& tile, size_t index, double width, double y, NUVAOverlayForm form) {
  auto x = tileX(index, width, form);
  if (!x) return false;
  tile.setFrame({*x, y, kTileSide, kTileSide});
  return true;
}
