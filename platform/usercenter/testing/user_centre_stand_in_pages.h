// Plain stand-ins for the user centre's home, server-openings, welfare and
// trade scenes of the storyboard "KTSuspendVC", for the container's tests.
// Each is a page with one label (its title); the home stand-in has the
// account-switch button "切换账号", which calls the block the container
// gives it. A scene that is already registered is left as it is.
#pragma once

#include <functional>

#include "kit/ui/button.h"
#include "kit/ui/view_controller.h"
#include "platform/usercenter/kt_suspend_vc.h"

class KTSuStandInPage : public kit::ViewController {
 public:
  explicit KTSuStandInPage(std::string title) : title_(std::move(title)) {}
  void viewDidLoad() override;
  const std::string& pageTitle() const { return title_; }

 private:
  std::string title_;
};

class KTSuStandInHomePage : public KTSuStandInPage, public KTSuLoginOutPage {
 public:
  static constexpr const char* SwitchTitle = "切换账号";
  KTSuStandInHomePage() : KTSuStandInPage("首页") {}
  void viewDidLoad() override;
  void setLoginOutBlock(std::function<void()> block) override { loginOutBlock_ = std::move(block); }
  const std::function<void()>& loginOutBlock() const { return loginOutBlock_; }

 private:
  std::function<void()> loginOutBlock_;
};

// Registers the four stand-ins where the storyboard lacks the scene.
void registerUserCentreStandInPages();
