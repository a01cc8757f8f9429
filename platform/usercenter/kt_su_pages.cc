// The user centre's interface table. See kt_su_pages.h.
#include "platform/usercenter/kt_su_pages.h"

#include "platform/usercenter/kt_gift_cells.h"
#include "platform/usercenter/kt_kaifu_cell.h"
#include "platform/usercenter/kt_su_coupon_cell.h"
#include "platform/usercenter/kt_su_home_cell.h"
#include "platform/usercenter/kt_su_home_msg_cell.h"
#include "platform/usercenter/kt_su_home_msg_vc.h"
#include "platform/usercenter/kt_su_home_vc.h"
#include "platform/usercenter/kt_su_kaifu_vc.h"
#include "platform/usercenter/kt_su_service_vc.h"
#include "platform/usercenter/kt_su_trade_vc.h"
#include "platform/usercenter/kt_su_web_vc.h"
#include "platform/usercenter/kt_su_welfare_vc.h"
#include "platform/usercenter/kt_trade_cells.h"

void KTSuRegisterPages() {
  KTSuHomeVC::registerScene();
  KTSuKaiFuVC::registerScene();
  KTSuWelfareVC::registerScene();
  KTSuTradeVC::registerScene();
  KTSuServiceVC::registerScene();
  KTSuHomeMsgVC::registerScene();
  KTSuWebVC::registerScene();

  KTSuHomeCell::registerNib();
  KTSuHomeMsgCell::registerNib();
  KTKaifuCell::registerNib();
  KTGetGiftCell::registerNib();
  KTCopyGiftCell::registerNib();
  KTSuTradeHeadCell::registerNib();
  KTTradeCell::registerNib();
  KTSuCouponCell::registerNib();
}
