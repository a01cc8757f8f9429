// The account folder's interface table. See kt_account_scenes.h.
#include "platform/account/kt_account_scenes.h"

#include "platform/account/cxr_real_name_view.h"
#include "platform/account/cxr_sub_name_vc.h"
#include "platform/account/kt_alter_login_vc.h"
#include "platform/account/kt_new_pay_vc.h"
#include "platform/account/kt_notice_vc.h"

void KTAccountRegisterScenes() {
  KTAlterLoginVC::registerScene();
  KTNoticeVC::registerScene();
  CXRSubNameVC::registerScene();
  CXRRealNameView::registerNib();
  KTNewPayVC::registerScene();
}
