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
  userCentreHome_ = std::make_unique<PlatformUserCentreHome>(*platformAPI_, *platform_);
  userCentreLists_ = std::make_unique<PlatformUserCentreLists>(*platformAPI_);
  addSampleUserCentreLists();
  wallet_ = std::make_unique<WalletApp>(*platform_);
  channel_->setGameId(gameId);
  game_->setGameId(std::move(gameId));
  ChannelSDKServer* channel = channel_.get();
  game_->setTokenCheck([channel](const std::string& superUserId, const std::string& token) {
    return channel->isTokenOf(superUserId, token);
  });
}

void Simulator::addSampleUserCentreLists() {
  using Lists = PlatformUserCentreLists;
  PlatformUserCentreHome& home = *userCentreHome_;
  auto news = [&home](long i) -> kit::Id {
    static const char* const titles[] = {"新服「青龙」开启", "周末双倍经验活动", "版本更新说明", "充值返利活动",
                                         "防诈骗提醒", "停服维护公告"};
    return kit::dict({{"tag", i % 2 == 0 ? "活动" : "公告"},
                      {"post_title", kit::Id(kit::str(titles[i % 6]))},
                      {"url", kit::Id(kit::str(home.newsPageURL(i)))},
                      {"time", kit::Id(kit::str("05-0" + std::to_string(1 + i % 9)))},
                      {"pic", kit::Id(kit::str(i == 0 ? home.newsPictureURL(i) : ""))}});
  };
  userCentreLists_->setPages(Lists::kNewsList, {Lists::records(0, 6, news)});
  auto opening = [](long i) -> kit::Id {
    return kit::dict({{"servername", kit::Id(kit::str("双线" + std::to_string(i) + "区"))},
                      {"day", kit::Id(kit::str("05-" + std::string(i < 10 ? "0" : "") + std::to_string(i)))},
                      {"hour", "10:00"}});
  };
  userCentreLists_->setServerPages("1", {Lists::records(1, 8, opening)});
  userCentreLists_->setServerPages("0", {Lists::records(9, 3, opening)});
  auto pack = [](long i) -> kit::Id {
    static const char* const names[] = {"新手礼包", "开服礼包", "每日礼包", "VIP礼包"};
    return kit::dict({{"ID", kit::Id(kit::str(std::to_string(i)))},
                      {"name", kit::Id(kit::str(names[i % 4]))},
                      {"excerpt", "金币x1000，强化石x10，经验药水x5"},
                      {"getstatus", "0"},
                      {"code", ""},
                      {"part_num", "12"},
                      {"percentage", kit::Id(kit::str(std::to_string(20 * (i % 4))))},
                      {"instructions", "进入游戏后在设置中兑换"}});
  };
  userCentreLists_->setPages(Lists::kGiftList, {Lists::records(1, 4, pack)});
  auto offer = [&home](long i) -> kit::Id {
    return kit::dict({{"tradeId", kit::Id(kit::str("T" + std::to_string(i)))},
                      {"prices", kit::Id(kit::str(std::to_string(68 + 30 * i)))},
                      {"server", "双线1区"},
                      {"time", "2026-05-01"},
                      {"devicetype", i % 3 == 0 ? "2" : i % 3 == 1 ? "1" : "0"},
                      {"gamename", "星河远征"},
                      {"title", i % 2 == 0 ? "满级账号" : "高战力账号"},
                      {"pic1", kit::Id(kit::str(home.tradePictureURL(i)))}});
  };
  userCentreLists_->setPages(Lists::kTradeList, {Lists::records(0, 4, offer)});
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

bool Simulator::writeConfiguration(const std::string& path, kit::Ref<kit::Error>* error) const {
  return kit::writePropertyListToFile(configuration(), path, true, kit::PropertyListFormat::XML, error);
}

}  // namespace sim
