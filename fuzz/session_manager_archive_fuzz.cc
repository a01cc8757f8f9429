// Fuzzes the secure decoding of an archived HTTP session manager: its base
// URL, configuration, background identifier, serializers and policy. Bytes
// that decode make a working manager, which archives again; a manager that
// comes back is invalidated so its session lets go of it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "kit/foundation/keyed_archiver.h"
#include "net/http_session_manager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  kit::Ref<kit::Error> error;
  auto manager = kit::KeyedUnarchiver::unarchivedObjectOfClass<SDPHTTPSessionManager>(kit::Data::make(bytes, size),
                                                                                      &error);
  if (!manager) return 0;
  if (!manager->session() || !manager->requestSerializer() || !manager->responseSerializer()) std::abort();
  manager->absoluteURLString("path?q=1");
  if (!kit::KeyedArchiver::archivedDataWithRootObject(manager, &error)) std::abort();
  manager->session()->invalidateAndCancel();
  return 0;
}
