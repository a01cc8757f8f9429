// KTGameOverView: the overlay that ends play when a minor's daily time is
// used up. It dims whatever it covers (black at 20 %), swallows every
// touch, and shows a white 300 x 300 box in its centre with the title
// "防沉迷提示" and, in red, the reason. It has no way out: it stays until
// the process ends. Main thread.
//
//   auto over = KTGameOverView::make(kit::Screen::mainScreen()->bounds());
//   CXRWindowManager::topWindow()->addSubview(over);
#pragma once

#include "kit/ui/label.h"
#include "kit/ui/view.h"

class KTGameOverView : public kit::View {
 public:
  static kit::Ref<KTGameOverView> make(const kit::Rect& frame) { return kit::make<KTGameOverView>(frame); }
  explicit KTGameOverView(const kit::Rect& frame);

  // The white box and its two labels.
  const kit::Ref<kit::View>& box() const { return box_; }
  const kit::Ref<kit::Label>& titleLabel() const { return titleLabel_; }
  const kit::Ref<kit::Label>& messageLabel() const { return messageLabel_; }

  static constexpr const char* Title = "防沉迷提示";
  static constexpr const char* Message = "根据国家规定，未成年玩家每日在线时间受限。您今天的游戏时间已经到达上限。";

 private:
  void _initUI();

  kit::Ref<kit::View> box_;
  kit::Ref<kit::Label> titleLabel_;
  kit::Ref<kit::Label> messageLabel_;
};
