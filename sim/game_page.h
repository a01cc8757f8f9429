// The simulator's H5 game page: our own small game, "星河远征". A canvas
// scene (a starfield, a planet and the fleet, redrawn as the game's state
// changes), the player's status, and buttons that post the page's messages
// through `window.webkit.messageHandlers.eventComplete.postMessage` as a
// JSON text {"action", "data"}: start (which logs in when nobody is),
// login, role report, pay, open store, open hall and logout. Every answer
// the client sends through CallbackFromIOS is shown in the page's log and
// kept in `gamePage.answers`, with the messages sent in `gamePage.sent`, so
// a test or the main job reads the page's state by script.
#pragma once

#include <string>

namespace sim {

// The page's HTML for a game id.
std::string gamePageHTML(const std::string& gameId);

}  // namespace sim
