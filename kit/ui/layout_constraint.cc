// Layout constraints and the solver a view runs in its layout pass.
//
// The solver works one axis at a time. Each view placed by constraints has
// two unknowns on an axis: its leading edge and its length, in the owner's
// bounds space. Constraints are applied from the lowest priority to the
// highest, so that a higher one has the last word, and the whole set is
// swept until nothing moves (or a bounded number of sweeps). Satisfying
// an attribute changes the unknown that the view's other constraints leave
// free: a view whose length is held moves, one whose edge is held
// stretches.
#include "kit/ui/layout_constraint.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

#include "kit/ui/view.h"

namespace kit {

// ---- Guides and constraints -----------------------------------------------------

Rect LayoutGuide::layoutFrame() const {
  if (!owner_) return frame_;
  switch (kind_) {
    case Kind::SafeArea: return owner_->safeAreaLayoutFrame();
    case Kind::Margins: return insetRect(owner_->bounds(), owner_->layoutMargins());
    case Kind::Custom: return frame_;
  }
  return frame_;
}

Ref<LayoutConstraint> LayoutConstraint::make(const Id& item1, LayoutAttribute attribute1, LayoutRelation relation,
                                             const Id& item2, LayoutAttribute attribute2, double multiplier,
                                             double constant) {
  auto c = kit::make<LayoutConstraint>();
  c->first_ = item1;
  c->second_ = item2;
  c->hasSecond_ = item2 && attribute2 != LayoutAttribute::NotAnAttribute;
  c->attribute1_ = attribute1;
  c->attribute2_ = c->hasSecond_ ? attribute2 : LayoutAttribute::NotAnAttribute;
  c->relation_ = relation;
  c->multiplier_ = multiplier;
  c->constant_ = constant;
  return c;
}

Ref<LayoutConstraint> LayoutConstraint::make(const Id& item1, LayoutAttribute attribute1, LayoutRelation relation,
                                             double constant) {
  return make(item1, attribute1, relation, nullptr, LayoutAttribute::NotAnAttribute, 1, constant);
}

namespace {

View* viewOf(const Id& item) {
  if (auto v = as<View>(item)) return v.get();
  if (auto g = as<LayoutGuide>(item)) return g->owningView();
  return nullptr;
}

void relayout(const Id& item) {
  if (View* v = viewOf(item)) {
    v->setNeedsLayout();
    if (auto s = v->superview()) s->setNeedsLayout();
  }
}

}  // namespace

void LayoutConstraint::setConstant(double c) {
  if (constant_ == c) return;
  constant_ = c;
  relayout(firstItem());
  relayout(secondItem());
}

void LayoutConstraint::setActive(bool active) {
  if (active == active_) return;
  View* a = viewOf(firstItem());
  View* b = viewOf(secondItem());
  // The nearest common ancestor (a view and its own guide share the view).
  View* owner = a;
  if (a && b) {
    owner = nullptr;
    for (View* x = a; x && !owner; x = x->superview().get())
      if (b->isDescendantOfView(x)) owner = x;
  }
  if (!owner) return;
  active_ = active;
  Ref<LayoutConstraint> self = std::static_pointer_cast<LayoutConstraint>(shared_from_this());
  if (active) owner->addConstraint(self);
  else owner->removeConstraint(this);
}

std::string LayoutConstraint::description() const {
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, " attr%d %s attr%d * %g + %g @%g>", static_cast<int>(attribute1_),
                relation_ == LayoutRelation::Equal ? "==" : relation_ == LayoutRelation::LessThanOrEqual ? "<=" : ">=",
                static_cast<int>(attribute2_), multiplier_, constant_, priority_);
  std::string d = defaultDescription();
  d.pop_back();
  return d + buffer;
}

// ---- The solver -----------------------------------------------------------------

namespace {

enum class Part { Min, Max, Center, Length };

struct AxisAttr {
  int axis;  // 0 horizontal, 1 vertical
  Part part;
  bool margin;
};

AxisAttr decode(LayoutAttribute a) {
  switch (a) {
    case LayoutAttribute::Left:
    case LayoutAttribute::Leading: return {0, Part::Min, false};
    case LayoutAttribute::Right:
    case LayoutAttribute::Trailing: return {0, Part::Max, false};
    case LayoutAttribute::Top: return {1, Part::Min, false};
    case LayoutAttribute::Bottom: return {1, Part::Max, false};
    case LayoutAttribute::Width: return {0, Part::Length, false};
    case LayoutAttribute::Height: return {1, Part::Length, false};
    case LayoutAttribute::CenterX: return {0, Part::Center, false};
    case LayoutAttribute::CenterY: return {1, Part::Center, false};
    case LayoutAttribute::LeftMargin:
    case LayoutAttribute::LeadingMargin: return {0, Part::Min, true};
    case LayoutAttribute::RightMargin:
    case LayoutAttribute::TrailingMargin: return {0, Part::Max, true};
    case LayoutAttribute::TopMargin: return {1, Part::Min, true};
    case LayoutAttribute::BottomMargin: return {1, Part::Max, true};
    case LayoutAttribute::CenterXWithinMargins: return {0, Part::Center, true};
    case LayoutAttribute::CenterYWithinMargins: return {1, Part::Center, true};
    default: return {-1, Part::Min, false};
  }
}

// One axis of one view placed by the solver, in the owner's space.
// The strongest priority holding each part of a span (0: none).
struct Span {
  double min = 0, length = 0;
  double pinnedMin = 0, pinnedMax = 0, pinnedCenter = 0, pinnedLength = 0;
};

struct Rule {
  Id first, second;
  AxisAttr a1, a2;
  LayoutRelation relation;
  double multiplier, constant, priority;
};

class Solver {
 public:
  explicit Solver(View& owner) : owner_(owner) {}

  void collect() {
    for (const auto& c : owner_.constraints()) add(*c);
    for (const auto& sub : owner_.subviews())
      for (const auto& c : sub->constraints()) {
        // A subview's own size rules (no second item, or its own guides).
        View* other = viewOf(c->secondItem());
        if (!c->hasSecondItem() || other == sub.get()) add(*c);
      }
    // Intrinsic sizes, held at the hugging and compression priorities.
    for (auto& [view, spans] : spans_) {
      const Size intrinsic = view->intrinsicContentSize();
      const double values[2] = {intrinsic.width, intrinsic.height};
      for (int axis = 0; axis < 2; ++axis) {
        if (values[axis] < 0) continue;
        Id item = std::static_pointer_cast<Object>(view->weak_from_this().lock());
        rules_.push_back({item, nullptr, {axis, Part::Length, false}, {-1, Part::Min, false},
                          LayoutRelation::LessThanOrEqual, 1, values[axis], view->contentHuggingPriority(axis)});
        rules_.push_back({item, nullptr, {axis, Part::Length, false}, {-1, Part::Min, false},
                          LayoutRelation::GreaterThanOrEqual, 1, values[axis],
                          view->contentCompressionResistancePriority(axis)});
      }
    }
    std::stable_sort(rules_.begin(), rules_.end(), [](const Rule& a, const Rule& b) { return a.priority < b.priority; });
    // Equalities hold their part throughout; an inequality holds it only
    // while it is binding (see apply).
    for (const Rule& r : rules_)
      if (r.relation == LayoutRelation::Equal) pin(r.first, r.a1, r.priority);
    for (auto& [view, spans] : spans_) staticPins_[view] = spans;
  }

  void solve() {
    for (int sweep = 0; sweep < 12; ++sweep) {
      for (auto& [view, spans] : spans_) {
        const auto& pins = staticPins_[view];
        for (int axis = 0; axis < 2; ++axis) {
          spans[axis].pinnedMin = pins[axis].pinnedMin;
          spans[axis].pinnedMax = pins[axis].pinnedMax;
          spans[axis].pinnedCenter = pins[axis].pinnedCenter;
          spans[axis].pinnedLength = pins[axis].pinnedLength;
        }
      }
      bool moved = false;
      for (const Rule& r : rules_) moved |= apply(r);
      if (!moved) break;
    }
  }

  void commit() {
    for (auto& [view, spans] : spans_) {
      const Point origin = originOfSuperview(view);
      view->setFrame({spans[0].min - origin.x, spans[1].min - origin.y, std::max(0.0, spans[0].length),
                      std::max(0.0, spans[1].length)});
    }
  }

 private:
  // Where a view's superview's bounds origin lies in the owner's space.
  Point originOfSuperview(View* view) {
    auto super = view->superview();
    if (!super || super.get() == &owner_) return {};
    return super->convertPointToView(super->bounds().origin, &owner_);
  }

  bool solvable(View* v) {
    return v && v != &owner_ && !v->translatesAutoresizingMaskIntoConstraints() && v->isDescendantOfView(&owner_);
  }

  Span* spanOf(View* v, int axis) {
    if (!solvable(v)) return nullptr;
    auto it = spans_.find(v);
    if (it == spans_.end()) {
      const Point origin = originOfSuperview(v);
      const Rect f = v->frame();
      Span h{f.origin.x + origin.x, f.size.width}, w{f.origin.y + origin.y, f.size.height};
      it = spans_.emplace(v, std::array<Span, 2>{h, w}).first;
    }
    return &it->second[axis];
  }

  void add(const LayoutConstraint& c) {
    Rule r{c.firstItem(), c.secondItem(), decode(c.firstAttribute()), decode(c.secondAttribute()), c.relation(),
           c.multiplier(), c.constant(), c.priority()};
    if (r.a1.axis < 0 || !r.first) return;
    spanOf(viewOf(r.first), r.a1.axis);
    if (c.hasSecondItem()) {
      if (!r.second) return;  // the second item is gone
      spanOf(viewOf(r.second), r.a2.axis);
    } else {
      r.second = nullptr;
    }
    rules_.push_back(r);
  }

  void pin(const Id& item, AxisAttr a, double priority) {
    if (!as<View>(item)) return;
    Span* s = spanOf(viewOf(item), a.axis);
    if (!s) return;
    double* slot = a.part == Part::Min      ? &s->pinnedMin
                   : a.part == Part::Max    ? &s->pinnedMax
                   : a.part == Part::Center ? &s->pinnedCenter
                                            : &s->pinnedLength;
    *slot = std::max(*slot, priority);
  }

  // The rectangle of an item that the solver does not move, in the owner's
  // space.
  Rect fixedRect(const Id& item, bool margin) {
    Rect r;
    if (auto g = as<LayoutGuide>(item)) {
      View* v = g->owningView();
      r = v ? v->convertRectToView(g->layoutFrame(), &owner_) : g->layoutFrame();
    } else if (auto v = as<View>(item)) {
      r = v.get() == &owner_ ? owner_.bounds() : v->convertRectToView(v->bounds(), &owner_);
      if (margin) r = insetRect(r, v->layoutMargins());
    }
    return r;
  }

  double read(const Id& item, AxisAttr a) {
    double min, length;
    Span* s = as<View>(item) ? spanOf(viewOf(item), a.axis) : nullptr;
    if (s) {
      min = s->min;
      length = s->length;
      if (a.margin) {
        auto v = as<View>(item);
        const EdgeInsets m = v->layoutMargins();
        const double lead = a.axis == 0 ? m.left : m.top, trail = a.axis == 0 ? m.right : m.bottom;
        min += lead;
        length -= lead + trail;
      }
    } else {
      const Rect r = fixedRect(item, a.margin);
      min = a.axis == 0 ? r.minX() : r.minY();
      length = a.axis == 0 ? r.width() : r.height();
    }
    switch (a.part) {
      case Part::Min: return min;
      case Part::Max: return min + length;
      case Part::Center: return min + length / 2;
      case Part::Length: return length;
    }
    return 0;
  }

  // Moves or stretches a span so that one of its parts takes a value,
  // keeping whichever other part is held more strongly.
  static void write(Span& s, Part part, double value) {
    const double max = s.min + s.length, center = s.min + s.length / 2;
    switch (part) {
      case Part::Length:
        if (s.pinnedMax > s.pinnedMin && s.pinnedMax >= s.pinnedCenter) s.min = max - value;
        else if (s.pinnedCenter > s.pinnedMin) s.min = center - value / 2;
        s.length = value;
        break;
      case Part::Min:
        if (s.pinnedLength >= std::max(s.pinnedMax, s.pinnedCenter)) {
          s.min = value;
        } else if (s.pinnedMax >= s.pinnedCenter) {
          s.length = max - value;
          s.min = value;
        } else {
          s.length = 2 * (center - value);
          s.min = value;
        }
        break;
      case Part::Max:
        if (s.pinnedLength >= std::max(s.pinnedMin, s.pinnedCenter)) s.min = value - s.length;
        else if (s.pinnedMin >= s.pinnedCenter) s.length = value - s.min;
        else {
          s.length = 2 * (value - center);
          s.min = value - s.length;
        }
        break;
      case Part::Center:
        if (s.pinnedLength >= std::max(s.pinnedMin, s.pinnedMax)) s.min = value - s.length / 2;
        else if (s.pinnedMin >= s.pinnedMax) s.length = 2 * (value - s.min);
        else {
          s.length = 2 * (max - value);
          s.min = max - s.length;
        }
        break;
    }
  }

  bool apply(const Rule& r) {
    const double target = r.second ? read(r.second, r.a2) * r.multiplier + r.constant : r.constant;
    const double current = read(r.first, r.a1);
    double wanted = target;
    if (r.relation == LayoutRelation::GreaterThanOrEqual && current >= target) return false;
    if (r.relation == LayoutRelation::LessThanOrEqual && current <= target) return false;
    if (std::fabs(current - wanted) < 1e-9) return false;
    Span* s = as<View>(r.first) ? spanOf(viewOf(r.first), r.a1.axis) : nullptr;
    if (s && r.relation != LayoutRelation::Equal) pin(r.first, r.a1, r.priority);
    if (s) {
      if (r.a1.margin) {
        auto v = as<View>(r.first);
        const EdgeInsets m = v->layoutMargins();
        const double lead = r.a1.axis == 0 ? m.left : m.top, trail = r.a1.axis == 0 ? m.right : m.bottom;
        if (r.a1.part == Part::Min) wanted -= lead;
        else if (r.a1.part == Part::Max) wanted += trail;
        else if (r.a1.part == Part::Length) wanted += lead + trail;
        else wanted += (trail - lead) / 2;
      }
      write(*s, r.a1.part, wanted);
      return true;
    }
    // The first item is fixed: move the second one instead, when it can be.
    Span* other = r.second && as<View>(r.second) ? spanOf(viewOf(r.second), r.a2.axis) : nullptr;
    if (!other || r.multiplier == 0) return false;
    const double value = (current - r.constant) / r.multiplier;
    if (std::fabs(read(r.second, r.a2) - value) < 1e-9) return false;
    write(*other, r.a2.part, value);
    return true;
  }

  View& owner_;
  std::map<View*, std::array<Span, 2>> spans_;
  std::map<View*, std::array<Span, 2>> staticPins_;
  std::vector<Rule> rules_;
};

}  // namespace

void View::applyConstraints() {
  bool any = !constraints_.empty();
  for (const auto& sub : subviews_)
    if (!sub->constraints().empty()) any = true;
  if (!any) return;
  Solver solver(*this);
  solver.collect();
  solver.solve();
  solver.commit();
}

}  // namespace kit
