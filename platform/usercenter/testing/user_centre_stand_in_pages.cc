// The user centre's pages for the container's tests. See
// user_centre_stand_in_pages.h.
#include "platform/usercenter/testing/user_centre_stand_in_pages.h"

#include "platform/usercenter/kt_su_pages.h"

void registerUserCentreStandInPages() { KTSuRegisterPages(); }
