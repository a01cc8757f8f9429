// The simulator's services and configuration. See simulator.h.

#include "sim/simulator.h"

#include "config/client_configuration.h"
#include "kit/foundation/property_list.h"
#include "kit/foundation/values.h"

namespace sim {

Simulator::Simulator(std::string gameId) : Simulator(std::move(gameId), SimulatorPorts{}) {}

Simulator::Simulator(std::string gameId, const SimulatorPorts& ports)
    : channel_(std::make_unique<ChannelSDKServer>(ports.channelSDK)),
      game_(std::make_unique<ChannelGameServer>(ports.channelGame)),
      page_(std::make_unique<GamePageServer>(gameId, ports.gamePage)),
      platformAPI_(PlatformAPIServer::start(ports.platformAPI)) {
  platform_ = std::make_unique<PlatformService>(*platformAPI_);
  userCentre_ = std::make_unique<PlatformUserCentre>(*platformAPI_);
  wallet_ = std::make_unique<WalletApp>(*platform_);
  channel_->setGameId(gameId);
  game_->setGameId(std::move(gameId));
  ChannelSDKServer* channel = channel_.get();
  game_->setTokenCheck([channel](const std::string& superUserId, const std::string& token) {
    return channel->isTokenOf(superUserId, token);
  });
}

kit::Ref<kit::Dictionary> Simulator::configuration() const {
  auto entries = kit::mutableDict({{ClientConfiguration::kChannelSDKServer, channel_->baseURL()},
                                   {ClientConfiguration::kChannelGameServer, game_->baseURL()},
                                   {ClientConfiguration::kChannelVideoBase, game_->baseURL()},
                                   {ClientConfiguration::kChannelActivityHost, game_->activityBaseURL()},
                                   {ClientConfiguration::kGamePage, page_->pageURL()}});
  entries->addEntriesFromDictionary(*platformAPI_->configurationEntries());
  entries->setObject(kit::str(platformAPI_->origin() + "/"), std::string_view(ClientConfiguration::kPlatformWebHost));
  entries->addEntriesFromDictionary(*userCentre_->configurationEntries());
  return entries;
}

bool Simulator::writeConfiguration(const std::string& path) const {
  return kit::writePropertyListToFile(configuration(), path);
}

}  // namespace sim
