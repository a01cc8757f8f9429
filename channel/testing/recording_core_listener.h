// A listener of the channel core for tests: keeps every call in order with
// its argument and whether it came on the main thread.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "channel/core/jhl_core_entity.h"

class RecordingCoreListener : public JHLCoreEntityDelegate {
 public:
  struct Call {
    std::string name;
    kit::Id argument;
    bool onMain = false;
  };

  std::vector<Call> calls() const;
  // The calls of one name.
  std::vector<Call> callsNamed(const std::string& name) const;
  size_t count() const;
  void clear();
  // Called after each recorded call (on the caller's thread).
  std::function<void(const Call&)> onCall;

  void nuva_LightGetChannelLoginCallBack(const kit::Ref<kit::Dictionary>& login) override;
  void getUpdateRoleCallBack(const kit::Ref<kit::Dictionary>& reply) override;
  void canEnterListenCallBack(const kit::Ref<kit::String>& canEnter) override;
  void getPaySuccessCallBack(const kit::Ref<kit::Dictionary>& order) override;
  void getPayFailCallBack(const kit::Ref<kit::Dictionary>& order) override;
  void logOutCallBack(const kit::Ref<kit::String>& result) override;
  void rechargeCallBack(const kit::Id& request) override;

 private:
  void record(std::string name, kit::Id argument);

  mutable std::mutex mutex_;
  std::vector<Call> calls_;
};
