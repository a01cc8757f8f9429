// The simulator: every remote service the client talks to, started together
// on 127.0.0.1, and the client configuration that points at them.
#pragma once

#include <memory>
#include <string>

#include "kit/foundation/dictionary.h"
#include "kit/foundation/error.h"
#include "sim/channel_game_server.h"
#include "sim/channel_sdk_server.h"
#include "sim/game_page_server.h"
#include "sim/platform_api_server.h"
#include "sim/platform_service.h"
#include "sim/platform_user_centre.h"
#include "sim/platform_user_centre_home.h"
#include "sim/platform_user_centre_lists.h"
#include "sim/service_port.h"
#include "sim/wallet_app.h"

namespace sim {

// The ports the services listen on; 0 lets the system pick one.
struct SimulatorPorts {
  int channelSDK = 0;
  int channelGame = 0;
  int gamePage = 0;
  int platformAPI = 0;
};

class Simulator {
 public:
  explicit Simulator(std::string gameId = "1001");
  // At the given ports; throws PortUnavailable (service_port.h) when one of
  // them cannot be listened on.
  Simulator(std::string gameId, const SimulatorPorts& ports);

  ChannelSDKServer& channel() { return *channel_; }
  // The channel game server; it accepts the tokens the SDK server issued.
  ChannelGameServer& game() { return *game_; }
  GamePageServer& page() { return *page_; }
  PlatformAPIServer& platformAPI() { return *platformAPI_; }
  // The platform's accounts, orders and pages, served by platformAPI().
  PlatformService& platform() { return *platform_; }
  // The user centre's red dots, feedback page, ball icon and chat host.
  PlatformUserCentre& userCentre() { return *userCentre_; }
  // The user centre's home ("Home/index" and its pictures and pages) and its
  // paged lists (servers, trades, gift packs, news, coupons), with sample
  // records until a caller sets its own.
  PlatformUserCentreHome& userCentreHome() { return *userCentreHome_; }
  PlatformUserCentreLists& userCentreLists() { return *userCentreLists_; }
  // The wallet app, paying the platform's app orders; not installed in
  // kit's application until wallet().install() (main thread).
  WalletApp& wallet() { return *wallet_; }

  // The addresses of the services it runs under the client's configuration
  // keys (ChannelSDKServer, ChannelGameServer, ChannelVideoBase,
  // ChannelActivityHost, GamePage, PlatformAPIBase, PlatformWebHost,
  // PlatformChatHost); the other keys keep the client's own values.
  kit::Ref<kit::Dictionary> configuration() const;
  // Writes the configuration as the services file the client reads when
  // GAMECLIENT_SERVICES names it; false, with *error saying why, when it
  // cannot.
  bool writeConfiguration(const std::string& path, kit::Ref<kit::Error>* error = nullptr) const;

 private:
  // Sample records for the user centre's lists.
  void addSampleUserCentreLists();

  std::unique_ptr<ChannelSDKServer> channel_;
  std::unique_ptr<ChannelGameServer> game_;
  std::unique_ptr<GamePageServer> page_;
  // Before the server, so that it goes after it: the server's answers call
  // into the service until the server has stopped.
  std::unique_ptr<PlatformService> platform_;
  std::unique_ptr<PlatformUserCentre> userCentre_;
  std::unique_ptr<PlatformUserCentreHome> userCentreHome_;
  std::unique_ptr<PlatformUserCentreLists> userCentreLists_;
  std::unique_ptr<PlatformAPIServer> platformAPI_;
  // Last, so that it goes first: it pays orders in the service.
  std::unique_ptr<WalletApp> wallet_;
};

}  // namespace sim
