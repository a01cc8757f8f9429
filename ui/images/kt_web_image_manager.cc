// The web-image manager and the network activity count. See
// kt_web_image_manager.h.
#include "ui/images/kt_web_image_manager.h"

#include <atomic>

#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"
#include "kit/dispatch/timer.h"
#include "kit/foundation/bundle.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/values.h"
#include "kit/net/url_request.h"
#include "kit/ui/application.h"
#include "ui/images/kt_image_type.h"

KIT_DEFINE_CLASS(KTWebImageManager, kit::Object) {}

namespace {

// The one record behind the activity indicator. The count changes only on
// the main thread; it is atomic so that it can be read anywhere.
struct NetworkActivity {
  std::atomic<long> count{0};
  kit::Ref<kit::Timer> timer;  // main thread only
};

NetworkActivity& networkActivity() {
  static kit::NoDestructor<NetworkActivity> activity;
  return *activity;
}

// The application whose indicator is driven; none inside an extension.
kit::Ref<kit::Application> indicatorApplication() {
  static const bool inExtension = [] {
    auto bundle = kit::Bundle::main();
    return bundle && bundle->bundlePath().ends_with(".appex");
  }();
  return inExtension ? nullptr : kit::Application::shared();
}

}  // namespace

kit::Ref<KTWebImageManager> KTWebImageManager::sharedManager() {
  static const kit::NoDestructor<kit::Ref<KTWebImageManager>> shared(
      initWithCache(KTImageCache::sharedCache(), kit::OperationQueue::create("KTWebImageManager.queue")));
  return *shared;
}

kit::Ref<KTWebImageManager> KTWebImageManager::init() {
  kit::raise("KTWebImageManager init error", "Use the designated initializer to init.");
}

kit::Ref<KTWebImageManager> KTWebImageManager::initWithCache(kit::Ref<KTImageCache> cache,
                                                             kit::Ref<kit::OperationQueue> queue) {
  return std::make_shared<KTWebImageManager>(Passkey{}, std::move(cache), std::move(queue));
}

KTWebImageManager::KTWebImageManager(Passkey, kit::Ref<KTImageCache> cache, kit::Ref<kit::OperationQueue> queue)
    : cache_(std::move(cache)), queue_(std::move(queue)) {
  headers_ = kit::dict({{"Accept", KTWebPAvailable() ? "image/webp,image/*;q=0.8" : "image/*;q=0.8"}});
}

kit::Ref<KTWebImageOperation> KTWebImageManager::requestImageWithURL(const kit::Ref<kit::URL>& url,
                                                                     KTWebImageOptions options,
                                                                     KTWebImageProgressBlock progress,
                                                                     KTWebImageTransformBlock transform,
                                                                     KTWebImageCompletionBlock completion) {
  if (!url) return nullptr;
  auto request = kit::MutableURLRequest::make(url, kit::URLRequestCachePolicy::UseProtocolCachePolicy, timeout());
  request->setHTTPShouldHandleCookies(options & KTWebImageOptionHandleCookies);
  request->setAllHTTPHeaderFields(headersForURL(url));
  request->setHTTPShouldUsePipelining(true);
  request->setCachePolicy((options & KTWebImageOptionUseURLCache)
                              ? kit::URLRequestCachePolicy::UseProtocolCachePolicy
                              : kit::URLRequestCachePolicy::ReloadIgnoringLocalCacheData);
  auto operation = KTWebImageOperation::initWithRequest(request, options, cache(), cacheKeyForURL(url),
                                                        std::move(progress),
                                                        transform ? std::move(transform) : sharedTransformBlock(),
                                                        std::move(completion));
  if (!operation) return nullptr;
  auto user = username();
  auto secret = password();
  if (user && secret) {
    operation->setCredential(
        kit::URLCredential::credentialWithUser(user->utf8(), secret->utf8(), kit::URLCredentialPersistence::ForSession));
  }
  if (auto onQueue = queue()) {
    onQueue->addOperation(operation);
  } else {
    operation->start();
  }
  return operation;
}

kit::Ref<kit::Dictionary> KTWebImageManager::headersForURL(const kit::Ref<kit::URL>& url) const {
  if (!url) return nullptr;
  auto filter = headersFilter();
  return filter ? filter(url, headers()) : headers();
}

kit::Ref<kit::String> KTWebImageManager::cacheKeyForURL(const kit::Ref<kit::URL>& url) const {
  if (!url) return nullptr;
  auto filter = cacheKeyFilter();
  return filter ? filter(url) : url->absoluteString();
}

void KTWebImageManager::incrementNetworkActivityCount() { changeNetworkActivityCount(1); }
void KTWebImageManager::decrementNetworkActivityCount() { changeNetworkActivityCount(-1); }
long KTWebImageManager::currentNetworkActivityCount() { return networkActivity().count.load(); }

void KTWebImageManager::changeNetworkActivityCount(long delta) {
  if (!indicatorApplication()) return;
  auto change = [delta] {
    auto& activity = networkActivity();
    long count = activity.count.fetch_add(delta) + delta;
    if (activity.timer) activity.timer->invalidate();
    const bool visible = count > 0;
    // Changes closer together than 1/30 s come to one change of the indicator.
    activity.timer = kit::Timer::create(1.0 / 30, false, [visible](kit::Timer& timer) {
      auto app = indicatorApplication();
      if (app && app->isNetworkActivityIndicatorVisible() != visible) app->setNetworkActivityIndicatorVisible(visible);
      timer.invalidate();
    });
    kit::RunLoop::main().addTimer(activity.timer, kit::CommonRunLoopModes);
  };
  if (kit::RunLoop::isMainThread()) {
    change();
  } else {
    kit::Queue::main().async(change);
  }
}

#define KT_LOCKED_PROPERTY(Type, getter, setter, field)  \
  Type KTWebImageManager::getter() const {               \
    std::lock_guard lock(lock_);                         \
    return field;                                        \
  }                                                      \
  void KTWebImageManager::setter(Type value) {           \
    std::lock_guard lock(lock_);                         \
    field = std::move(value);                            \
  }

KT_LOCKED_PROPERTY(kit::Ref<KTImageCache>, cache, setCache, cache_)
KT_LOCKED_PROPERTY(kit::Ref<kit::OperationQueue>, queue, setQueue, queue_)
KT_LOCKED_PROPERTY(KTWebImageTransformBlock, sharedTransformBlock, setSharedTransformBlock, sharedTransformBlock_)
KT_LOCKED_PROPERTY(double, timeout, setTimeout, timeout_)
KT_LOCKED_PROPERTY(KTWebImageManager::HeadersFilter, headersFilter, setHeadersFilter, headersFilter_)
KT_LOCKED_PROPERTY(KTWebImageManager::CacheKeyFilter, cacheKeyFilter, setCacheKeyFilter, cacheKeyFilter_)
#undef KT_LOCKED_PROPERTY

kit::Ref<kit::String> KTWebImageManager::username() const {
  std::lock_guard lock(lock_);
  return username_;
}
void KTWebImageManager::setUsername(const kit::Ref<kit::String>& username) {
  std::lock_guard lock(lock_);
  username_ = username ? kit::String::make(username->utf8()) : nullptr;
}
kit::Ref<kit::String> KTWebImageManager::password() const {
  std::lock_guard lock(lock_);
  return password_;
}
void KTWebImageManager::setPassword(const kit::Ref<kit::String>& password) {
  std::lock_guard lock(lock_);
  password_ = password ? kit::String::make(password->utf8()) : nullptr;
}
kit::Ref<kit::Dictionary> KTWebImageManager::headers() const {
  std::lock_guard lock(lock_);
  return headers_;
}
void KTWebImageManager::setHeaders(const kit::Ref<kit::Dictionary>& headers) {
  std::lock_guard lock(lock_);
  headers_ = headers ? kit::as<kit::Dictionary>(headers->copy()) : nullptr;
}
