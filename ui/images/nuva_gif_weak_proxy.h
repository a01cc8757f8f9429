// NUVAGIFWeakProxy: a stand-in that forwards calls to a target it holds
// weakly. The animated GIF view's display link and the animated GIF model's
// delayed calls are aimed at a proxy instead of their owners, so a pending
// tick or delayed call never keeps the owner alive; once the owner is gone,
// a call through the proxy does nothing and gives a zero result.
//
//   auto proxy = NUVAGIFWeakProxy::weakProxyForObject(view);
//   auto link = kit::DisplayLink::make(proxy->action(&NUVAAnimatedGIFView::displayDidRefresh));
#pragma once

#include <functional>
#include <type_traits>
#include <utility>

#include "kit/foundation/object.h"

class NUVAGIFWeakProxy : public kit::Object {
 public:
  static kit::Ref<NUVAGIFWeakProxy> weakProxyForObject(const kit::Id& object);

  // Use weakProxyForObject; public for make.
  explicit NUVAGIFWeakProxy(kit::Weak<kit::Object> target) : target_(std::move(target)) {}

  // The target while it lives, else nil.
  kit::Id target() const { return target_.lock(); }

  // Calls `message` with the target as a T, holding it for the call. When
  // the target is gone or is not a T nothing runs and the result is a
  // value-initialised R (0, false, nil).
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

  // A callable that sends a member function of the target through this
  // proxy. It holds the proxy, never the target.
  template <class T, class... Args>
  std::function<void(Args...)> action(void (T::*method)(Args...)) {
    kit::Ref<NUVAGIFWeakProxy> proxy = selfAs<NUVAGIFWeakProxy>();
    return [proxy, method](Args... args) {
      proxy->forward<T>([&](T& target) { (target.*method)(std::forward<Args>(args)...); });
    };
  }

  std::string description() const override;

 private:
  kit::Weak<kit::Object> target_;
};
