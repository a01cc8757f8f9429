// The user centre's page scenes. See kt_su_pages.h.
#include "platform/usercenter/kt_su_pages.h"

#include "platform/usercenter/kt_su_home_msg_vc.h"
#include "platform/usercenter/kt_su_home_vc.h"
#include "platform/usercenter/kt_su_kaifu_vc.h"
#include "platform/usercenter/kt_su_service_vc.h"
#include "platform/usercenter/kt_su_trade_vc.h"
#include "platform/usercenter/kt_su_welfare_vc.h"

void KTSuRegisterPages() {
  KTSuHomeVC::registerScene();
  KTSuKaiFuVC::registerScene();
  KTSuTradeVC::registerScene();
  KTSuWelfareVC::registerScene();
  KTSuServiceVC::registerScene();
  KTSuHomeMsgVC::registerScene();
}
