// Haptic feedback generators, as recorders: the feedback a screen asked for
// is kept in order so a test can check it (there is no motor to drive).
#pragma once

#include <vector>

#include "kit/foundation/object.h"

namespace kit {

enum class NotificationFeedbackType { Success = 0, Warning = 1, Error = 2 };

class NotificationFeedbackGenerator : public Object {
 public:
  static Ref<NotificationFeedbackGenerator> make() { return kit::make<NotificationFeedbackGenerator>(); }
  void prepare() { ++prepares_; }
  void notificationOccurred(NotificationFeedbackType type) { occurred_.push_back(type); }
  const std::vector<NotificationFeedbackType>& occurred() const { return occurred_; }
  int prepareCount() const { return prepares_; }

 private:
  std::vector<NotificationFeedbackType> occurred_;
  int prepares_ = 0;
};

enum class ImpactFeedbackStyle { Light = 0, Medium = 1, Heavy = 2 };

class ImpactFeedbackGenerator : public Object {
 public:
  static Ref<ImpactFeedbackGenerator> make(ImpactFeedbackStyle style = ImpactFeedbackStyle::Medium) {
    auto g = kit::make<ImpactFeedbackGenerator>();
    g->style = style;
    return g;
  }
  ImpactFeedbackStyle style = ImpactFeedbackStyle::Medium;
  void prepare() {}
  void impactOccurred() { ++impacts_; }
  int impactCount() const { return impacts_; }

 private:
  int impacts_ = 0;
};

}  // namespace kit
