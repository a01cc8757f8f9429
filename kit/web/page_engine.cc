// What every page engine shares: the default engine of new web views, the
// web content's errors, and the snapshot of an engine that cannot take one.
#include "kit/web/page_engine.h"

#include "kit/dispatch/thread_check.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/values.h"
#include "kit/web/page_driver.h"

namespace kit {

namespace {

PageEngineFactory& defaultFactory() {
  static NoDestructor<PageEngineFactory> factory;
  return *factory;
}

}  // namespace

void setDefaultPageEngineFactory(PageEngineFactory factory) {
  KIT_CHECK_MAIN_THREAD();
  defaultFactory() = std::move(factory);
}

Ref<PageEngine> makeDefaultPageEngine() {
  KIT_CHECK_MAIN_THREAD();
  Ref<PageEngine> engine;
  if (defaultFactory()) engine = defaultFactory()();
  return engine ? engine : PageDriver::make();
}

void PageEngine::takeSnapshot(SnapshotCompletion completion) {
  if (!completion) return;
  completion(nullptr, Error::make(WebErrorDomain, WebErrorUnknown,
                                  dict({{LocalizedDescriptionKey, "This page engine does not draw the page"}})));
}

Ref<Error> scriptExceptionError(const std::string& message) {
  return Error::make(WebErrorDomain, WebErrorJavaScriptExceptionOccurred,
                     dict({{LocalizedDescriptionKey, "A JavaScript exception occurred"},
                           {JavaScriptExceptionMessageKey, message}}));
}

Ref<Error> scriptResultUnsupportedError() {
  return Error::make(WebErrorDomain, WebErrorJavaScriptResultTypeIsUnsupported,
                     dict({{LocalizedDescriptionKey, "JavaScript execution returned a result of an unsupported type"}}));
}

Ref<Error> webViewInvalidatedError() {
  return Error::make(WebErrorDomain, WebErrorWebViewInvalidated,
                     dict({{LocalizedDescriptionKey, "The web view was invalidated"}}));
}

Ref<Error> webContentProcessTerminatedError() {
  return Error::make(WebErrorDomain, WebErrorWebContentProcessTerminated,
                     dict({{LocalizedDescriptionKey, "The Web Content process was terminated"}}));
}

}  // namespace kit
