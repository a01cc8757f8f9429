// The main job's services. See demo_services.h.
#include "tools/demo_services.h"

#include <cstdlib>

#include "config/client_configuration.h"
#include "kit/foundation/values.h"

namespace demo {

void scriptTheSession(sim::Simulator& simulator) {
  simulator.channel().setPackage("com.example.starfleet");
  simulator.channel().setNotice({.type = "1",
                                 .title = "星河远征开服公告",
                                 .content = "欢迎来到星河远征！新服「青龙」今日开启，"
                                            "登录即送开服礼包，限时商店每日上新。",
                                 .url = ""});
  // The server menu offers the time store: its banner slides in a second
  // after the role report, the lucky-player reward is looked up after
  // eight.
  sim::GameMenuTimes times;
  times.shopTime = "1";
  times.luckTime = "8";
  // The page's role (level 12) is in a level range: the level store offers a pack.
  times.levelList = {"10,20"};
  sim::ChannelGameServer& game = simulator.game();
  game.setMenu({"1", "2", "3", "4", "8"}, times);
  game.setLevelOffer(game.sampleLevelOffer());
  game.setLuck("luck", sim::ChannelGameServer::sampleLuckReward("恭喜获得幸运玩家奖励"));
  // No daily gift: the vouchers tab offers the free video.
  sim::FreeVideoOffer freeVideo;
  freeVideo.items = R"([{"mid":"1","name":"金币","amount":"1000","icon":")" + game.itemIconURL(1) +
                    R"("},{"mid":"2","name":"钻石","amount":"60","icon":")" + game.itemIconURL(3) +
                    R"("},{"mid":"3","name":"体力","amount":"50","icon":")" + game.itemIconURL(2) + R"("}])";
  game.setFreeVideoOffer(freeVideo);

  // The platform's player: a password, no real name yet, one sub-account,
  // coupons; the platform's notice.
  sim::PlatformAccount player;
  player.userName = "player01";
  player.password = "pass123";
  player.platformCoins = 120;
  player.vouchers = "12.50";
  player.subAccounts = {{"青龙小号", "player01_1", "1717000001"}};
  player.coupons = {sim::PlatformCoupon{"57", "满5减1", "5", "1"}};
  simulator.platform().addAccount(player);
  sim::PlatformNotice platformNotice;
  platformNotice.content = "星河远征平台公告：充值优惠进行中。";
  simulator.platform().setNotice(platformNotice);
  // The platform turns the speed-up tool on for the game.
  simulator.platform().setSpeedUpEnabled(true);
  // The wallet app is on the device: the hall's goods card and the page's
  // order are paid in it.
  simulator.wallet().install();
}

std::string pointTheClientAt(sim::Simulator& simulator, const std::string& path) {
  if (!simulator.writeConfiguration(path)) return "cannot write " + path;
  // The services file answers for the simulator's keys: a key's own
  // variable left in the shell would win over it.
  for (const ServiceKey& key : ClientConfiguration::keys()) unsetenv(std::string(key.environmentVariable).c_str());
  setenv(ClientConfiguration::kServicesEnvironmentVariable, path.c_str(), 1);
  ClientConfiguration::shared().reload();
  auto served = simulator.configuration();
  for (const auto& name : served->keys()) {
    std::string key = kit::describe(name);
    if (kit::describe(ClientConfiguration::shared().valueForKey(key)) != kit::describe((*served)[key])) {
      return "the client does not read " + key + " from " + path;
    }
  }
  return "";
}

}  // namespace demo
