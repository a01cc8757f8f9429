// SDPHTTPSessionManager puts HTTP verbs on the URL session manager: a URL
// string resolved against an optional base URL, a request built by the
// request serializer, a task started at once, and success or failure
// reported through two optional callbacks on the completion queue. Its
// response serializer is the JSON one unless replaced.
#pragma once

#include <concepts>
#include <functional>

#include "net/request_serializer.h"
#include "net/url_session_manager.h"

// The construction callback of a multipart POST.
struct SDPConstructingBody {
  std::function<void(SDPMultipartFormData& formData)> block;

  SDPConstructingBody() = default;
  template <class F>
  requires std::invocable<F&, SDPMultipartFormData&> SDPConstructingBody(F f) : block(std::move(f)) {}
};

class SDPHTTPSessionManager : public SDPURLSessionManager {
  KIT_OBJECT(SDPHTTPSessionManager)

 public:
  using Success = std::function<void(const kit::Ref<kit::URLSessionDataTask>& task, const kit::Id& responseObject)>;
  using TaskSuccess = std::function<void(const kit::Ref<kit::URLSessionDataTask>& task)>;
  using Failure = std::function<void(const kit::Ref<kit::URLSessionDataTask>& task, const kit::Ref<kit::Error>& error)>;

  // +manager / init / initWithBaseURL: / initWithSessionConfiguration: /
  // initWithBaseURL:sessionConfiguration:. A base URL with a path gains a
  // trailing "/", so relative paths resolve below it.
  static kit::Ref<SDPHTTPSessionManager> manager();
  static kit::Ref<SDPHTTPSessionManager> managerWithBaseURL(
      const kit::Ref<kit::URL>& baseURL, const kit::Ref<kit::URLSessionConfiguration>& configuration = nullptr);

  const kit::Ref<kit::URL>& baseURL() const { return baseURL_; }
  kit::Ref<SDPHTTPRequestSerializer> requestSerializer() const;
  void setRequestSerializer(kit::Ref<SDPHTTPRequestSerializer> serializer);

  // Every verb returns the task it started, or nil when the request could
  // not be built (failure(nil, error) then follows on the completion queue).
  kit::Ref<kit::URLSessionDataTask> GET(std::string_view URLString, const kit::Id& parameters, Success success,
                                        Failure failure);
  kit::Ref<kit::URLSessionDataTask> GET(std::string_view URLString, const kit::Id& parameters,
                                        ProgressBlock downloadProgress, Success success, Failure failure);
  // Success gets the task alone.
  kit::Ref<kit::URLSessionDataTask> HEAD(std::string_view URLString, const kit::Id& parameters, TaskSuccess success,
                                         Failure failure);
  kit::Ref<kit::URLSessionDataTask> POST(std::string_view URLString, const kit::Id& parameters, Success success,
                                         Failure failure);
  kit::Ref<kit::URLSessionDataTask> POST(std::string_view URLString, const kit::Id& parameters,
                                         ProgressBlock uploadProgress, Success success, Failure failure);
  // A multipart POST: the parameters as fields, then what `body` appends.
  kit::Ref<kit::URLSessionDataTask> POST(std::string_view URLString, const kit::Id& parameters,
                                         SDPConstructingBody body, Success success, Failure failure);
  kit::Ref<kit::URLSessionDataTask> POST(std::string_view URLString, const kit::Id& parameters,
                                         SDPConstructingBody body, ProgressBlock uploadProgress, Success success,
                                         Failure failure);
  kit::Ref<kit::URLSessionDataTask> PUT(std::string_view URLString, const kit::Id& parameters, Success success,
                                        Failure failure);
  kit::Ref<kit::URLSessionDataTask> PATCH(std::string_view URLString, const kit::Id& parameters, Success success,
                                          Failure failure);
  kit::Ref<kit::URLSessionDataTask> DELETE(std::string_view URLString, const kit::Id& parameters, Success success,
                                           Failure failure);

  // Builds the request and makes the data task, not yet resumed.
  kit::Ref<kit::URLSessionDataTask> dataTaskWithHTTPMethod(std::string_view method, std::string_view URLString,
                                                           const kit::Id& parameters, ProgressBlock uploadProgress,
                                                           ProgressBlock downloadProgress, Success success,
                                                           Failure failure);

  // The URL string as the verbs send it: resolved against the base URL;
  // empty when it is not a URL.
  std::string absoluteURLString(std::string_view URLString) const;

  std::string description() const override;
  // A manager of the same class, base URL and configuration with copies of
  // the serializers and the security policy.
  kit::Id copy() const override;

  // Archives the base URL, the session's configuration (or, when the
  // archiver cannot keep it, its identifier under "identifier"), both
  // serializers and the security policy.
  void encodeWithCoder(kit::KeyedArchiver& coder) const override;
  // A configuration from the archive, else a background one for the
  // archived identifier, else the default one. Serializers and policy the
  // archive does not hold keep their defaults.
  bool initWithCoder(kit::KeyedUnarchiver& coder) override;

  SDPHTTPSessionManager() = default;

 protected:
  void initWithBaseURL(const kit::Ref<kit::URL>& baseURL, const kit::Ref<kit::URLSessionConfiguration>& configuration);
  kit::Ref<SDPURLSessionManager> makeSameClass(
      const kit::Ref<kit::URLSessionConfiguration>& configuration) const override;

 private:
  // Calls failure(nil, error) asynchronously on the completion queue.
  void failLater(const Failure& failure, const kit::Ref<kit::Error>& error);
  CompletionHandler completionFor(const std::shared_ptr<kit::Ref<kit::URLSessionDataTask>>& slot, Success success,
                                  Failure failure);

  kit::Ref<kit::URL> baseURL_;
  kit::Ref<SDPHTTPRequestSerializer> requestSerializer_;
};
