// The weak forwarding proxy. See nuva_gif_weak_proxy.h.
#include "ui/images/nuva_gif_weak_proxy.h"

#include "kit/foundation/format.h"

kit::Ref<NUVAGIFWeakProxy> NUVAGIFWeakProxy::weakProxyForObject(const kit::Id& object) {
  return kit::make<NUVAGIFWeakProxy>(kit::Weak<kit::Object>(object));
}

std::string NUVAGIFWeakProxy::description() const {
  return kit::formatString("<NUVAGIFWeakProxy %p target %@>", static_cast<const void*>(this), target());
}
