// CXRSdpNetTool: the platform SDK's plain client for form-field requests
// with JSON replies, on the HTTP session manager. Method 0 posts a form,
// method 1 sends a GET with a query; any other method sends nothing and
// calls nothing. Failures are logged before failure runs; callbacks run on
// the main queue.
#pragma once

#include <functional>
#include <string_view>

#include "net/http_session_manager.h"

class CXRSdpNetTool : public SDPHTTPSessionManager {
  KIT_OBJECT(CXRSdpNetTool)

 public:
  using Success = std::function<void(const kit::Id& responseObject)>;
  using Failure = std::function<void(const kit::Ref<kit::Error>& error)>;

  static kit::Ref<CXRSdpNetTool> sharedTool();

  void requestWithURLString(std::string_view URLString, const kit::Id& parameters, long method, Success success,
                            Failure failure);
  // A form POST to the platform API base URL followed by `path`.
  void PostWithURLString(std::string_view path, const kit::Id& parameters, Success success, Failure failure);

  CXRSdpNetTool() = default;

 protected:
  kit::Ref<SDPURLSessionManager> makeSameClass(
      const kit::Ref<kit::URLSessionConfiguration>& configuration) const override;

 private:
  void setUp(const kit::Ref<kit::URLSessionConfiguration>& configuration);
};
