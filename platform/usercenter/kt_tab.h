// KTTab: the user centre's segmented switch: equally wide text buttons
// (tags 1000 + index) in a bordered, clipped strip with separator bars
// between them, one drawn as selected. Every tap tells the delegate the
// tapped index, also a tap on the selected button; setTabStateIndex moves
// the selection without telling it (the owner swiped to another list).
// Main thread.
#pragma once

#include <string>
#include <vector>

#include "kit/graphics/color.h"
#include "kit/ui/button.h"
#include "kit/ui/view.h"

class KTTab;

class KTTabDelegate {
 public:
  virtual ~KTTabDelegate() = default;
  virtual void tabDidSelectedItemNumber(KTTab& tab, long index) = 0;
};

class KTTab : public kit::View {
 public:
  static constexpr long FirstTag = 1000;

  // The strip cannot be made without its line width and colour: nil.
  static kit::Ref<KTTab> init() { return nullptr; }
  static kit::Ref<KTTab> initWithFrame(const kit::Rect&) { return nullptr; }
  // A clipped strip with a border of `lineWidth` in `lineColor`.
  static kit::Ref<KTTab> initWithFrame(const kit::Rect& frame, double lineWidth, kit::Ref<kit::Color> lineColor);
  explicit KTTab(const kit::Rect& frame) : kit::View(frame) {}

  // Builds a button per title (the one at `selectItemNumber` selected) and
  // the separators between them. An empty title list makes nothing; a
  // second call adds a second set on top of the first.
  void setItemsWithTitle(const std::vector<std::string>& titles, kit::Ref<kit::Color> normalItemColor,
                         kit::Ref<kit::Color> selectItemColor, kit::Ref<kit::Color> normalTitleColor,
                         kit::Ref<kit::Color> selectTitleColor, double titleTextSize, long selectItemNumber);
  // Every button's touch-up-inside action.
  void clickedButton(kit::Button& button);
  // Selects the button at `index` without telling the delegate; an index
  // without a button leaves every button unselected.
  void setTabStateIndex(unsigned long index);

  kit::Ref<KTTabDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(kit::Weak<KTTabDelegate> delegate) { delegate_ = std::move(delegate); }

  double lineWidth() const { return lineWidth_; }
  const kit::Ref<kit::Color>& lineColor() const { return lineColor_; }
  const kit::Ref<kit::Color>& normalItemColor() const { return normalItemColor_; }
  const kit::Ref<kit::Color>& selectItemColor() const { return selectItemColor_; }
  const kit::Ref<kit::Color>& normalTitleColor() const { return normalTitleColor_; }
  const kit::Ref<kit::Color>& selectTitleColor() const { return selectTitleColor_; }
  // The button of an index, or nil.
  kit::Ref<kit::Button> item(long index) const;

 private:
  void recolour(long selectedTag);

  double lineWidth_ = 0;
  kit::Ref<kit::Color> lineColor_, normalItemColor_, selectItemColor_, normalTitleColor_, selectTitleColor_;
  kit::Weak<KTTabDelegate> delegate_;
};
