// The game's registration with the platform, as the platform server knows
// it: app id, game id, app key (the key logins are signed with) and the
// channels the game is published under. The server refuses requests whose
// identities do not match.
//
// fromBundle reads what the client reads: "KT.plist" ("TOLMIX_APPID",
// "TOLMIX_GAMEID", "TOLMIX_APPKEY", "TOLMIX_AGENT") and the entries of the
// folder "KTAppInfo/Channel" of an application bundle.
#pragma once

#include <string>
#include <vector>

namespace sim {

struct PlatformIdentity {
  std::string appId;
  std::string gameId;
  std::string appKey;
  std::string agent;  // "TOLMIX_AGENT", the channel without a channel folder
  // The channel folder's entries, blanks and line feeds removed.
  std::vector<std::string> channels;

  // The identity of the application bundle in `directory`; empty values
  // for what it does not hold.
  static PlatformIdentity fromBundle(const std::string& directory);

  // A channel of the folder, or the agent; never the empty text.
  bool acceptsChannel(const std::string& channel) const;
};

}  // namespace sim
