// Logging of exceptions that escape dispatched callbacks.
#include "kit/dispatch/guard.h"

#include <exception>
#include <string>

#include "kit/foundation/exception.h"
#include "kit/foundation/log.h"

namespace kit::detail {

void runGuarded(const std::function<void()>& callback, std::string_view context) {
  try {
    callback();
  } catch (const Exception& e) {
    log("*** Uncaught exception in %s: %s, reason: %s", std::string(context), e.name(), e.reason());
  } catch (const std::exception& e) {
    log("*** Uncaught exception in %s: %s", std::string(context), e.what());
  } catch (...) {
    log("*** Uncaught exception in %s", std::string(context));
  }
}

}  // namespace kit::detail
