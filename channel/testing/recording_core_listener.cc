// The recording core listener. See recording_core_listener.h.

#include "channel/testing/recording_core_listener.h"

#include "kit/dispatch/runloop.h"

void RecordingCoreListener::record(std::string name, kit::Id argument) {
  Call call{std::move(name), std::move(argument), kit::RunLoop::isMainThread()};
  {
    std::lock_guard lock(mutex_);
    calls_.push_back(call);
  }
  if (onCall) onCall(call);
}

std::vector<RecordingCoreListener::Call> RecordingCoreListener::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<RecordingCoreListener::Call> RecordingCoreListener::callsNamed(const std::string& name) const {
  std::lock_guard lock(mutex_);
  std::vector<Call> list;
  for (const auto& call : calls_) {
    if (call.name == name) list.push_back(call);
  }
  return list;
}

size_t RecordingCoreListener::count() const {
  std::lock_guard lock(mutex_);
  return calls_.size();
}

void RecordingCoreListener::clear() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

void RecordingCoreListener::nuva_LightGetChannelLoginCallBack(const kit::Ref<kit::Dictionary>& login) {
  record("login", login);
}
void RecordingCoreListener::getUpdateRoleCallBack(const kit::Ref<kit::Dictionary>& reply) { record("role", reply); }
void RecordingCoreListener::canEnterListenCallBack(const kit::Ref<kit::String>& canEnter) {
  record("canEnter", canEnter);
}
void RecordingCoreListener::getPaySuccessCallBack(const kit::Ref<kit::Dictionary>& order) {
  record("paySuccess", order);
}
void RecordingCoreListener::getPayFailCallBack(const kit::Ref<kit::Dictionary>& order) { record("payFail", order); }
void RecordingCoreListener::logOutCallBack(const kit::Ref<kit::String>& result) { record("logout", result); }
void RecordingCoreListener::rechargeCallBack(const kit::Id& request) { record("recharge", request); }
