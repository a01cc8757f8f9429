// kit::Button: the platform's button. Titles, title colours, attributed
// titles, images and background images per control state (a state without
// its own value shows the normal one), a title label and an image view laid
// out side by side in the centre of the content rectangle and moved by
// their edge insets, as the platform places them.
//
//   auto sure = kit::Button::make(kit::Rect{0, S - 134, S - 30, 44});
//   sure->setTitle("知道了", kit::ControlStateNormal);
//   sure->setTitleColor(kit::Color::hex(0xF64720), kit::ControlStateNormal);
//   sure->addAction(kit::ControlEvent::TouchUpInside, [weak] { ... });
#pragma once

#include <map>
#include <string>

#include "kit/graphics/image.h"
#include "kit/ui/attributed_string.h"
#include "kit/ui/control.h"
#include "kit/ui/image_view.h"
#include "kit/ui/label.h"

namespace kit {

enum class ButtonType { Custom = 0, System = 1, DetailDisclosure = 2, InfoLight = 3, InfoDark = 4, ContactAdd = 5 };

enum class ContentHorizontalAlignment { Center = 0, Left = 1, Right = 2, Fill = 3 };
enum class ContentVerticalAlignment { Center = 0, Top = 1, Bottom = 2, Fill = 3 };

class Button : public Control {
 public:
  static Ref<Button> make(const Rect& frame = {}) { return kit::make<Button>(frame); }
  static Ref<Button> withType(ButtonType type);
  explicit Button(const Rect& frame = {}, ButtonType type = ButtonType::Custom);

  ButtonType buttonType() const { return type_; }

  void setTitle(std::string_view title, unsigned state = ControlStateNormal);
  std::string title(unsigned state) const;
  void setTitleColor(Ref<Color> color, unsigned state = ControlStateNormal);
  Ref<Color> titleColor(unsigned state) const;
  void setAttributedTitle(Ref<AttributedString> title, unsigned state = ControlStateNormal);
  Ref<AttributedString> attributedTitle(unsigned state) const;
  void setImage(Ref<Image> image, unsigned state = ControlStateNormal);
  Ref<Image> image(unsigned state) const;
  void setBackgroundImage(Ref<Image> image, unsigned state = ControlStateNormal);
  Ref<Image> backgroundImage(unsigned state) const;

  std::string currentTitle() const { return title(state()); }
  Ref<Color> currentTitleColor() const { return titleColor(state()); }
  Ref<Image> currentImage() const { return image(state()); }
  Ref<Image> currentBackgroundImage() const { return backgroundImage(state()); }

  // Made on first use; a subview only while there is a title or an image.
  const Ref<Label>& titleLabel();
  const Ref<ImageView>& imageView();

  const EdgeInsets& contentEdgeInsets() const { return contentInsets_; }
  void setContentEdgeInsets(const EdgeInsets& e);
  const EdgeInsets& titleEdgeInsets() const { return titleInsets_; }
  void setTitleEdgeInsets(const EdgeInsets& e);
  const EdgeInsets& imageEdgeInsets() const { return imageInsets_; }
  void setImageEdgeInsets(const EdgeInsets& e);
  ContentHorizontalAlignment contentHorizontalAlignment() const { return hAlign_; }
  void setContentHorizontalAlignment(ContentHorizontalAlignment a);
  ContentVerticalAlignment contentVerticalAlignment() const { return vAlign_; }
  void setContentVerticalAlignment(ContentVerticalAlignment a);
  bool adjustsImageWhenHighlighted() const { return adjustsImageWhenHighlighted_; }
  void setAdjustsImageWhenHighlighted(bool v) { adjustsImageWhenHighlighted_ = v; }
  bool showsTouchWhenHighlighted() const { return showsTouchWhenHighlighted_; }
  void setShowsTouchWhenHighlighted(bool v) { showsTouchWhenHighlighted_ = v; }

  void layoutSubviews() override;
  Size sizeThatFits(Size size) const override;
  Size intrinsicContentSize() const override;
  void tintColorDidChange() override { refresh(); }

 protected:
  void stateDidChange() override { refresh(); }
  bool drawContent(Canvas& canvas) override;

 private:
  template <class T>
  static T lookup(const std::map<unsigned, T>& values, unsigned state);
  Size titleSize() const;
  Size imageSize() const;
  void refresh();

  ButtonType type_;
  std::map<unsigned, std::string> titles_;
  std::map<unsigned, Ref<Color>> titleColors_;
  std::map<unsigned, Ref<AttributedString>> attributedTitles_;
  std::map<unsigned, Ref<Image>> images_, backgrounds_;
  Ref<Label> titleLabel_;
  Ref<ImageView> imageView_;
  EdgeInsets contentInsets_, titleInsets_, imageInsets_;
  ContentHorizontalAlignment hAlign_ = ContentHorizontalAlignment::Center;
  ContentVerticalAlignment vAlign_ = ContentVerticalAlignment::Center;
  bool adjustsImageWhenHighlighted_ = true;
  bool showsTouchWhenHighlighted_ = false;
};

}  // namespace kit
