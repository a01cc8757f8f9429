// The main job's services: the simulator scripted for the session it plays
// (the launch notice, the server menu with the time store, the level and
// lucky-player offers, the free video, the platform's player with a
// sub-account and a coupon, the platform's notice, the speed-up tool turned
// on and the wallet app on the device), and the client's configuration
// pointed at it through a services file.
#pragma once

#include <string>

#include "sim/simulator.h"

namespace demo {

void scriptTheSession(sim::Simulator& simulator);

// Writes the simulator's services file at `path` and makes the client read
// its hosts from there; why it could not, or empty.
std::string pointTheClientAt(sim::Simulator& simulator, const std::string& path);

}  // namespace demo
