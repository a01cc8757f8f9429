// What the store's views share about the channel's game server and its
// values: the address of a game server path, the game id of the bundle's
// NUVAPLIST, and numbers read from reply values that may be texts or
// numbers. GET queries are built with NUVANetworkManager::queryURL.
#pragma once

#include <string_view>

#include "kit/foundation/object.h"
#include "kit/foundation/string.h"

class NUVAStoreSupport {
 public:
  // "<game server>/<path and query>", the game server's address read from
  // the client's configuration.
  static kit::Ref<kit::String> gameURL(std::string_view pathAndQuery);

  // "%@" of NUVAPLIST's "game_id" in the main bundle ("(null)" without one).
  static kit::Ref<kit::String> plistGameId();

  // The integer a text or a number holds (0 for anything else).
  static long integerOf(const kit::Id& value);
  // The number a text or a number holds; 0 for anything else and for
  // values that are not finite.
  static double doubleOf(const kit::Id& value);
};
