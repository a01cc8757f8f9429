// The channel platform's game server, played on 127.0.0.1: the server menu
// ("menu/new"), the store hub's goods and claim status ("gmstore/goodsnew",
// "vipstore/goodsnew", "gmstore/status", "vipstore/status"), the time
// store's and the level store's packs ("timestore/goodsnew",
// "levelstore/goodsnew"), the pack and level orders ("charge/order",
// "charge/levelorder"), the resource hall's goods ("infiniteres/goodsnew"),
// the lucky-player lookups and claims ("luck/index", "luck/get"), the level
// store report ("levelstore/report"), the GM and VIP gift claims
// ("gmstore/index", "vipstore/index", POST), the free-video offer and its
// reward ("freevideogift/index", "freevideogift/get"; the client asks for
// them over plain http, as this server speaks), and the hall's resource
// orders ("charge/resorder"), goods claims ("infiniteres/getcoin",
// "infiniteres/getwelfare", "infiniteres/getsuperwelfare") and prize wheels
// ("infiniteres/welfareturntable", "infiniteres/superwelfareturntable",
// their draws "infiniteres/getwelfareturntable" and
// "infiniteres/getsuperwelfareturntable", and the super wheel's extra
// prize "infiniteres/getsuperprop"). It also serves the activity host's
// voucher page ("activity/128voucher/index.html", a page that asks for the
// role with {"action":"get_remark"}) and the trial video's bytes with the
// duration the test gives. Answers use the game server's
// envelope: "status" ("200" is success), "msg" and "data". It also serves
// the store's pictures: item icons (PNG) and an advertising GIF.
//
// Like the real server it checks every request: the method of the route,
// the required query or form fields (present, not empty, not "(null)"), the
// game id, for the claim status the channel user's token (through the
// token check the simulator wires to the SDK server), and for the orders a
// five-digit "random" and the sign, recomputed from the fields received and
// the order-signing key. A refused request is answered
// {"status":"400"|"401"|"403"|"405","msg":...}.
//
// Tests script it: the menu and its times, the goods and claim status of
// each store, the packs of the time and level stores, the hall's goods, a
// reward per lucky type, the level offer; any route's reply (every answer,
// or only the next ones in a queue); and a fault per route
// (sim::RouteFault). Every request is logged with its method, path, raw
// query and decoded form.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "kit/net/testing/test_server.h"
#include "sim/channel_sdk_server.h"

namespace sim {

// The server menu's timing values, as the game server sends them (texts).
// The free-video offer: the promoted game, its trial video and the reward.
struct FreeVideoOffer {
  std::string isGet = "0";  // "0" while the reward is still to be earned
  std::string items;        // the JSON text of the item array; the server's sample items when empty
  std::string videoTime = "30";
  std::string videoURL;     // the server's own video when empty
  std::string downLink = "https://example.com/starfleet/download";
  std::string gameName = "星河远征";
  std::string gameDesc = "太空策略手游，登录即送战舰";
  std::string gameIcon;     // the server's item icon 1 when empty
  std::string videoPic;     // the server's item icon 2 when empty
};

struct GameMenuTimes {
  std::string timeShopRefresh = "60";
  std::string luckTime = "30";
  std::string dayTime = "10";
  std::string activeTime = "10";
  std::string shopTime = "5";
  // Level ranges "min,max" in which a role's level is reported.
  std::vector<std::string> levelList;
};

class ChannelGameServer : public ChannelRouteServer {
 public:
  // The path under which the routes live: "<origin>/game/<route>".
  static constexpr const char* kBasePath = "/game/";
  // The key the server signs orders with (the client holds its own copy).
  static constexpr const char* kOrderSigningKey = "7c3e91d0b52a4f86e1d9a0c47b3f2e58";

  using MenuTimes = GameMenuTimes;
  enum class Store { GM, VIP };

  // Starts serving on 127.0.0.1 at `port`, or at a port the system picks
  // for 0 (PortUnavailable when it cannot).
  explicit ChannelGameServer(int port = 0);
  ~ChannelGameServer();
  ChannelGameServer(const ChannelGameServer&) = delete;
  ChannelGameServer& operator=(const ChannelGameServer&) = delete;

  // The game the server knows; other game ids are refused.
  void setGameId(std::string gameId);
  // Decides whether a channel user's token is valid; unset, any token that
  // is present passes.
  void setTokenCheck(std::function<bool(const std::string& superUserId, const std::string& token)> check);

  // ---- Scripted state
  // The menu ids of "menu/new" ("1" GM, "2" VIP, "3" time store, "4"
  // vouchers, "8" level gifts) and its "time" object. By default
  // ["1","2","4","8"] (no time store) with the default times.
  void setMenu(std::vector<std::string> ids, MenuTimes times = {});
  // The "data" of a store's goods answer, as JSON text ({"list": [[items]],
  // "total_money", "desc"}); "[]" or "{}" for a store without goods.
  void setGoods(Store store, std::string dataJSON);
  // The claim status a store's status answer adds at its top level: item id
  // -> status.
  void setClaimStatus(Store store, std::map<std::string, std::string> statusById);
  // The "data" of the resource hall's goods answer, as JSON text.
  void setResourceGoods(std::string dataJSON);
  // The reward of a lucky type ("luck", "day", "active") as the JSON text of
  // its "data"; empty: no reward (the lookup answers "500"). A claimed
  // reward is gone.
  void setLuck(const std::string& type, std::string dataJSON);
  // The "data" of the level store report's answer, as JSON text ("{}" by
  // default: no offer).
  void setLevelOffer(std::string dataJSON);
  // The "data" of the time store's pack list ({"gift_no_name",
  // "notice_content", "list"}) and of the level store's ({"notice_content",
  // "list"}), as JSON text; samples by default.
  void setTimeStorePacks(std::string dataJSON);
  void setLevelStorePacks(std::string dataJSON);
  // The free-video offer of "freevideogift/index"; a claim with
  // "freevideogift/get" sets its "is_get" to "1".
  void setFreeVideoOffer(FreeVideoOffer offer);
  // The duration the trial video announces (X-Content-Duration), in
  // seconds; 20 at start.
  void setVideoDuration(double seconds);
  // The addresses of the trial video, of the activity host's base (the
  // client's ChannelActivityHost) and of the voucher page.
  std::string videoURL() const;
  std::string activityBaseURL() const;
  std::string voucherPageURL() const;

  // The number the next accepted order gets (orders are numbered upwards;
  // the answer carries it as a JSON number). 88 at start.
  void setNextOrderId(long orderId);

  // ---- The hall's wheels
  // The "data" of the welfare and super wheels' answers, as JSON text
  // (samples with this server's icons by default). Draws take the spins
  // from "user_welfare_nums" / "user_superwelfare_nums" (refused with
  // "500" when too few), a super draw adds to "use_superwelfare_nums", and
  // the extra prize is given once "use_superwelfare_nums" reaches the
  // extra prize's "nums" (which it then takes off). A spin claim of goods
  // adds its spins.
  void setWelfareWheel(std::string dataJSON);
  void setSuperWheel(std::string dataJSON);
  // The prizes a draw gives ("prop_list"), as the JSON text of an array; a
  // draw of n gives the first n (repeating the list when shorter).
  void setDrawPrizes(std::string prizesJSON);
  // The goods claimed ("coin|5", "welfare|5", "super|5"), in order, and the
  // extra prizes given.
  std::vector<std::string> goodsClaims() const;
  int extraPrizesGiven() const;

  // The reply of a route for every request, as JSON text, instead of the
  // server's own; empty restores it.
  void setReply(const std::string& route, std::string json);
  // Replies for the next requests of a route, one each, before the scripted
  // reply or the server's own.
  void queueReply(const std::string& route, std::string json);

  // ---- What came in
  // An order the server numbered: the route it came by, the number its
  // answer carried and the goods ("good_id") it is for.
  struct NumberedOrder {
    std::string route;
    std::string orderId;
    std::string goodId;
  };
  // The orders the server numbered itself, in order (an order a scripted
  // reply answered is not among them).
  std::vector<NumberedOrder> numberedOrders() const;
  // The lucky types claimed successfully, in order.
  std::vector<std::string> claims() const;
  // The gifts claimed with "gmstore/index" and "vipstore/index", as
  // "<gm_id or vip_id>/<gift_id>", in order. A claimed gift's entry ("id")
  // reads "1" in its store's claim status from then on.
  std::vector<std::string> giftClaims(Store store) const;

  // ---- Pictures
  // The address of item icon `index` (a PNG) and of the advertising GIF.
  std::string itemIconURL(int index) const;
  std::string adPictureURL() const;

  // Sample data the server starts with (and the demo shows).
  // GM and VIP gifts with their ids, this server's icons and descriptions.
  std::string sampleGMGoods() const;
  std::string sampleVIPGoods() const;
  static std::string sampleResourceGoods();
  static std::string sampleLuckReward(const std::string& title);
  // Packs whose items carry this server's icons.
  std::string sampleTimeStorePacks() const;
  std::string sampleLevelStorePacks() const;
  // A level offer with this server's advertising GIF and the sample items.
  std::string sampleLevelOffer() const;
  // The JSON text of three reward items (coins, diamonds, stamina) with
  // this server's icons: the level offer's and the free video's reward.
  std::string sampleRewardItems() const;
  // Hall goods, wheels and prizes with this server's icons.
  std::string sampleHallGoods() const;
  std::string sampleWelfareWheel() const;
  std::string sampleSuperWheel() const;
  std::string samplePrizes() const;

 private:
  kit::test::TestResponse answer(const std::string& route, const kit::test::RecordedRequest& request);
  // The refusal of a request that misses or mismatches something; empty
  // when it passes.
  std::string refusalOf(const std::string& route, const ChannelRequest& request);
  std::string answerLocked(const std::string& route, const ChannelRequest& request);
  std::string hallAnswerLocked(const std::string& route, const ChannelRequest& request);
  // The order checks: five-digit random and the sign; empty when it passes.
  static std::string orderRefusal(const std::string& route, const ChannelRequest& request);

  mutable std::mutex mutex_;
  std::string gameId_ = "1001";
  std::function<bool(const std::string&, const std::string&)> tokenCheck_;
  std::vector<std::string> menu_{"1", "2", "4", "8"};
  MenuTimes times_;
  std::map<Store, std::string> goods_;
  std::map<Store, std::map<std::string, std::string>> claimStatus_;
  std::string resourceGoods_;
  std::map<std::string, std::string> luck_;
  std::string levelOffer_ = "{}";
  std::string timeStorePacks_;
  std::string levelStorePacks_;
  long nextOrderId_ = 88;
  std::vector<NumberedOrder> numbered_;
  FreeVideoOffer freeVideo_;
  double videoDuration_ = 20;
  std::map<Store, std::vector<std::string>> giftClaims_;
  std::map<std::string, std::string> replies_;
  std::map<std::string, std::deque<std::string>> queued_;
  std::vector<std::string> claims_;
  std::string welfareWheel_, superWheel_, drawPrizes_;
  std::set<std::string> goodsClaims_;
  std::vector<std::string> goodsClaimLog_;
  int extraPrizes_ = 0;
};

}  // namespace sim
