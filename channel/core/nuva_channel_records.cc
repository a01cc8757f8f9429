// Log texts of the channel's role and order records.

#include "channel/core/nuva_channel_records.h"

#include "kit/foundation/format.h"

std::string NUVAChannelRoleInfo::description() const {
  return kit::formatString("<NUVAChannelRoleInfo serviceId=%@ serviceName=%@ roleId=%@ roleName=%@ roleLevel=%@ "
                           "powerValue=%@>",
                           serviceId_, serviceName_, roleId_, roleName_, roleLevel_, powerValue_);
}

std::string NUVAChannelOrderInfo::description() const {
  return kit::formatString("<NUVAChannelOrderInfo goodID=%@ payMoney=%@ goodName=%@ gameOrderSn=%@ serviceId=%@ "
                           "serviceName=%@ roleId=%@ roleName=%@ powerValue=%@ remark=%@>",
                           goodID_, payMoney_, goodName_, gameOrderSn_, serviceId_, serviceName_, roleId_, roleName_,
                           powerValue_, remark_);
}
