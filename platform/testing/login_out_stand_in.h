// What the platform facade's logout does to the floating ball, for tests
// until the facade exists: hide the ball's window, cancel the play-time
// timer and clear it. Header only; not part of the product.
#pragma once

#include "platform/account/cxr_helper_btn_port.h"

inline void loginOutBallStandIn() {
  auto* ball = CXRHelperBtnPort::shared();
  if (!ball) return;
  ball->hide();
  if (auto timer = ball->timer()) {
    timer->cancel();
    ball->setTimer(nullptr);
  }
}
