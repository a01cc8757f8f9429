// CXRNetTool: the platform SDK's older API client, on a URL connection. It
// posts the scrambled, gzip-compressed body of the parameters and reads a
// reply that is gzip-compressed JSON. Its callbacks run on the run loop of
// the thread that started the request.
//
// Each request keeps its own callbacks and collects the whole reply before
// decoding it once: one success per reply (nil for an empty or undecodable
// one), or one failure. The shared success and failure slots are still set
// by every POST, for callers that read them, but dispatch does not use them.
#pragma once

#include <functional>
#include <string_view>

#include "kit/foundation/error.h"
#include "kit/foundation/object.h"

class CXRNetTool : public kit::Object {
 public:
  using Success = std::function<void(const kit::Id& responseObject)>;
  using Failure = std::function<void(const kit::Ref<kit::Error>& error)>;

  static constexpr double kTimeoutInterval = 10;

  // Made on first use; the check and the creation hold one lock, which
  // distroyInstance also takes to drop the instance.
  static kit::Ref<CXRNetTool> sharedInstance();
  static void distroyInstance();

  Success successBlock;
  Failure failureBlock;

  void POST(std::string_view URLString, const kit::Id& parameters, Success success, Failure failure);
};
