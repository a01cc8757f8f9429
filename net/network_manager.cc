// The platform SDK's main API client.
#include "net/network_manager.h"

#include "config/client_configuration.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/values.h"
#include "net/body_codec.h"
#include "net/networking_errors.h"
#include "net/request_serializer.h"

std::string SDPPlatformAPIBaseURL() {
  return ClientConfiguration::shared().urlForService(ClientConfiguration::kPlatformAPIBase, "sdkapicoupon/")->utf8();
}

kit::Ref<kit::Error> SDPBodyEncodingError(const kit::Ref<kit::Error>& underlying) {
  return SDPMakeError(SDPRequestSerializationErrorDomain, SDPRequestBodyEncodingFailedError,
                      SDPLocalizedText("The request body could not be encoded."), underlying);
}

KIT_DEFINE_CLASS(NetWorkManager, SDPURLSessionManager) {}

kit::Ref<NetWorkManager> NetWorkManager::sharedInstance() {
  static const kit::NoDestructor<kit::Ref<NetWorkManager>> shared([] {
    auto manager = kit::make<NetWorkManager>();
    manager->setUp(kit::URLSessionConfiguration::defaultSessionConfiguration());
    return manager;
  }());
  return *shared;
}

void NetWorkManager::setUp(const kit::Ref<kit::URLSessionConfiguration>& configuration) {
  initWithSessionConfiguration(configuration);
  requestSerializer_ = SDPHTTPRequestSerializer::serializer();
  auto serializer = SDPHTTPResponseSerializer::serializer();
  serializer->setAcceptableContentTypes(
      kit::Set::make({kit::str("application/json"), kit::str("text/html"), kit::str("text/json"),
                      kit::str("text/javascript"), kit::str("text/plain")}));
  setResponseSerializer(serializer);
}

kit::Ref<SDPURLSessionManager> NetWorkManager::makeSameClass(
    const kit::Ref<kit::URLSessionConfiguration>& configuration) const {
  auto manager = kit::make<NetWorkManager>();
  manager->setUp(configuration);
  return manager;
}

void NetWorkManager::initFromArchive(const kit::Ref<kit::URLSessionConfiguration>& configuration) {
  setUp(configuration);
}

void NetWorkManager::POST(std::string_view URLString, const kit::Id& parameters, Success success, Failure failure) {
  kit::Ref<kit::Error> encodingError;
  auto body = DecodeGzipBase64::codingJSON(parameters, &encodingError);
  if (!body) {
    // Nothing is sent; the caller hears why, as it would of a failed
    // exchange.
    auto error = SDPBodyEncodingError(encodingError);
    kit::Queue::main().async([failure, error] {
      if (failure) failure(error);
    });
    return;
  }

  const auto& serializer = requestSerializer_ ? requestSerializer_ : SDPHTTPRequestSerializer::serializer();
  auto request = serializer->requestWithMethod("POST", URLString, nullptr, nullptr);
  request->setTimeoutInterval(kTimeoutInterval);
  request->setValue("text/html", "Content-Type");
  request->setHTTPBody(body);

  auto task = dataTaskWithRequest(request, nullptr, nullptr,
                                  [success, failure](const kit::Ref<kit::URLResponse>&, const kit::Id& responseObject,
                                                     const kit::Ref<kit::Error>& error) {
                                    // The raw serializer hands over the body of every exchange that
                                    // completed, valid or not; only one that did not complete has none.
                                    if (responseObject) {
                                      if (success)
                                        success(DecodeGzipBase64::decodingJSON(kit::as<kit::Data>(responseObject)));
                                    } else if (failure) {
                                      failure(error);
                                    }
                                  });
  task->resume();
}

void NetWorkManager::PostCouponURL(std::string_view path, const kit::Id& parameters, Success success, Failure failure) {
  POST(SDPPlatformAPIBaseURL() + std::string(path), parameters, std::move(success), std::move(failure));
}
