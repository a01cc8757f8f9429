// URL requests: the immutable URLRequest and MutableURLRequest, with the
// platform's defaults (GET, 60-second time-out, protocol cache policy,
// cookies and pipelining flags), case-insensitive header fields and a body
// that is either bytes or a stream.
#pragma once

#include <string>

#include "kit/foundation/data.h"
#include "kit/foundation/dictionary.h"
#include "kit/net/http_header_fields.h"
#include "kit/net/url_adapter.h"

namespace kit {

class InputStream;

enum class URLRequestCachePolicy : unsigned long {
  UseProtocolCachePolicy = 0,
  ReloadIgnoringLocalCacheData = 1,
  ReloadIgnoringLocalAndRemoteCacheData = 4,
  ReturnCacheDataElseLoad = 2,
  ReturnCacheDataDontLoad = 3,
  ReloadRevalidatingCacheData = 5,
};

enum class URLRequestNetworkServiceType : unsigned long {
  Default = 0,
  VoIP = 1,
  Video = 2,
  Background = 3,
  Voice = 4,
  ResponsiveData = 6,
  AVStreaming = 8,
  ResponsiveAV = 9,
  CallSignaling = 11,
};

inline constexpr double DefaultRequestTimeout = 60.0;

class URLRequest : public Object {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  static Ref<URLRequest> make(Ref<kit::URL> url, URLRequestCachePolicy policy = URLRequestCachePolicy::UseProtocolCachePolicy,
                              double timeout = DefaultRequestTimeout);

  URLRequest() = default;

  const Ref<kit::URL>& URL() const { return url_; }
  const std::string& HTTPMethod() const { return method_; }
  Ref<Dictionary> allHTTPHeaderFields() const { return headers_.dictionary(); }
  const HTTPHeaderFields& headerFields() const { return headers_; }
  // The value of a header field, names compared without case; nil if unset.
  Ref<String> valueForHTTPHeaderField(std::string_view field) const;
  const Ref<Data>& HTTPBody() const { return body_; }
  const Ref<InputStream>& HTTPBodyStream() const { return bodyStream_; }
  double timeoutInterval() const { return timeout_; }
  URLRequestCachePolicy cachePolicy() const { return cachePolicy_; }
  bool HTTPShouldHandleCookies() const { return handleCookies_; }
  bool HTTPShouldUsePipelining() const { return pipelining_; }
  bool allowsCellularAccess() const { return cellular_; }
  URLRequestNetworkServiceType networkServiceType() const { return serviceType_; }
  const Ref<kit::URL>& mainDocumentURL() const { return mainDocumentURL_; }

  std::string description() const override;
  bool isEqual(const Object& other) const override;
  size_t hash() const override;
  Id copy() const override;
  Id mutableCopy() const override;

 protected:
  friend class MutableURLRequest;
  void copyFieldsFrom(const URLRequest& other);

  Ref<kit::URL> url_;
  Ref<kit::URL> mainDocumentURL_;
  std::string method_ = "GET";
  HTTPHeaderFields headers_;
  Ref<Data> body_;
  Ref<InputStream> bodyStream_;
  double timeout_ = DefaultRequestTimeout;
  URLRequestCachePolicy cachePolicy_ = URLRequestCachePolicy::UseProtocolCachePolicy;
  URLRequestNetworkServiceType serviceType_ = URLRequestNetworkServiceType::Default;
  bool handleCookies_ = true;
  bool pipelining_ = false;
  bool cellular_ = true;
};

class MutableURLRequest : public URLRequest {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  static Ref<MutableURLRequest> make(Ref<kit::URL> url,
                                     URLRequestCachePolicy policy = URLRequestCachePolicy::UseProtocolCachePolicy,
                                     double timeout = DefaultRequestTimeout);

  void setURL(Ref<kit::URL> url) { url_ = std::move(url); }
  // An empty method is ignored; the method is kept as given (case and all).
  void setHTTPMethod(std::string_view method);
  // Replaces the field, or removes it when `value` is nil.
  void setValueForHTTPHeaderField(const Ref<String>& value, std::string_view field);
  void setValue(std::string_view value, std::string_view field) { headers_.set(field, value); }
  void addValueForHTTPHeaderField(std::string_view value, std::string_view field) { headers_.add(field, value); }
  void setAllHTTPHeaderFields(const Ref<Dictionary>& fields) { headers_ = HTTPHeaderFields::fromDictionary(fields); }
  // Setting a body clears the body stream and the other way round.
  void setHTTPBody(Ref<Data> body);
  void setHTTPBodyStream(Ref<InputStream> stream);
  void setTimeoutInterval(double seconds) { timeout_ = seconds; }
  void setCachePolicy(URLRequestCachePolicy policy) { cachePolicy_ = policy; }
  void setHTTPShouldHandleCookies(bool v) { handleCookies_ = v; }
  void setHTTPShouldUsePipelining(bool v) { pipelining_ = v; }
  void setAllowsCellularAccess(bool v) { cellular_ = v; }
  void setNetworkServiceType(URLRequestNetworkServiceType v) { serviceType_ = v; }
  void setMainDocumentURL(Ref<kit::URL> url) { mainDocumentURL_ = std::move(url); }

  Id copy() const override;
};

}  // namespace kit
