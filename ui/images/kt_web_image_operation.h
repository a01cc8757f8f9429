// KTWebImageOperation: fetches one image for one request. It looks in the
// image cache first (memory, then disk), downloads on a URL connection when
// the cache has nothing, may deliver partial images while the bytes arrive,
// decodes the finished bytes off the network thread, stores the result and
// reports through its completion block.
//
// Every connection of every operation runs on one thread with its own run
// loop, "KTWebImageOperation.network", and progress and completion calls
// are made there; disk lookups, final decoding, the transform and cache
// stores run on a small pool of serial decode queues. Every progress and
// completion call is made under the operation's lock after checking that
// it is not cancelled, so nothing is delivered after cancel() returns; a
// cancelled operation reports once with KTWebImageStageCancelled (possibly
// after cancel() has returned), a failure once with KTWebImageStageFinished.
// Cancelling goes through kit::Operation::cancel().
//
// A download holds at most MaxDownloadBytes: an answer that announces more
// fails at once, and one that sends more fails as soon as it passes the
// limit, with URLErrorDataLengthExceedsMaximum; the buffer reserved up
// front is the announced length, at most 8 MiB.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "kit/dispatch/operation.h"
#include "kit/foundation/data.h"
#include "kit/foundation/string.h"
#include "kit/net/url_connection.h"
#include "kit/net/url_request.h"
#include "kit/ui/application.h"
#include "ui/images/kt_image_cache.h"
#include "ui/images/kt_web_image_options.h"
#include "ui/images/kt_web_image_progressive.h"

class KTWebImageOperation : public kit::Operation {
  KIT_OBJECT(KTWebImageOperation)
  struct Passkey {};

 public:
  // The most bytes one download may hold.
  static constexpr int64_t MaxDownloadBytes = int64_t{32} << 20;

  // Raises "KTWebImageOperation init error": an operation needs a request.
  static kit::Ref<KTWebImageOperation> init();
  // nil without a request. Without a cache key the request's address keys
  // the cache.
  static kit::Ref<KTWebImageOperation> initWithRequest(const kit::Ref<kit::URLRequest>& request,
                                                       KTWebImageOptions options, kit::Ref<KTImageCache> cache,
                                                       kit::Ref<kit::String> cacheKey,
                                                       KTWebImageProgressBlock progress,
                                                       KTWebImageTransformBlock transform,
                                                       KTWebImageCompletionBlock completion);
  KTWebImageOperation(Passkey, kit::Ref<kit::URLRequest> request, KTWebImageOptions options,
                      kit::Ref<KTImageCache> cache, kit::Ref<kit::String> cacheKey, KTWebImageProgressBlock progress,
                      KTWebImageTransformBlock transform, KTWebImageCompletionBlock completion);
  // An operation let go while it runs cancels its download and reports
  // KTWebImageStageCancelled.
  ~KTWebImageOperation() override;

  const kit::Ref<kit::URLRequest>& request() const { return request_; }
  const kit::Ref<KTImageCache>& cache() const { return cache_; }
  const kit::Ref<kit::String>& cacheKey() const { return cacheKey_; }
  KTWebImageOptions options() const { return options_; }
  bool shouldUseCredentialStorage() const;
  void setShouldUseCredentialStorage(bool v);
  kit::Ref<kit::URLCredential> credential() const;
  void setCredential(kit::Ref<kit::URLCredential> credential);

  void start() override;
  bool isAsynchronous() const override { return true; }
  bool isConcurrent() const { return true; }
  std::string description() const override;

  // The connection's events, on the network thread.
  void connectionWillSendRequestForAuthenticationChallenge(kit::URLConnection& connection,
                                                           const kit::Ref<kit::URLAuthenticationChallenge>& challenge,
                                                           const kit::Ref<kit::URLAuthenticationChallengeSender>& sender);
  kit::Ref<kit::CachedURLResponse> connectionWillCacheResponse(kit::URLConnection& connection,
                                                               const kit::Ref<kit::CachedURLResponse>& proposed);
  void connectionDidReceiveResponse(kit::URLConnection& connection, const kit::Ref<kit::URLResponse>& response);
  void connectionDidReceiveData(kit::URLConnection& connection, const kit::Ref<kit::Data>& data);
  void connectionDidFinishLoading(kit::URLConnection& connection);
  void connectionDidFailWithError(kit::URLConnection& connection, const kit::Ref<kit::Error>& error);

 private:
  kit::Ref<KTWebImageOperation> strongSelf() { return std::static_pointer_cast<KTWebImageOperation>(self()); }
  const kit::Ref<kit::URL>& url() const;
  bool isNetworkURL() const;
  void didCancel();
  void startOperation();
  void cancelOperation();
  void startRequest();
  void didReceiveImageFromDiskCache(const kit::Ref<kit::Image>& image);
  void finalDecode(const kit::Ref<kit::Data>& data);
  // Ends a download that holds or announces more than MaxDownloadBytes.
  void refuseOversize(kit::URLConnection& connection);
  void didReceiveImageFromWeb(const kit::Ref<kit::Image>& image, const kit::Ref<kit::Data>& keptData);
  void finish();
  void endBackgroundTask();
  void lowerIndicator();
  void failWithError(const kit::Ref<kit::Error>& error);

  const kit::Ref<kit::URLRequest> request_;
  const KTWebImageOptions options_;
  const kit::Ref<KTImageCache> cache_;
  const kit::Ref<kit::String> cacheKey_;
  const KTWebImageProgressBlock progress_;
  const KTWebImageTransformBlock transform_;
  const KTWebImageCompletionBlock completion_;

  // Guards the state, the callbacks and the connection; taken again by the
  // thread that holds it.
  mutable std::recursive_mutex lock_;
  bool started_ = false;
  bool executing_ = false;
  bool finished_ = false;
  bool cancelled_ = false;
  bool shouldUseCredentialStorage_ = true;
  kit::Ref<kit::URLCredential> credential_;
  kit::Ref<kit::URLConnection> connection_;
  bool indicatorRaised_ = false;
  kit::BackgroundTaskIdentifier taskID_ = kit::InvalidBackgroundTask;

  // Network thread only.
  kit::Ref<kit::MutableData> data_;
  int64_t expectedSize_ = 0;
  double lastProgressiveDecodeTimestamp_ = 0;
  std::unique_ptr<KTWebImageProgressiveDecoder> progressive_;
};
