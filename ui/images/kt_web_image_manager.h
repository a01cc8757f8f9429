// KTWebImageManager: turns an image address into a running download
// operation. It builds the request (time-out, headers, cookies, cache
// policy), derives the cache key, supplies a shared transform and
// credentials, and hands the operation to its queue (or starts it at once
// without one). It also keeps the process's count of network downloads that
// show the activity indicator; the indicator follows the count 1/30 s after
// its last change.
//
//   KTWebImageManager::sharedManager()->requestImageWithURL(url, KTWebImageOptionProgressive, nullptr, nullptr,
//       [](auto image, auto url, auto from, auto stage, auto error) { ... });  // on the network thread
#pragma once

#include <mutex>

#include "kit/dispatch/operation_queue.h"
#include "kit/foundation/dictionary.h"
#include "kit/foundation/string.h"
#include "ui/images/kt_image_cache.h"
#include "ui/images/kt_web_image_operation.h"
#include "ui/images/kt_web_image_options.h"

class KTWebImageManager : public kit::Object {
  KIT_OBJECT(KTWebImageManager)
  struct Passkey {};

 public:
  using HeadersFilter =
      std::function<kit::Ref<kit::Dictionary>(const kit::Ref<kit::URL>& url, const kit::Ref<kit::Dictionary>& headers)>;
  using CacheKeyFilter = std::function<kit::Ref<kit::String>(const kit::Ref<kit::URL>& url)>;

  // The shared image cache and a queue without a limit on concurrency.
  static kit::Ref<KTWebImageManager> sharedManager();
  // Raises "KTWebImageManager init error".
  static kit::Ref<KTWebImageManager> init();
  // A nil cache caches nothing; a nil queue starts each operation at once.
  static kit::Ref<KTWebImageManager> initWithCache(kit::Ref<KTImageCache> cache, kit::Ref<kit::OperationQueue> queue);
  KTWebImageManager(Passkey, kit::Ref<KTImageCache> cache, kit::Ref<kit::OperationQueue> queue);

  // nil only when no request can be made (a nil address).
  kit::Ref<KTWebImageOperation> requestImageWithURL(const kit::Ref<kit::URL>& url, KTWebImageOptions options,
                                                    KTWebImageProgressBlock progress,
                                                    KTWebImageTransformBlock transform,
                                                    KTWebImageCompletionBlock completion);
  kit::Ref<kit::Dictionary> headersForURL(const kit::Ref<kit::URL>& url) const;
  kit::Ref<kit::String> cacheKeyForURL(const kit::Ref<kit::URL>& url) const;

  // The count changes on the main thread (hopping there from elsewhere);
  // reading it is safe anywhere.
  static void incrementNetworkActivityCount();
  static void decrementNetworkActivityCount();
  static long currentNetworkActivityCount();

  kit::Ref<KTImageCache> cache() const;
  void setCache(kit::Ref<KTImageCache> cache);
  kit::Ref<kit::OperationQueue> queue() const;
  void setQueue(kit::Ref<kit::OperationQueue> queue);
  KTWebImageTransformBlock sharedTransformBlock() const;
  void setSharedTransformBlock(KTWebImageTransformBlock block);
  double timeout() const;
  void setTimeout(double seconds);
  kit::Ref<kit::String> username() const;
  void setUsername(const kit::Ref<kit::String>& username);
  kit::Ref<kit::String> password() const;
  void setPassword(const kit::Ref<kit::String>& password);
  kit::Ref<kit::Dictionary> headers() const;
  void setHeaders(const kit::Ref<kit::Dictionary>& headers);
  HeadersFilter headersFilter() const;
  void setHeadersFilter(HeadersFilter filter);
  CacheKeyFilter cacheKeyFilter() const;
  void setCacheKeyFilter(CacheKeyFilter filter);

 private:
  static void changeNetworkActivityCount(long delta);

  mutable std::mutex lock_;
  kit::Ref<KTImageCache> cache_;
  kit::Ref<kit::OperationQueue> queue_;
  KTWebImageTransformBlock sharedTransformBlock_;
  double timeout_ = 15;
  kit::Ref<kit::String> username_;
  kit::Ref<kit::String> password_;
  kit::Ref<kit::Dictionary> headers_;
  HeadersFilter headersFilter_;
  CacheKeyFilter cacheKeyFilter_;
};
