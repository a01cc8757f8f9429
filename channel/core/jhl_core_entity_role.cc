// The channel core's role report: check the game's role, post it signed to
// "role/index", keep it for orders and stores, and hand it to the platform
// through the light channel. See jhl_core_entity.h.

#include "channel/core/jhl_core_entity.h"
#include "channel/core/nuva_channel_reply.h"
#include "channel/core/nuva_data_format.h"
#include "channel/core/nuva_log.h"
#include "channel/core/nuva_network_manager.h"
#include "kit/dispatch/thread_check.h"
#include "kit/foundation/log.h"
#include "kit/foundation/values.h"
#include "ui/widgets/nuva_progress_hud.h"

void JHLCoreEntity::nuva_superRoleUpdate(const kit::Ref<kit::String>& roleJSON) {
  KIT_CHECK_MAIN_THREAD();
  kit::Id input = dictionaryWithJsonString(roleJSON);
  auto field = [&input](const char* key) { return NUVADataFormat::textOfValue(input[key]); };
  auto superUserId = field("super_user_id");
  auto roleId = field("role_id");
  auto serviceId = field("service_id");
  auto serviceName = field("service_name");
  auto roleName = field("role_name");
  auto roleLevel = field("role_level");
  auto powerValue = field("power_value");
  auto describe = field("describe");
  auto money = field("money");
  auto experience = field("experience");

  // The sign covers the values as received, before any default below.
  auto random = NUVADataFormat::NUVAMD5GetRandomStr();
  auto sign = NUVADataFormat::NUVAMD5WithNSString(
      kit::formatString("%@%@%@%@%@", superUserId, nuvagameid_, serviceId, random, kSigningSalt));

  if (NUVADataFormat::isBlankString(powerValue)) powerValue = kit::str("1");

  const std::pair<kit::Id, const char*> checks[] = {
      {superUserId, "请先获取登录回调的super_user_id"},
      {roleId, "roleid为空"},
      {nuvagameid_, "game_id为空"},
      {serviceId, "service_id为空"},
      {serviceName, "service_name为空"},
      {roleName, "role_name为空"},
      {roleLevel, "role_level为空"},
  };
  for (const auto& [value, text] : checks) {
    if (!kit::isSet(value)) {
      NUVAProgressHUD::showErrorWithStatus(kit::str(text));
      return;
    }
  }
  if (!kit::isSet(experience)) experience = kit::str("");
  if (!kit::isSet(describe)) describe = kit::str("");
  if (!kit::isSet(money)) money = kit::str("0");

  auto params = kit::dict({{"super_user_id", superUserId},
                           {"game_id", nuvagameid_},
                           {"service_id", serviceId},
                           {"service_name", serviceName},
                           {"role_id", roleId},
                           {"role_name", roleName},
                           {"role_level", roleLevel},
                           {"power_value", powerValue},
                           {"describe", describe},
                           {"money", money},
                           {"experience", experience},
                           {"random", random},
                           {"sign", sign},
                           {"os_type", "2"}});
  postToSDK("role/index", "role report", params, &JHLCoreEntity::handleRoleReply);
}

void JHLCoreEntity::handleRoleReply(const kit::Id& reply, const kit::Ref<kit::Dictionary>& sent) {
  // A success without the channel's role id is no report the platform or
  // the orders could use: refused like any other, it keeps the role the
  // core had.
  if (!NUVAChannelReply::isSuccess(reply) || !NUVAChannelReply::hasRoleId(reply)) {
    NUVAProgressHUD::showErrorWithStatus(NUVAChannelReply::refusalText(reply));
    return;
  }
  kit::Id values = sent;
  rolesurperdic_ = kit::as<kit::Dictionary>(reply);
  cp_role_id_ = kit::text(values["role_id"]);
  service_id_ = kit::text(values["service_id"]);
  service_name_ = kit::text(values["service_name"]);
  role_name_ = kit::text(values["role_name"]);
  role_level_ = kit::text(values["role_level"]);
  power_value_ = kit::text(values["power_value"]);
  roleid_ = NUVAChannelReply::roleId(reply);

  auto role = NUVAChannelRoleInfo::make();
  role->setServiceId(service_id_);
  role->setServiceName(service_name_);
  role->setRoleId(roleid_);
  role->setRoleName(role_name_);
  role->setRoleLevel(role_level_);
  role->setPowerValue(power_value_);
  libNUVALightChannel::sharedInstance()->nuvaChannel_superRoleUpdate(role);
  // The once-a-day menu; the first report since launch or logout starts the
  // channel's timed offers (menu, lucky player), later ones only the level
  // check.
  startOffersAfterRoleReport();
}

void JHLCoreEntity::nuvaChannel_getUpdateRoleCallBack(const kit::Ref<kit::Dictionary>&) {
  KIT_CHECK_MAIN_THREAD();
  auto reply = rolesurperdic_;
  notifyListener([reply](JHLCoreEntityDelegate& listener) { listener.getUpdateRoleCallBack(reply); });
}
