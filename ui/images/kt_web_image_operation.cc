// The image download operation. See kt_web_image_operation.h.
#include "ui/images/kt_web_image_operation.h"

#include <algorithm>
#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "kit/dispatch/clock.h"
#include "kit/dispatch/queue.h"
#include "kit/dispatch/runloop.h"
#include "kit/dispatch/thread.h"
#include "kit/foundation/exception.h"
#include "kit/foundation/file_manager.h"
#include "kit/foundation/format.h"
#include "kit/foundation/no_destructor.h"
#include "kit/ui/screen.h"
#include "ui/images/kt_image.h"
#include "ui/images/kt_image_coder.h"
#include "ui/images/kt_image_decoder.h"
#include "ui/images/kt_image_type.h"
#include "ui/images/kt_web_image_manager.h"

KIT_DEFINE_CLASS(KTWebImageOperation, kit::Operation) {}

namespace {

// The buffer reserved up front, whatever the announced length; it grows as
// bytes arrive.
constexpr int64_t kMaxReservedBytes = 8 << 20;
// Partial images need this many bytes in the newest chunk.
constexpr size_t kMinProgressiveChunk = 17;

kit::Thread& networkThread() {
  static const kit::NoDestructor<kit::Ref<kit::Thread>> thread(kit::Thread::withRunLoop("KTWebImageOperation.network"));
  return **thread;
}

const kit::Ref<kit::Queue>& decodeQueue() {
  static const kit::NoDestructor<std::vector<kit::Ref<kit::Queue>>> queues([] {
    const unsigned processors = std::clamp(std::thread::hardware_concurrency(), 1u, 16u);
    std::vector<kit::Ref<kit::Queue>> made;
    for (unsigned i = 0; i < processors; ++i) made.push_back(kit::Queue::serial("KTWebImageOperation.decode"));
    return made;
  }());
  static std::atomic<uint64_t> counter{0};
  return (*queues)[counter.fetch_add(1) % queues->size()];
}

// Addresses that failed; only ever added to, for the life of the process.
struct FailedURLs {
  std::mutex mutex;
  std::set<std::string> addresses;
};

FailedURLs& failedURLs() {
  static kit::NoDestructor<FailedURLs> failed;
  return *failed;
}

bool isFailedURL(const kit::Ref<kit::URL>& url) {
  if (!url) return false;
  auto& failed = failedURLs();
  std::lock_guard lock(failed.mutex);
  return failed.addresses.count(url->absoluteString()->utf8()) > 0;
}

void addFailedURL(const kit::Ref<kit::URL>& url) {
  if (!url) return;
  auto& failed = failedURLs();
  std::lock_guard lock(failed.mutex);
  failed.addresses.insert(url->absoluteString()->utf8());
}

kit::Ref<kit::Error> blacklistedError() {
  return kit::Error::make(kit::URLErrorDomain, -1100, "Failed to load URL, blacklisted.");
}

kit::Ref<kit::Error> tooLargeError() {
  return kit::Error::make(kit::URLErrorDomain, kit::URLErrorDataLengthExceedsMaximum,
                          kit::formatString("The image is larger than the %lld bytes a download may hold.",
                                            static_cast<long long>(KTWebImageOperation::MaxDownloadBytes)));
}

double mainScreenScale() { return kit::Screen::main()->scale(); }

// The connection's delegate: it forwards to the operation while the
// operation lives, so the connection never keeps the operation alive.
class KTWebImageWeakProxy : public kit::URLConnectionDelegate {
 public:
  explicit KTWebImageWeakProxy(kit::Weak<KTWebImageOperation> target) : target_(std::move(target)) {}

  void connectionWillSendRequestForAuthenticationChallenge(
      kit::URLConnection& c, const kit::Ref<kit::URLAuthenticationChallenge>& challenge,
      const kit::Ref<kit::URLAuthenticationChallengeSender>& sender) override {
    if (auto target = target_.lock()) return target->connectionWillSendRequestForAuthenticationChallenge(c, challenge, sender);
    sender->cancelAuthenticationChallenge();
  }
  kit::Ref<kit::CachedURLResponse> connectionWillCacheResponse(
      kit::URLConnection& c, const kit::Ref<kit::CachedURLResponse>& proposed) override {
    auto target = target_.lock();
    return target ? target->connectionWillCacheResponse(c, proposed) : nullptr;
  }
  void connectionDidReceiveResponse(kit::URLConnection& c, const kit::Ref<kit::URLResponse>& response) override {
    if (auto target = target_.lock()) target->connectionDidReceiveResponse(c, response);
  }
  void connectionDidReceiveData(kit::URLConnection& c, const kit::Ref<kit::Data>& data) override {
    if (auto target = target_.lock()) target->connectionDidReceiveData(c, data);
  }
  void connectionDidFinishLoading(kit::URLConnection& c) override {
    if (auto target = target_.lock()) target->connectionDidFinishLoading(c);
  }
  void connectionDidFailWithError(kit::URLConnection& c, const kit::Ref<kit::Error>& error) override {
    if (auto target = target_.lock()) target->connectionDidFailWithError(c, error);
  }

 private:
  kit::Weak<KTWebImageOperation> target_;
};

}  // namespace

kit::Ref<KTWebImageOperation> KTWebImageOperation::init() {
  kit::raise("KTWebImageOperation init error",
             "KTWebImageOperation must be initialized with a request. Use the designated initializer to init.");
}

kit::Ref<KTWebImageOperation> KTWebImageOperation::initWithRequest(
    const kit::Ref<kit::URLRequest>& request, KTWebImageOptions options, kit::Ref<KTImageCache> cache,
    kit::Ref<kit::String> cacheKey, KTWebImageProgressBlock progress, KTWebImageTransformBlock transform,
    KTWebImageCompletionBlock completion) {
  if (!request) return nullptr;
  auto operation = std::make_shared<KTWebImageOperation>(Passkey{}, request, options, std::move(cache),
                                                         std::move(cacheKey), std::move(progress),
                                                         std::move(transform), std::move(completion));
  // kit::Operation::cancel() reports the change; the cancel work runs then,
  // on the cancelling thread, before cancel() returns.
  kit::Weak<KTWebImageOperation> weak = operation;
  operation->addStateObserver([weak](kit::Operation&, const std::string& key) {
    if (key != "isCancelled") return;
    if (auto op = weak.lock()) op->didCancel();
  });
  return operation;
}

KTWebImageOperation::KTWebImageOperation(Passkey, kit::Ref<kit::URLRequest> request, KTWebImageOptions options,
                                         kit::Ref<KTImageCache> cache, kit::Ref<kit::String> cacheKey,
                                         KTWebImageProgressBlock progress, KTWebImageTransformBlock transform,
                                         KTWebImageCompletionBlock completion)
    : request_(std::move(request)),
      options_(options),
      cache_(std::move(cache)),
      cacheKey_(cacheKey ? std::move(cacheKey)
                         : (request_->URL() ? request_->URL()->absoluteString() : nullptr)),
      progress_(std::move(progress)),
      transform_(std::move(transform)),
      completion_(std::move(completion)) {}

KTWebImageOperation::~KTWebImageOperation() {
  std::lock_guard lock(lock_);
  if (taskID_ != kit::InvalidBackgroundTask) {
    kit::Application::shared()->endBackgroundTask(taskID_);
    taskID_ = kit::InvalidBackgroundTask;
  }
  if (!executing_) return;
  cancelled_ = true;
  finished_ = true;
  if (connection_) {
    connection_->cancel();
    connection_ = nullptr;
  }
  lowerIndicator();
  if (completion_) completion_(nullptr, url(), KTWebImageSourceNone, KTWebImageStageCancelled, nullptr);
}

const kit::Ref<kit::URL>& KTWebImageOperation::url() const { return request_->URL(); }

bool KTWebImageOperation::isNetworkURL() const { return url() && !url()->isFileURL(); }

bool KTWebImageOperation::shouldUseCredentialStorage() const {
  std::lock_guard lock(lock_);
  return shouldUseCredentialStorage_;
}
void KTWebImageOperation::setShouldUseCredentialStorage(bool v) {
  std::lock_guard lock(lock_);
  shouldUseCredentialStorage_ = v;
}
kit::Ref<kit::URLCredential> KTWebImageOperation::credential() const {
  std::lock_guard lock(lock_);
  return credential_;
}
void KTWebImageOperation::setCredential(kit::Ref<kit::URLCredential> credential) {
  std::lock_guard lock(lock_);
  credential_ = std::move(credential);
}

std::string KTWebImageOperation::description() const {
  std::lock_guard lock(lock_);
  auto flag = [](bool v) { return v ? "YES" : "NO"; };
  return kit::formatString("<%s: %p ", objectClass().name(), static_cast<const void*>(this)) +
         kit::formatString(" executing:%s", flag(executing_)) + kit::formatString(" finished:%s", flag(finished_)) +
         kit::formatString(" cancelled:%s", flag(cancelled_)) + ">";
}

// ---- State

void KTWebImageOperation::start() {
  std::lock_guard lock(lock_);
  started_ = true;
  if (cancelled_) {
    networkThread().perform([op = strongSelf()] { op->cancelOperation(); });
    finished_ = true;
    setFinished(true);
    return;
  }
  if (!isReady() || finished_ || executing_) return;
  executing_ = true;
  setExecuting(true);
  networkThread().perform([op = strongSelf()] { op->startOperation(); });
  if ((options_ & KTWebImageOptionBackgroundTask) && taskID_ == kit::InvalidBackgroundTask) {
    kit::Weak<KTWebImageOperation> weak = strongSelf();
    taskID_ = kit::Application::shared()->beginBackgroundTask([weak] {
      auto op = weak.lock();
      if (!op) return;
      op->cancel();
      std::lock_guard lock(op->lock_);
      op->finished_ = true;
      op->setFinished(true);
    });
  }
}

void KTWebImageOperation::didCancel() {
  std::lock_guard lock(lock_);
  if (cancelled_) return;
  cancelled_ = true;
  if (executing_) {
    executing_ = false;
    setExecuting(false);
    networkThread().perform([op = strongSelf()] { op->cancelOperation(); });
  }
  if (started_) {
    finished_ = true;
    setFinished(true);
  }
}

void KTWebImageOperation::finish() {
  std::lock_guard lock(lock_);
  executing_ = false;
  finished_ = true;
  setExecuting(false);
  setFinished(true);
  endBackgroundTask();
}

void KTWebImageOperation::endBackgroundTask() {
  std::lock_guard lock(lock_);
  if (taskID_ == kit::InvalidBackgroundTask) return;
  kit::Application::shared()->endBackgroundTask(taskID_);
  taskID_ = kit::InvalidBackgroundTask;
}

void KTWebImageOperation::lowerIndicator() {
  if (!indicatorRaised_) return;
  indicatorRaised_ = false;
  KTWebImageManager::decrementNetworkActivityCount();
}

// ---- Network thread

void KTWebImageOperation::cancelOperation() {
  std::lock_guard lock(lock_);
  if (connection_) {
    connection_->cancel();
    connection_ = nullptr;
  }
  lowerIndicator();
  if (completion_) completion_(nullptr, url(), KTWebImageSourceNone, KTWebImageStageCancelled, nullptr);
  endBackgroundTask();
}

void KTWebImageOperation::startOperation() {
  if (isCancelled()) return;
  if (cache_ && !(options_ & (KTWebImageOptionUseURLCache | KTWebImageOptionRefreshCache))) {
    if (auto image = cache_->getImageForKey(cacheKey_, KTImageCacheTypeMemory)) {
      std::lock_guard lock(lock_);
      if (!cancelled_) {
        if (completion_) completion_(image, url(), KTWebImageSourceMemory, KTWebImageStageFinished, nullptr);
        finish();
      }
      return;
    }
    if (!(options_ & KTWebImageOptionSkipDiskCache)) {
      kit::Weak<KTWebImageOperation> weak = strongSelf();
      decodeQueue()->async([weak] {
        auto op = weak.lock();
        if (!op || op->isCancelled()) return;
        auto image = op->cache_->getImageForKey(op->cacheKey_, KTImageCacheTypeDisk);
        if (image) {
          op->cache_->setImage(image, nullptr, op->cacheKey_, KTImageCacheTypeMemory);
          networkThread().perform([op, image] { op->didReceiveImageFromDiskCache(image); });
        } else {
          networkThread().perform([op] { op->startRequest(); });
        }
      });
      return;
    }
  }
  startRequest();
}

void KTWebImageOperation::didReceiveImageFromDiskCache(const kit::Ref<kit::Image>& image) {
  std::lock_guard lock(lock_);
  if (cancelled_) return;
  if (!image) return startRequest();
  if (completion_) completion_(image, url(), KTWebImageSourceDisk, KTWebImageStageFinished, nullptr);
  finish();
}

void KTWebImageOperation::startRequest() {
  if (isCancelled()) return;
  if ((options_ & KTWebImageOptionSkipFailedURL) && isFailedURL(url())) {
    std::lock_guard lock(lock_);
    if (!cancelled_) {
      if (completion_) completion_(nullptr, url(), KTWebImageSourceNone, KTWebImageStageFinished, blacklistedError());
      finish();
    }
    return;
  }
  if (url() && url()->isFileURL()) {
    auto path = url()->path();
    auto attributes = path ? kit::FileManager::defaultManager()->attributesOfItemAtPath(path->utf8()) : nullptr;
    expectedSize_ = attributes ? static_cast<int64_t>(kit::fileSize(attributes)) : -1;
  }
  std::lock_guard lock(lock_);
  if (cancelled_) return;
  connection_ = kit::URLConnection::connectionWithRequest(
      request_, std::make_shared<KTWebImageWeakProxy>(kit::Weak<KTWebImageOperation>(strongSelf())));
  if (connection_ && isNetworkURL() && (options_ & KTWebImageOptionNetworkIndicator)) {
    indicatorRaised_ = true;
    KTWebImageManager::incrementNetworkActivityCount();
  }
}

void KTWebImageOperation::connectionWillSendRequestForAuthenticationChallenge(
    kit::URLConnection&, const kit::Ref<kit::URLAuthenticationChallenge>& challenge,
    const kit::Ref<kit::URLAuthenticationChallengeSender>& sender) {
  auto space = challenge->protectionSpace();
  if (space && space->authenticationMethod() == kit::URLAuthenticationMethodServerTrust) {
    // The presented trust is taken as it is only when invalid certificates
    // are allowed; otherwise the default evaluation decides.
    if (options_ & KTWebImageOptionAllowInvalidCertificates) {
      sender->useCredential(kit::URLCredential::credentialForTrust(space->serverTrust()));
    } else if (sender->respondsToPerformDefaultHandling()) {
      sender->performDefaultHandling();
    } else {
      sender->continueWithoutCredential();
    }
    return;
  }
  auto given = credential();
  if (challenge->previousFailureCount() == 0 && given) {
    sender->useCredential(given);
  } else {
    sender->continueWithoutCredential();
  }
}

kit::Ref<kit::CachedURLResponse> KTWebImageOperation::connectionWillCacheResponse(
    kit::URLConnection&, const kit::Ref<kit::CachedURLResponse>& proposed) {
  return (options_ & KTWebImageOptionUseURLCache) ? proposed : nullptr;
}

void KTWebImageOperation::connectionDidReceiveResponse(kit::URLConnection& connection,
                                                       const kit::Ref<kit::URLResponse>& response) {
  if (auto http = kit::as<kit::HTTPURLResponse>(response)) {
    const long status = http->statusCode();
    if (status > 399 || status == 304) {
      connection.cancel();
      connectionDidFailWithError(connection, kit::Error::make(kit::URLErrorDomain, status));
      return;
    }
  }
  const int64_t expected = response ? response->expectedContentLength() : -1;
  if (expected != 0) expectedSize_ = expected < 0 ? -1 : expected;
  if (expectedSize_ > MaxDownloadBytes) return refuseOversize(connection);
  data_ = kit::MutableData::make();
  data_->mutableVector().reserve(static_cast<size_t>(std::clamp<int64_t>(expectedSize_, 0, kMaxReservedBytes)));
  if (progress_) {
    std::lock_guard lock(lock_);
    if (!cancelled_) progress_(0, expectedSize_);
  }
}

void KTWebImageOperation::connectionDidReceiveData(kit::URLConnection& connection, const kit::Ref<kit::Data>& chunk) {
  if (isCancelled() || !chunk) return;
  {
    std::lock_guard lock(lock_);
    if (cancelled_) return;
  }
  if (!data_) data_ = kit::MutableData::make();
  if (data_->length() + chunk->length() > static_cast<uint64_t>(MaxDownloadBytes)) return refuseOversize(connection);
  data_->appendData(*chunk);
  if (progress_) {
    std::lock_guard lock(lock_);
    if (!cancelled_) progress_(static_cast<int64_t>(data_->length()), expectedSize_);
  }

  const bool blur = options_ & KTWebImageOptionProgressiveBlur;
  if (!(options_ & (KTWebImageOptionProgressive | KTWebImageOptionProgressiveBlur)) || !completion_) return;
  const size_t length = chunk->length();
  if (length < kMinProgressiveChunk) return;
  if (expectedSize_ > 0 && !(0.99 * static_cast<double>(expectedSize_) > static_cast<double>(length))) return;
  if (progressive_ && progressive_->isIgnored()) return;

  const double now = kit::Clock::now();
  if (now - lastProgressiveDecodeTimestamp_ < (blur ? 0.4 : 0.2)) return;
  if (!progressive_) progressive_ = std::make_unique<KTWebImageProgressiveDecoder>(blur, mainScreenScale());
  // The decoder reads unfinished data only while it is being given, so it
  // takes the growing buffer itself, not a copy of it.
  auto image = progressive_->imageForData(data_, expectedSize_, [this] { return isCancelled(); });
  if (!image) return;
  std::lock_guard lock(lock_);
  if (cancelled_) return;
  completion_(image, url(), KTWebImageSourceRemote, KTWebImageStageProgress, nullptr);
  lastProgressiveDecodeTimestamp_ = kit::Clock::now();
}

void KTWebImageOperation::connectionDidFinishLoading(kit::URLConnection&) {
  std::lock_guard lock(lock_);
  connection_ = nullptr;
  if (cancelled_) return;
  // The partial images are over; the bytes move, whole, to the final decode.
  progressive_.reset();
  kit::Ref<kit::Data> data = data_ ? kit::Data::make(std::move(data_->mutableVector())) : kit::Data::make();
  data_ = nullptr;
  kit::Weak<KTWebImageOperation> weak = strongSelf();
  decodeQueue()->async([weak, data] {
    if (auto op = weak.lock()) op->finalDecode(data);
  });
  lowerIndicator();
}

void KTWebImageOperation::refuseOversize(kit::URLConnection& connection) {
  connection.cancel();
  connectionDidFailWithError(connection, tooLargeError());
}

void KTWebImageOperation::finalDecode(const kit::Ref<kit::Data>& data) {
  const double scale = mainScreenScale();
  const bool decodeForDisplay = !(options_ & KTWebImageOptionNoDecode);
  kit::Ref<kit::Image> image;
  bool animated = false;
  if (options_ & KTWebImageOptionNoAnimation) {
    auto decoder = KTImageDecoder::decoderWithData(data, scale);
    auto frame = decoder ? decoder->frameAtIndex(0, decodeForDisplay) : nullptr;
    image = frame ? frame->image() : nullptr;
  } else {
    auto decoded = KTImage::imageWithData(data, scale);
    animated = decoded && decoded->animatedImageFrameCount() > 1;
    image = decoded;
    if (image && decodeForDisplay) image = KT_imageByDecoded(image);
  }
  // Which bytes the disk level keeps: JPEG and PNG as downloaded, GIF and
  // WebP only while animated; otherwise the cache encodes the image.
  kit::Ref<kit::Data> kept = data;
  switch (KTDetectImageType(data)) {
    case KTImageTypeJPEG:
    case KTImageTypePNG:
      break;
    case KTImageTypeGIF:
    case KTImageTypeWebP:
      if (!animated) kept = nullptr;
      break;
    default:
      kept = nullptr;
  }
  if (isCancelled()) return;
  if (image && transform_) {
    auto transformed = transform_(image, url());
    if (transformed != image) kept = nullptr;
    image = transformed;
    if (isCancelled()) return;
  }
  networkThread().perform([op = strongSelf(), image, kept] { op->didReceiveImageFromWeb(image, kept); });
}

void KTWebImageOperation::didReceiveImageFromWeb(const kit::Ref<kit::Image>& image, const kit::Ref<kit::Data>& kept) {
  std::lock_guard lock(lock_);
  if (cancelled_) return;
  if (cache_ && (image || (options_ & KTWebImageOptionRefreshCache))) {
    // The store gets the kept bytes by value: the buffer goes right after.
    auto cache = cache_;
    auto key = cacheKey_;
    auto type = (options_ & KTWebImageOptionSkipDiskCache) ? KTImageCacheTypeMemory : KTImageCacheTypeAll;
    decodeQueue()->async([cache, key, image, kept, type] { cache->setImage(image, kept, key, type); });
  }
  kit::Ref<kit::Error> error;
  if (!image) {
    error = kit::Error::make(KTWebImageDecodeErrorDomain, -1, "Web image decode fail.");
    if (options_ & KTWebImageOptionSkipFailedURL) {
      if (isFailedURL(url())) {
        error = blacklistedError();
      } else {
        addFailedURL(url());
      }
    }
  }
  if (completion_) completion_(image, url(), KTWebImageSourceRemote, KTWebImageStageFinished, error);
  finish();
}

void KTWebImageOperation::connectionDidFailWithError(kit::URLConnection&, const kit::Ref<kit::Error>& error) {
  std::lock_guard lock(lock_);
  if (cancelled_) return;
  if (completion_) completion_(nullptr, url(), KTWebImageSourceNone, KTWebImageStageFinished, error);
  connection_ = nullptr;
  data_ = nullptr;
  progressive_.reset();
  lowerIndicator();
  finish();
  if (options_ & KTWebImageOptionSkipFailedURL) {
    const long code = error ? error->code() : 0;
    const bool transient = code == -1009 || code == -999 || code == -1001 || code == -1012 || code == -1005;
    if (!transient) addFailedURL(url());
  }
}
