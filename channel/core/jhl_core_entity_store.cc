// The channel core's store hub and resource hall: collapsing repeated
// openings, loading the GM and VIP goods with their claim status side by
// side and opening the hub only when every part succeeded, the role
// description the overlays sign with, and the hall or its not-open pop-up.
// See jhl_core_entity.h.
//
// Everything here runs on the main queue: goods answers arrive there, and
// status answers (POST replies on the URL session's queue) hop there before
// they are merged, so the kept goods are only ever written on one queue.

#include "channel/core/jhl_core_entity.h"
#include "channel/core/nuva_channel_reply.h"
#include "channel/core/nuva_game_reply.h"
#include "channel/core/nuva_log.h"
#include "channel/core/nuva_network_manager.h"
#include "channel/core/nuva_store_overlays.h"
#include "kit/dispatch/bind_post.h"
#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"
#include "kit/dispatch/thread.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/log.h"
#include "kit/foundation/values.h"
#include "ui/widgets/nuva_progress_hud.h"

namespace {

// One loading of the hub: two parts (GM and VIP, each goods then status),
// joined on the main queue.
struct HubLoad {
  int pendingParts = 2;
  bool finished = false;
};

kit::Ref<kit::String> textOrEmpty(const kit::Ref<kit::String>& text) { return text ? text : kit::str(""); }

}  // namespace

void JHLCoreEntity::performCollapsed(const char* name, void (JHLCoreEntity::*step)()) {
  KIT_CHECK_MAIN_THREAD();
  kit::Weak<JHLCoreEntity> weak = weakSelf<JHLCoreEntity>();
  auto& loop = kit::RunLoop::main();
  loop.cancelPreviousPerformRequests(this, name, nullptr);
  loop.performAfter(this, name, nullptr, kCollapseDelay, [weak, step] {
    if (auto self = weak.lock()) ((*self).*step)();
  });
}

// ---- The store hub --------------------------------------------------------------------------

void JHLCoreEntity::nuva_openGmShop() {
  KIT_CHECK_MAIN_THREAD();
  performCollapsed("openActivityHall", &JHLCoreEntity::openActivityHall);
}

void JHLCoreEntity::openActivityHall() {
  if (!kit::isSet(nuvagameid_)) {
    NUVAProgressHUD::showErrorWithStatus(kit::str("请先登录"));
    return;
  }
  if (!kit::isSet(roleid_)) return;
  if (menuArray()->count() > 0) {
    getUsefulData();
    return;
  }
  kit::Weak<JHLCoreEntity> weak = weakSelf<JHLCoreEntity>();
  showMenu([weak](const kit::Id&) {
    if (auto self = weak.lock()) self->getUsefulData();
  });
}

void JHLCoreEntity::getUsefulData() {
  auto load = std::make_shared<HubLoad>();
  kit::Weak<JHLCoreEntity> weak = weakSelf<JHLCoreEntity>();
  // Called on the main queue when a part has succeeded or failed.
  auto partEnded = [weak, load](bool succeeded) {
    if (load->finished) return;
    if (!succeeded) {
      load->finished = true;
      kit::log("store hub: a part of its data could not be loaded; the hub stays closed");
      return;
    }
    if (--load->pendingParts > 0) return;
    load->finished = true;
    if (auto self = weak.lock()) self->toGmShop();
  };
  kit::Queue::main().after(kHubLoadTimeout, [load] {
    if (load->finished) return;
    load->finished = true;
    kit::log("store hub: loading took too long; the hub stays closed");
  });
  for (bool vip : {false, true}) {
    reloadGoods(
        vip,
        [weak, vip, partEnded](const kit::Id&) {
          auto self = weak.lock();
          if (!self) return;
          self->reloadStatus(
              vip, [partEnded](const kit::Id&) { partEnded(true); }, [partEnded] { partEnded(false); });
        },
        [partEnded] { partEnded(false); });
  }
}

void JHLCoreEntity::reloadGmDataWithSuccessBlock(AnswerBlock success, std::function<void()> failure) {
  reloadGoods(false, std::move(success), std::move(failure));
}

void JHLCoreEntity::reloadVIPDataWithSuccessBlock(AnswerBlock success, std::function<void()> failure) {
  reloadGoods(true, std::move(success), std::move(failure));
}

void JHLCoreEntity::reloadGetStatusData(AnswerBlock success, std::function<void()> failure) {
  reloadStatus(false, std::move(success), std::move(failure));
}

void JHLCoreEntity::reloadGetVIPStatusData(AnswerBlock success, std::function<void()> failure) {
  reloadStatus(true, std::move(success), std::move(failure));
}

void JHLCoreEntity::reloadGoods(bool vip, AnswerBlock success, std::function<void()> failure) {
  kit::Weak<JHLCoreEntity> weak = weakSelf<JHLCoreEntity>();
  NUVANetworkManager::getWithQuery(
      gameURL(kit::str(vip ? "vipstore/goodsnew" : "gmstore/goodsnew")), {{"game_id", nuvagameid_}, {"role_id", roleid_}},
      [weak, vip, success, failure](kit::Id answer) {
        auto self = weak.lock();
        if (!self) return;
        kit::log("%s goods: %@", vip ? "VIP" : "GM", NUVALog::describe(answer));
        if (!NUVAGameReply::isSuccess(answer)) {
          if (failure) failure();
          return;
        }
        // Goods without entries keep the goods loaded before.
        kit::Id data = answer["data"];
        if (NUVAChannelReply::hasEntries(data)) {
          // Kept as the texts the gift pane shows: a list or a dictionary
          // in their place shows nothing.
          auto total = kit::str(kit::shownText(data["total_money"]));
          auto desc = kit::str(kit::shownText(data["desc"]));
          auto list = NUVAGameReply::listOf(data["list"]);
          if (vip) {
            self->viptotal_money_ = total;
            self->vipdesc_ = desc;
            self->VIPArray_ = list;
          } else {
            self->gmtotal_money_ = total;
            self->gmdesc_ = desc;
            self->responseArray_ = list;
          }
        }
        if (success) success(answer);
      },
      [vip, failure](kit::Ref<kit::String> error) {
        kit::log("%s goods failed: %@", vip ? "VIP" : "GM", error);
        if (failure) failure();
      });
}

void JHLCoreEntity::reloadStatus(bool vip, AnswerBlock success, std::function<void()> failure) {
  auto params = kit::dict(
      {{"game_id", nuvagameid_}, {"token", token_}, {"super_user_id", super_user_id_}, {"role_id", roleid_}});
  if (!vip) registerGiftOrderObservers();
  // POST answers come in on the URL session's queue; the goods are merged
  // and the chain goes on on the main queue.
  auto merge = kit::bindPost(kit::Queue::main(), weakSelf<JHLCoreEntity>(),
                             [vip, success](JHLCoreEntity& self, const kit::Id& answer) {
                               // Whatever the status says, the goods go on with what it holds.
                               self.mergeClaimStatus(vip, answer);
                               if (success) success(answer);
                             });
  auto fail = kit::bindPost(kit::Queue::main(), [failure] {
    if (failure) failure();
  });
  NUVANetworkManager::PostWithURL(
      gameURL(kit::str(vip ? "vipstore/status" : "gmstore/status")), params, merge,
      [vip, fail](kit::Ref<kit::String> error) {
        kit::log("%s claim status failed: %@", vip ? "VIP" : "GM", error);
        fail();
      });
}

void JHLCoreEntity::mergeClaimStatus(bool vip, const kit::Id& answer) {
  auto goods = vip ? VIPArray() : responseArray();
  if (goods->count() == 0) return;
  auto merged = NUVAGameReply::mergedClaimStatus(goods, answer, vip);
  if (vip) {
    VIPArray_ = merged;
  } else {
    responseArray_ = merged;
  }
}

void JHLCoreEntity::toGmShop() {
  auto form = NUVAStoreOverlays::currentForm();
  kit::log(form == NUVAOverlayForm::Portrait ? "竖屏" : "横屏");
  auto overlays = NUVAStoreOverlays::installed();
  auto hub = overlays ? overlays->makeGMShopView(form) : nullptr;
  if (!hub) {
    kit::log("store hub: no store hub view is installed; nothing is shown");
    return;
  }
  isHallOpen_ = true;
  hub->setShop_type(shop_type_);
  hub->setPlayerDic(playerDic_);
  hub->setResponseArray(responseArray());
  hub->setVIPArray(VIPArray());
  hub->setMenuBtnArray(menuArray());
  hub->setToken(token_);
  hub->setSuper_user_id(super_user_id_);
  hub->setGmdesc(gmdesc_);
  hub->setVipdesc(vipdesc_);
  hub->setGmtotal_money(gmtotal_money_);
  hub->setViptotal_money(viptotal_money_);
  hub->setUserInfo(userInfo());
  hub->setRoleid(roleid_);
  kit::Weak<JHLCoreEntity> weak = weakSelf<JHLCoreEntity>();
  hub->setRechargeBlock([weak](const kit::Id& request) {
    auto self = weak.lock();
    if (!self) return;
    if (auto listener = self->delegate_.lock()) listener->rechargeCallBack(request);
  });
  bool portrait = form == NUVAOverlayForm::Portrait;
  // The hub closes on order notifications too, which come on the network's
  // thread: there the state changes hop to the main queue.
  auto markClosed = [](JHLCoreEntity& self) {
    self.isHallOpen_ = false;
    self.shop_type_ = kit::str("3");
  };
  auto closedLater = kit::bindPost(kit::Queue::main(), weak, markClosed);
  hub->setCloseBlock([weak, closedLater, markClosed, portrait] {
    if (portrait) kit::log("关闭");
    if (!kit::Thread::isMainThread()) {
      closedLater();
      return;
    }
    if (auto self = weak.lock()) markClosed(*self);
  });
  hub->show();
}

kit::Ref<kit::String> JHLCoreEntity::userInfo() const {
  auto description = kit::dict({{"super_user_id", textOrEmpty(super_user_id_)},
                                {"super_role_id", textOrEmpty(roleid_)},
                                {"super_token", textOrEmpty(token_)},
                                {"cp_role_id", textOrEmpty(cp_role_id_)},
                                {"game_id", textOrEmpty(nuvagameid_)},
                                {"service_id", textOrEmpty(service_id_)},
                                {"channel_id", textOrEmpty(platform_id_)},
                                {"service_name", textOrEmpty(service_name_)},
                                {"role_name", textOrEmpty(role_name_)},
                                {"role_level", textOrEmpty(role_level_)}});
  auto data = kit::JSONSerialization::dataWithJSONObject(description, kit::JSONWritingPrettyPrinted);
  return kit::str(data ? data->toString() : "{}");
}

// ---- The resource hall ------------------------------------------------------------------------

void JHLCoreEntity::nuva_openResourceStore() {
  KIT_CHECK_MAIN_THREAD();
  if (!kit::isSet(nuvagameid_)) {
    NUVAProgressHUD::showErrorWithStatus(kit::str("请先登录"));
    return;
  }
  if (!kit::isSet(roleid_)) {
    NUVAProgressHUD::showErrorWithStatus(kit::str("请先调用上报角色方法"));
    return;
  }
  kit::Weak<JHLCoreEntity> weak = weakSelf<JHLCoreEntity>();
  NUVANetworkManager::getWithQuery(
      gameURL(kit::str("infiniteres/goodsnew")),
      {{"game_id", nuvagameid_}, {"role_id", roleid_}, {"server_id", service_id_}},
      [weak](kit::Id answer) {
        auto self = weak.lock();
        if (!self) return;
        kit::log("resource hall goods: %@", NUVALog::describe(answer));
        if (!NUVAGameReply::isSuccess(answer)) return;
        if (NUVAChannelReply::hasEntries(answer["data"])) {
          self->responseData_ = kit::as<kit::Dictionary>(answer);
          self->registerResourceOrderObserver();
          self->performCollapsed("openResourceStore", &JHLCoreEntity::openResourceStore);
          return;
        }
        auto overlays = NUVAStoreOverlays::installed();
        auto notOpen = overlays ? overlays->makeNotOpenView() : nullptr;
        if (!notOpen) {
          kit::log("resource hall: not open, and no not-open view is installed");
          return;
        }
        notOpen->show();
      },
      [](kit::Ref<kit::String> error) { kit::log("resource hall goods failed: %@", error); });
}

void JHLCoreEntity::openResourceStore() {
  auto overlays = NUVAStoreOverlays::installed();
  auto hall = overlays ? overlays->makeResourceHallView(NUVAStoreOverlays::currentForm()) : nullptr;
  if (!hall) {
    kit::log("resource hall: no hall view is installed; nothing is shown");
    return;
  }
  hall->setUserInfo(userInfo());
  hall->setResponseData(responseData_);
  hall->show();
}
