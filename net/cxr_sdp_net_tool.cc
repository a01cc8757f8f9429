// The form-field client of the platform SDK.
#include "net/cxr_sdp_net_tool.h"

#include "kit/foundation/log.h"
#include "kit/foundation/no_destructor.h"
#include "net/network_manager.h"

KIT_DEFINE_CLASS(CXRSdpNetTool, SDPHTTPSessionManager) {}

kit::Ref<CXRSdpNetTool> CXRSdpNetTool::sharedTool() {
  static const kit::NoDestructor<kit::Ref<CXRSdpNetTool>> shared([] {
    auto tool = kit::make<CXRSdpNetTool>();
    tool->setUp(nullptr);
    return tool;
  }());
  return *shared;
}

void CXRSdpNetTool::setUp(const kit::Ref<kit::URLSessionConfiguration>& configuration) {
  initWithBaseURL(nullptr, configuration);
  auto serializer = responseSerializer();
  std::vector<kit::Id> types = serializer->acceptableContentTypes()->allObjects()->objects();
  types.push_back(kit::str("text/html"));
  serializer->setAcceptableContentTypes(kit::Set::make(types));
}

kit::Ref<SDPURLSessionManager> CXRSdpNetTool::makeSameClass(
    const kit::Ref<kit::URLSessionConfiguration>& configuration) const {
  auto tool = kit::make<CXRSdpNetTool>();
  tool->setUp(configuration);
  return tool;
}

void CXRSdpNetTool::requestWithURLString(std::string_view URLString, const kit::Id& parameters, long method,
                                         Success success, Failure failure) {
  auto succeeded = [success](const kit::Ref<kit::URLSessionDataTask>&, const kit::Id& responseObject) {
    if (success) success(responseObject);
  };
  switch (method) {
    case 0:
      POST(URLString, parameters, ProgressBlock(), succeeded,
           [failure](const kit::Ref<kit::URLSessionDataTask>&, const kit::Ref<kit::Error>& error) {
             kit::log("error = %@", error);
             if (failure) failure(error);
           });
      break;
    case 1:
      GET(URLString, parameters, ProgressBlock(), succeeded,
          [failure](const kit::Ref<kit::URLSessionDataTask>&, const kit::Ref<kit::Error>& error) {
            kit::log("%@", error);
            if (failure) failure(error);
          });
      break;
    default: break;
  }
}

void CXRSdpNetTool::PostWithURLString(std::string_view path, const kit::Id& parameters, Success success,
                                      Failure failure) {
  requestWithURLString(SDPPlatformAPIBaseURL() + std::string(path), parameters, 0, std::move(success),
                       [failure](const kit::Ref<kit::Error>& error) {
                         kit::log("error = %@", error);
                         if (failure) failure(error);
                       });
}
