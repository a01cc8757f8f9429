// The pictures of the platform's web host, drawn with kit graphics and kit
// text: the floating ball's icon (an orange ball with a game pad, round on a
// clear ground) and the login card's logo (a mark and the platform's word
// mark on a clear ground). Each is drawn once, at scale 2, the first time it
// is asked for; any thread may ask.
#pragma once

#include <string>

namespace sim {

struct PlatformPictures {
  // The ball's side and the logo's box, in points (the pictures have twice
  // as many pixels).
  static constexpr double kBallSide = 60;
  static constexpr double kLogoWidth = 160, kLogoHeight = 40;

  // PNG bytes; empty only when drawing failed.
  static const std::string& floatIconPNG();
  static const std::string& logoPNG();
};

}  // namespace sim
