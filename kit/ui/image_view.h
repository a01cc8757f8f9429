// kit::ImageView: shows an image placed by the view's content mode (an
// animated image, or a list of animation images once started, shows the
// frame due at the clock's time); a highlighted image replaces it while
// highlighted; template images are filled with the tint colour.
#pragma once

#include <vector>

#include "kit/graphics/image.h"
#include "kit/ui/view.h"

namespace kit {

class ImageView : public View {
 public:
  static Ref<ImageView> make(const Rect& frame = {}) { return kit::make<ImageView>(frame); }
  // A view sized to the image, at the origin.
  static Ref<ImageView> withImage(Ref<Image> image);
  explicit ImageView(const Rect& frame = {});

  // Virtual so that image views that play their own frames can answer them.
  virtual const Ref<Image>& image() const { return image_; }
  virtual void setImage(Ref<Image> image);
  const Ref<Image>& highlightedImage() const { return highlightedImage_; }
  void setHighlightedImage(Ref<Image> image);
  bool isHighlighted() const { return highlighted_; }
  virtual void setHighlighted(bool v);

  const std::vector<Ref<Image>>& animationImages() const { return animationImages_; }
  void setAnimationImages(std::vector<Ref<Image>> images) { animationImages_ = std::move(images); }
  // Seconds for one cycle; 0 means 1/30 s per image.
  double animationDuration() const { return animationDuration_; }
  void setAnimationDuration(double d) { animationDuration_ = d; }
  // 0 repeats without end.
  int animationRepeatCount() const { return animationRepeatCount_; }
  void setAnimationRepeatCount(int n) { animationRepeatCount_ = n; }
  virtual void startAnimating();
  virtual void stopAnimating();
  virtual bool isAnimating() const;

  // The image shown now (what drawing shows).
  virtual Ref<Image> displayedImage() const;

  Size sizeThatFits(Size size) const override;
  Size intrinsicContentSize() const override;

 protected:
  bool drawContent(Canvas& canvas) override;

 private:
  Ref<Image> image_, highlightedImage_;
  bool highlighted_ = false;
  std::vector<Ref<Image>> animationImages_;
  double animationDuration_ = 0;
  int animationRepeatCount_ = 0;
  bool animating_ = false;
  double animationStart_ = 0;
};

}  // namespace kit
