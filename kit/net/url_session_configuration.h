// Session configurations: default, ephemeral and background (with an
// identifier), with the platform's defaults (60-second request time-out,
// 7-day resource time-out, 6 connections per host, cookies on).
//
// A configuration can be archived with kit's keyed archiver: its kind,
// identifier and settings are kept. The URL cache is a live object and is
// not: whether the configuration had one is kept, and a decoded one gets
// its kind's cache (the shared cache, or a fresh in-memory one when
// ephemeral), never a cache at a place the archive names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "kit/foundation/dictionary.h"
#include "kit/foundation/keyed_archiver.h"
#include "kit/net/url_request.h"

namespace kit {

class URLCache;

// The default maximum of a body held in memory, after decoding: 64 MiB.
inline constexpr int64_t URLSessionDefaultMaximumInMemoryBodyLength = int64_t{64} << 20;

// The most connections a session opens to one host.
inline constexpr long URLSessionMaximumConnectionsPerHost = 1024;

class URLSessionConfiguration : public Object, public Coding {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  static Ref<URLSessionConfiguration> defaultSessionConfiguration();
  // Keeps nothing on disk: no disk cache, cookies only for the session.
  static Ref<URLSessionConfiguration> ephemeralSessionConfiguration();
  static Ref<URLSessionConfiguration> backgroundSessionConfigurationWithIdentifier(std::string identifier);

  const std::optional<std::string>& identifier() const { return identifier_; }
  bool isEphemeral() const { return ephemeral_; }

  double timeoutIntervalForRequest = DefaultRequestTimeout;
  double timeoutIntervalForResource = 7 * 24 * 3600.0;
  // At least 1. A session opens no more than URLSessionMaximumConnectionsPerHost
  // whatever is set here, and an archive with more decodes as nil.
  long HTTPMaximumConnectionsPerHost = 6;
  URLRequestCachePolicy requestCachePolicy = URLRequestCachePolicy::UseProtocolCachePolicy;
  URLRequestNetworkServiceType networkServiceType = URLRequestNetworkServiceType::Default;
  bool allowsCellularAccess = true;
  bool HTTPShouldUsePipelining = false;
  bool HTTPShouldSetCookies = true;
  bool waitsForConnectivity = false;
  bool discretionary = false;
  bool sessionSendsLaunchEvents = true;
  // Header fields added to every request that does not set them itself.
  Ref<Dictionary> HTTPAdditionalHeaders;
  // nil: no caching.
  Ref<kit::URLCache> URLCache;
  std::optional<std::string> sharedContainerIdentifier;

  // The longest body, after decoding, that a task holds in memory for its
  // completion handler or hands to its delegate as data; a longer one fails
  // the task with URLErrorDataLengthExceedsMaximum (a small compressed
  // body can decode to gigabytes). Downloads write to files and are not
  // bounded by it.
  int64_t maximumInMemoryBodyLength() const { return maximumInMemoryBodyLength_; }
  void setMaximumInMemoryBodyLength(int64_t length) { maximumInMemoryBodyLength_ = length; }

  // A configuration with the same settings (the cache object is shared).
  Id copy() const override;
  std::string description() const override;

  // Settings that do not make a working session (time-outs that are not
  // finite and positive, no connections, unknown policies, headers that are
  // not text) decode as nil.
  void encodeWithCoder(KeyedArchiver& coder) const override;
  bool initWithCoder(KeyedUnarchiver& coder) override;

  URLSessionConfiguration() = default;

 protected:
  // Takes over every setting of `other`, its kind and identifier included.
  void takeSettings(const URLSessionConfiguration& other);

 private:
  std::optional<std::string> identifier_;
  bool ephemeral_ = false;
  int64_t maximumInMemoryBodyLength_ = URLSessionDefaultMaximumInMemoryBodyLength;
};

}  // namespace kit
