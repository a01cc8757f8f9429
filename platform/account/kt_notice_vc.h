// KTNoticeVC: the platform's text notice shown between login and the
// sub-account choice. The owner adds the page's view, puts the notice into
// its read-only text view and sets noticeHiddenBlock, which the close
// button calls with the page (the owner then takes the page away). Scene
// "KTNoticeVC" of the storyboard "KTUserShow". Main thread.
#pragma once

#include <functional>

#include "kit/ui/button.h"
#include "kit/ui/text_view.h"
#include "kit/ui/view_controller.h"

class KTNoticeVC : public kit::ViewController {
 public:
  static constexpr const char* Storyboard = "KTUserShow";
  static constexpr const char* Identifier = "KTNoticeVC";
  using HiddenBlock = std::function<void(const kit::Ref<KTNoticeVC>& notice)>;

  // The scene from its storyboard.
  static kit::Ref<KTNoticeVC> instantiate();
  // Registers the scene with the scene registry (once; also done when the
  // program starts).
  static void registerScene();

  HiddenBlock noticeHiddenBlock;

  // The scene's outlets.
  kit::Ref<kit::TextView> textView() const { return textView_.lock(); }
  kit::Ref<kit::Button> closeBtn() const { return closeBtn_.lock(); }

  // The scene: a dimmed page holding a white card with the title, the
  // text and the close button.
  void loadView() override;
  // The text view becomes read-only.
  void viewDidLoad() override;
  // Calls noticeHiddenBlock with the page, when there is one.
  void doCloseBtnClick();

 private:
  kit::Weak<kit::TextView> textView_;
  kit::Weak<kit::Button> closeBtn_;
};
