// The simulator's services and configuration. See simulator.h.

#include "sim/simulator.h"

#include "kit/foundation/property_list.h"
#include "kit/foundation/values.h"

namespace sim {

Simulator::Simulator(std::string gameId)
    : channel_(std::make_unique<ChannelSDKServer>()),
      page_(std::make_unique<GamePageServer>(gameId)),
      platformAPI_(PlatformAPIServer::start()) {
  channel_->setGameId(std::move(gameId));
}

kit::Ref<kit::Dictionary> Simulator::configuration() const {
  auto entries = kit::mutableDict({{"ChannelSDKServer", channel_->baseURL()},
                                   {"ChannelGameServer", channel_->baseURL()},
                                   {"GamePage", page_->pageURL()}});
  entries->addEntriesFromDictionary(*platformAPI_->configurationEntries());
  return entries;
}

bool Simulator::writeConfiguration(const std::string& path) const {
  return kit::writePropertyListToFile(configuration(), path);
}

}  // namespace sim
