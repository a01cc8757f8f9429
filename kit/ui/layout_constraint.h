// Layout constraints: linear relations between the edges, centres and sizes
// of views and layout guides ("item1.attr1 = item2.attr2 * multiplier +
// constant", or <= / >=), each with a priority and a constant that screens
// change at run time. A view applies the constraints installed on it (and
// its subviews' own size constraints) in its layout pass, with a small
// solver made for the forms screens use: edges with margins, centring,
// fixed and proportional sizes, chains of views, inequalities, intrinsic
// sizes held by hugging and compression priorities. Higher priorities win
// over lower ones; the owner's own bounds are taken as given.
//
//   auto c = kit::LayoutConstraint::make(card, kit::LayoutAttribute::CenterX, kit::LayoutRelation::Equal,
//                                        view, kit::LayoutAttribute::CenterX);
//   view->addConstraint(c);
//   c->setConstant(20);   // the next layout pass moves the card
#pragma once

#include <string>

#include "kit/foundation/object.h"
#include "kit/graphics/geometry.h"

namespace kit {

class View;

enum class LayoutAttribute {
  NotAnAttribute = 0,
  Left = 1,
  Right,
  Top,
  Bottom,
  Leading,
  Trailing,
  Width,
  Height,
  CenterX,
  CenterY,
  LeftMargin = 13,
  RightMargin,
  TopMargin,
  BottomMargin,
  LeadingMargin,
  TrailingMargin,
  CenterXWithinMargins,
  CenterYWithinMargins,
};

enum class LayoutRelation { LessThanOrEqual = -1, Equal = 0, GreaterThanOrEqual = 1 };

inline constexpr double LayoutPriorityRequired = 1000;
inline constexpr double LayoutPriorityDefaultHigh = 750;
inline constexpr double LayoutPriorityDefaultLow = 250;
inline constexpr double LayoutPriorityFittingSizeLevel = 50;

// A rectangle that constraints can refer to without a view: a view's safe
// area or its margins.
class LayoutGuide : public Object {
 public:
  enum class Kind { SafeArea, Margins, Custom };
  static Ref<LayoutGuide> make() { return kit::make<LayoutGuide>(); }
  // The guide's rectangle in its owning view's bounds space.
  Rect layoutFrame() const;
  View* owningView() const { return owner_; }
  Kind kind() const { return kind_; }
  void setOwner(View* owner, Kind kind) {
    owner_ = owner;
    kind_ = kind;
  }
  // The frame of a custom guide.
  void setFrame(const Rect& frame) { frame_ = frame; }

 private:
  View* owner_ = nullptr;
  Kind kind_ = Kind::Custom;
  Rect frame_;
};

class LayoutConstraint : public Object {
 public:
  // Items are views or layout guides; a nil second item (NotAnAttribute)
  // makes the constraint a constant ("width = 100").
  static Ref<LayoutConstraint> make(const Id& item1, LayoutAttribute attribute1, LayoutRelation relation,
                                    const Id& item2, LayoutAttribute attribute2, double multiplier = 1,
                                    double constant = 0);
  static Ref<LayoutConstraint> make(const Id& item1, LayoutAttribute attribute1, LayoutRelation relation,
                                    double constant);

  Id firstItem() const { return first_.lock(); }
  Id secondItem() const { return second_.lock(); }
  LayoutAttribute firstAttribute() const { return attribute1_; }
  LayoutAttribute secondAttribute() const { return attribute2_; }
  LayoutRelation relation() const { return relation_; }
  double multiplier() const { return multiplier_; }
  double constant() const { return constant_; }
  // Changing the constant asks the views concerned for a layout pass.
  void setConstant(double c);
  double priority() const { return priority_; }
  void setPriority(double p) { priority_ = p; }
  bool isActive() const { return active_; }
  // Installs the constraint on the nearest common ancestor of its items
  // (or removes it from there).
  void setActive(bool active);
  const std::string& identifier() const { return identifier_; }
  void setIdentifier(std::string s) { identifier_ = std::move(s); }
  bool hasSecondItem() const { return hasSecond_; }

  std::string description() const override;

 private:
  Weak<Object> first_, second_;
  bool hasSecond_ = false;
  LayoutAttribute attribute1_ = LayoutAttribute::NotAnAttribute;
  LayoutAttribute attribute2_ = LayoutAttribute::NotAnAttribute;
  LayoutRelation relation_ = LayoutRelation::Equal;
  double multiplier_ = 1, constant_ = 0, priority_ = LayoutPriorityRequired;
  bool active_ = false;
  std::string identifier_;
};

}  // namespace kit
