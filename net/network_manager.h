// NetWorkManager: the platform SDK's main client for its API server. It
// posts the scrambled, gzip-compressed body of the parameters and hands
// every completed exchange (whatever its status) to success with the
// decoded reply, nil for an empty or undecodable body; failure gets the
// errors of exchanges that did not complete (transport, 10-second time-out,
// cancellation) and of bodies that could not be encoded. Callbacks run on
// the main queue; the reply's envelope is the caller's to read.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "net/url_session_manager.h"

class SDPHTTPRequestSerializer;

class NetWorkManager : public SDPURLSessionManager {
  KIT_OBJECT(NetWorkManager)

 public:
  using Success = std::function<void(const kit::Id& responseObject)>;
  using Failure = std::function<void(const kit::Ref<kit::Error>& error)>;

  static constexpr double kTimeoutInterval = 10;

  // One per process, made on first use.
  static kit::Ref<NetWorkManager> sharedInstance();

  // Posts to a full URL.
  void POST(std::string_view URLString, const kit::Id& parameters, Success success, Failure failure);
  // Posts to the platform API base URL followed by `path` ("pay/getjiasu").
  void PostCouponURL(std::string_view path, const kit::Id& parameters, Success success, Failure failure);

  NetWorkManager() = default;

 protected:
  kit::Ref<SDPURLSessionManager> makeSameClass(
      const kit::Ref<kit::URLSessionConfiguration>& configuration) const override;
  void initFromArchive(const kit::Ref<kit::URLSessionConfiguration>& configuration) override;

 private:
  void setUp(const kit::Ref<kit::URLSessionConfiguration>& configuration);

  // Made once with the manager: its default headers (language, user agent)
  // cost more to work out than a request does to build, and it is only
  // read afterwards, so POSTs from any thread share it.
  kit::Ref<SDPHTTPRequestSerializer> requestSerializer_;
};

// The platform API base URL that every platform API caller appends its
// relative path to: the configured platform API origin
// (ClientConfiguration::kPlatformAPIBase) followed by "/sdkapicoupon/".
std::string SDPPlatformAPIBaseURL();

// The request-serialization error for a body that could not be encoded,
// with the JSON or zlib error underneath.
kit::Ref<kit::Error> SDPBodyEncodingError(const kit::Ref<kit::Error>& underlying);
