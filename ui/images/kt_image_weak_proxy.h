// KTImageWeakProxy: forwards calls to a target it holds weakly, so that a
// display link aimed at the proxy never keeps its view alive; once the
// target is gone a call does nothing and answers an empty result.
#pragma once

#include <functional>
#include <type_traits>
#include <utility>

#include "kit/foundation/object.h"

class KTImageWeakProxy : public kit::Object {
 public:
  static kit::Ref<KTImageWeakProxy> proxyWithTarget(const kit::Id& target) {
    return kit::make<KTImageWeakProxy>(target);
  }
  explicit KTImageWeakProxy(const kit::Id& target) : target_(target) {}

  kit::Id target() const { return target_.lock(); }

  // Calls `message` on the target as a T while it lives; otherwise the
  // value-initialised result.
  template <class T, class F>
  auto forward(F&& message) const -> std::invoke_result_t<F&, T&> {
    using R = std::invoke_result_t<F&, T&>;
    auto strong = std::dynamic_pointer_cast<T>(target_.lock());
    if (!strong) {
      if constexpr (std::is_void_v<R>) return;
      else return R{};
    }
    return message(*strong);
  }

  // A callable sending a member function through the proxy; it holds the
  // proxy, never the target.
  template <class T, class... Args>
  std::function<void(Args...)> action(void (T::*method)(Args...)) {
    kit::Ref<KTImageWeakProxy> proxy = selfAs<KTImageWeakProxy>();
    return [proxy, method](Args... args) {
      proxy->forward<T>([&](T& target) { (target.*method)(std::forward<Args>(args)...); });
    };
  }

  // Identity questions go to the target.
  bool isEqual(const kit::Object& other) const override {
    auto strong = target_.lock();
    return strong ? strong->isEqual(other) : this == &other;
  }
  size_t hash() const override {
    auto strong = target_.lock();
    return strong ? strong->hash() : 0;
  }
  std::string description() const override {
    auto strong = target_.lock();
    return strong ? strong->description() : "(null)";
  }

 private:
  kit::Weak<kit::Object> target_;
};
