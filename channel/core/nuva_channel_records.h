// The role and order records the channel core hands to the light channel:
// plain texts, nil until set, read at once by the light channel and not
// kept.
#pragma once

#include "kit/foundation/object.h"
#include "kit/foundation/string.h"

// A reported game role.
class NUVAChannelRoleInfo : public kit::Object {
 public:
  static kit::Ref<NUVAChannelRoleInfo> make() { return kit::make<NUVAChannelRoleInfo>(); }

  const kit::Ref<kit::String>& serviceId() const { return serviceId_; }
  void setServiceId(kit::Ref<kit::String> v) { serviceId_ = std::move(v); }
  const kit::Ref<kit::String>& serviceName() const { return serviceName_; }
  void setServiceName(kit::Ref<kit::String> v) { serviceName_ = std::move(v); }
  // The channel server's role id from the report's reply.
  const kit::Ref<kit::String>& roleId() const { return roleId_; }
  void setRoleId(kit::Ref<kit::String> v) { roleId_ = std::move(v); }
  const kit::Ref<kit::String>& roleName() const { return roleName_; }
  void setRoleName(kit::Ref<kit::String> v) { roleName_ = std::move(v); }
  const kit::Ref<kit::String>& roleLevel() const { return roleLevel_; }
  void setRoleLevel(kit::Ref<kit::String> v) { roleLevel_ = std::move(v); }
  const kit::Ref<kit::String>& powerValue() const { return powerValue_; }
  void setPowerValue(kit::Ref<kit::String> v) { powerValue_ = std::move(v); }

  std::string description() const override;

 private:
  kit::Ref<kit::String> serviceId_, serviceName_, roleId_, roleName_, roleLevel_, powerValue_;
};

// An order the channel server accepted.
class NUVAChannelOrderInfo : public kit::Object {
 public:
  static kit::Ref<NUVAChannelOrderInfo> make() { return kit::make<NUVAChannelOrderInfo>(); }

  const kit::Ref<kit::String>& goodID() const { return goodID_; }
  void setGoodID(kit::Ref<kit::String> v) { goodID_ = std::move(v); }
  // The amount as the game sent it.
  const kit::Ref<kit::String>& payMoney() const { return payMoney_; }
  void setPayMoney(kit::Ref<kit::String> v) { payMoney_ = std::move(v); }
  // The goods name without spaces.
  const kit::Ref<kit::String>& goodName() const { return goodName_; }
  void setGoodName(kit::Ref<kit::String> v) { goodName_ = std::move(v); }
  // The channel server's order id (not the game's order number).
  const kit::Ref<kit::String>& gameOrderSn() const { return gameOrderSn_; }
  void setGameOrderSn(kit::Ref<kit::String> v) { gameOrderSn_ = std::move(v); }
  const kit::Ref<kit::String>& serviceId() const { return serviceId_; }
  void setServiceId(kit::Ref<kit::String> v) { serviceId_ = std::move(v); }
  const kit::Ref<kit::String>& serviceName() const { return serviceName_; }
  void setServiceName(kit::Ref<kit::String> v) { serviceName_ = std::move(v); }
  // The channel server's role id of the last role report.
  const kit::Ref<kit::String>& roleId() const { return roleId_; }
  void setRoleId(kit::Ref<kit::String> v) { roleId_ = std::move(v); }
  const kit::Ref<kit::String>& roleName() const { return roleName_; }
  void setRoleName(kit::Ref<kit::String> v) { roleName_ = std::move(v); }
  const kit::Ref<kit::String>& powerValue() const { return powerValue_; }
  void setPowerValue(kit::Ref<kit::String> v) { powerValue_ = std::move(v); }
  const kit::Ref<kit::String>& remark() const { return remark_; }
  void setRemark(kit::Ref<kit::String> v) { remark_ = std::move(v); }

  std::string description() const override;

 private:
  kit::Ref<kit::String> goodID_, payMoney_, goodName_, gameOrderSn_, serviceId_, serviceName_, roleId_, roleName_,
      powerValue_, remark_;
};
