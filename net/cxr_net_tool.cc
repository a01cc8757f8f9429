// The URL-connection client of the platform SDK.
#include "net/cxr_net_tool.h"

#include <mutex>

#include "kit/dispatch/runloop.h"
#include "kit/foundation/log.h"
#include "kit/foundation/no_destructor.h"
#include "kit/net/url_connection.h"
#include "net/body_codec.h"
#include "net/network_manager.h"

namespace {

std::mutex& sharedLock() {
  static kit::NoDestructor<std::mutex> lock;
  return *lock;
}

kit::Ref<CXRNetTool>& sharedSlot() {
  static kit::NoDestructor<kit::Ref<CXRNetTool>> slot;
  return *slot;
}

// One request: its own callbacks and the reply collected so far. The
// connection keeps it alive until the connection ends.
class CXRNetToolRequest : public kit::URLConnectionDelegate {
 public:
  CXRNetToolRequest(CXRNetTool::Success success, CXRNetTool::Failure failure)
      : success_(std::move(success)), failure_(std::move(failure)) {}

  void connectionDidReceiveResponse(kit::URLConnection&, const kit::Ref<kit::URLResponse>&) override {
    kit::log("*********************请求开始*********************");
  }

  void connectionDidReceiveData(kit::URLConnection&, const kit::Ref<kit::Data>& data) override {
    if (data) reply_->appendData(*data);
  }

  void connectionDidFinishLoading(kit::URLConnection&) override {
    // An empty reply has nothing to decode and gives nil.
    kit::Id object = reply_->empty() ? nullptr : DecodeGzipBase64::cxr_decodingJSON(reply_);
    if (success_) success_(object);
  }

  void connectionDidFailWithError(kit::URLConnection&, const kit::Ref<kit::Error>& error) override {
    kit::log("***********************请求失败**************");
    kit::log("失败信息: %@", error);
    if (failure_) failure_(error);
  }

 private:
  CXRNetTool::Success success_;
  CXRNetTool::Failure failure_;
  kit::Ref<kit::MutableData> reply_ = kit::MutableData::make();
};

}  // namespace

kit::Ref<CXRNetTool> CXRNetTool::sharedInstance() {
  std::lock_guard lock(sharedLock());
  if (!sharedSlot()) sharedSlot() = kit::make<CXRNetTool>();
  return sharedSlot();
}

void CXRNetTool::distroyInstance() {
  std::lock_guard lock(sharedLock());
  sharedSlot() = nullptr;
}

void CXRNetTool::POST(std::string_view URLString, const kit::Id& parameters, Success success, Failure failure) {
  successBlock = success;
  failureBlock = failure;

  kit::Ref<kit::Error> encodingError;
  auto body = DecodeGzipBase64::codingJSON(parameters, &encodingError);
  if (!body) {
    auto error = SDPBodyEncodingError(encodingError);
    kit::RunLoop::current().perform(
        [failure, error] {
          if (failure) failure(error);
        },
        kit::DefaultRunLoopMode);
    return;
  }

  auto request = kit::MutableURLRequest::make(
      kit::URL::URLWithString(URLString), kit::URLRequestCachePolicy::ReloadIgnoringLocalCacheData, kTimeoutInterval);
  request->setValue("text/html", "Content-Type");
  request->setHTTPBody(body);
  request->setHTTPMethod("POST");
  kit::URLConnection::connectionWithRequest(
      request, std::make_shared<CXRNetToolRequest>(std::move(success), std::move(failure)));
}
