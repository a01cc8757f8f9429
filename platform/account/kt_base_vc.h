// KTBaseVC: the base of the platform SDK's page controllers (login window,
// sub-account chooser, forgotten-password, agreement, web pay and pay
// sheet pages). It gives each page a back arrow on the left of the bar
// ("KT_nav_back" of the SDK's resource bundle) that pops the page, or
// closes the whole stack from its first page; a bold black title label made
// anew at each appearance; a custom title view of an image and a text; and
// text-field answers that close the keyboard on return and on a tap
// outside. Main thread.
//
//   class KTNoticeVC : public KTBaseVC {
//     void viewWillAppear(bool animated) override {
//       KTBaseVC::viewWillAppear(animated);
//       setTitle("公告");
//     }
//   };
#pragma once

#include <string>

#include "kit/graphics/geometry.h"
#include "kit/graphics/image.h"
#include "kit/ui/label.h"
#include "kit/ui/text_field.h"
#include "kit/ui/view_controller.h"

class KTBaseVC : public kit::ViewController, public kit::TextFieldDelegate {
 public:
  KTBaseVC() = default;

  // The base behaviour, then a new title label: (0, 0, 95, 30), bold system
  // 20, centred, black.
  void viewWillAppear(bool animated) override;
  // The base behaviour, then createLeftItem.
  void viewDidLoad() override;

  // Hides or shows the navigation bar of this page's stack.
  void hiddenNavBar(bool hidden);
  // A clear 120 x 30 title view (tag 10001) centred on the bar: the image
  // (20 x 20) on the left, the title (95 wide) on the right.
  void SetBarTitleViewWithTitle(const std::string& title, const kit::Ref<kit::Image>& image);
  // The text goes into the title label, which becomes the title view (before
  // the first appearance there is no label and nothing shows).
  void setTitle(const std::string& title) override;
  // The back arrow: a clear (15, 0, 70, 30) container holding a (0, 2, 30,
  // 25) button whose tap runs popAction, as the left bar item.
  void createLeftItem();
  // The left bar item becomes an empty view.
  void hiddenLeftBtn();
  // Hides the back arrow and removes the custom title view, then pops this
  // page, or dismisses the whole stack when it holds one page.
  virtual void popAction();

  // A line feed closes the keyboard and is refused; any other text goes in.
  bool shouldChangeCharacters(kit::TextField& field, kit::Range range, const std::string& replacement) override;
  bool textFieldShouldBeginEditing(kit::TextField& field) override;
  // A tap outside the fields ends editing.
  void touchesBegan(const kit::TouchSet& touches, const kit::Event* event) override;

  const kit::Ref<kit::Label>& titlelable() const { return titlelable_; }

  // The tag of the custom title view on the bar.
  static constexpr long TitleViewTag = 10001;

 private:
  kit::Ref<kit::Label> titlelable_;
};
