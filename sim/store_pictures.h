// The pictures the simulated game server serves for the store's views:
// item icons (PNG squares of a colour per item, with a lighter inner
// square) and an animated advertising GIF (three frames of a band moving
// across a gradient-like strip). Made with kit graphics when asked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// A PNG icon of `side` points for item number `index` (the colour cycles).
std::vector<uint8_t> itemIconPNG(int index, int side = 48);
// A three-frame looping GIF of 252 x 128.
std::vector<uint8_t> advertisingGIF();

}  // namespace sim
