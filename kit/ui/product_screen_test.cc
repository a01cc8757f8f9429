// A screen shaped like the product's pop-ups, driven as a player would:
// built in viewDidLoad from named quantities, a tap on its button closes it,
// and its hint hides itself after three seconds of virtual time.

#include <gtest/gtest.h>

#include "kit/dispatch/runloop.h"
#include "kit/foundation/values.h"
#include "kit/testing/virtual_clock_fixture.h"
#include "kit/ui/application.h"
#include "kit/ui/button.h"
#include "kit/ui/device_profile.h"
#include "kit/ui/label.h"
#include "kit/ui/ui_test_driver.h"
#include "kit/ui/view_controller.h"
#include "kit/ui/window.h"

namespace {

class NoticeController : public kit::ViewController {
 public:
  explicit NoticeController(kit::Id reply) : reply_(std::move(reply)) {}
  bool closed = false;
  kit::Ref<kit::Label> hint;

 protected:
  void viewDidLoad() override {
    const double W = view()->bounds().width(), H = view()->bounds().height();
    const double cardW = 355, cardH = 295;
    auto card = kit::View::make({(W - cardW) / 2, (H - cardH) / 2, cardW, cardH});
    card->setBackgroundColor(kit::Color::whiteColor());
    view()->addSubview(card);

    auto title = kit::Label::make({0, 20, cardW, 30});
    title->setText(kit::isSet(reply_["data"]["notice_title"]) ? kit::describe(reply_["data"]["notice_title"]) : "公告");
    card->addSubview(title);

    hint = kit::Label::make({0, 60, cardW, 20});
    hint->setText("三秒后消失");
    card->addSubview(hint);
    kit::RunLoop::main().performAfter(this, "hideHint", nullptr, 3.0, [this] { hint->setHidden(true); });

    auto sure = kit::Button::make({(cardW - 120) / 2, cardH - 60, 120, 40});
    sure->setTitle("知道了");
    sure->addAction(kit::ControlEvent::TouchUpInside, [weak = weakSelf<NoticeController>()] {
      if (auto self = weak.lock()) self->closed = true;
    });
    card->addSubview(sure);
  }

 private:
  kit::Id reply_;
};

class ProductScreen : public kit::test::VirtualClockTest {
 protected:
  kit::DeviceProfileScope profile{kit::DeviceProfile::phone375x667()};
};

TEST_F(ProductScreen, PlayerReadsTapsAndTheHintTimesOut) {
  auto reply = kit::dict({{"code", 200}, {"data", kit::dict({{"notice_title", "维护公告"}})}});
  auto notice = kit::make<NoticeController>(reply);
  auto window = kit::Window::make();
  window->setRootViewController(notice);
  window->makeKeyAndVisible();

  ASSERT_TRUE(kit::test::findLabel(*window, "维护公告"));
  EXPECT_EQ(kit::test::frameInWindow(*kit::test::findButton(*window, "知道了")),
            (kit::Rect{10 + 117.5, 186 + 235, 120, 40}));

  EXPECT_FALSE(notice->hint->isHidden());
  advance(2.9);
  EXPECT_FALSE(notice->hint->isHidden());
  advance(0.1);
  EXPECT_TRUE(notice->hint->isHidden());

  ASSERT_TRUE(kit::test::tap(kit::test::findButton(*window, "知道了")));
  EXPECT_TRUE(notice->closed);
}

}  // namespace
