// URLRequest and MutableURLRequest.
#include "kit/net/url_request.h"

#include "kit/foundation/format.h"
#include "kit/foundation/runtime.h"
#include "kit/net/input_stream.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(URLRequest, Object, "NSURLRequest") {}
KIT_DEFINE_CLASS_NAMED(MutableURLRequest, URLRequest, "NSMutableURLRequest") {}

Ref<URLRequest> URLRequest::make(Ref<kit::URL> url, URLRequestCachePolicy policy, double timeout) {
  auto request = std::make_shared<URLRequest>();
  request->url_ = std::move(url);
  request->cachePolicy_ = policy;
  request->timeout_ = timeout;
  return request;
}

Ref<String> URLRequest::valueForHTTPHeaderField(std::string_view field) const {
  auto v = headers_.value(field);
  return v ? String::make(*v) : nullptr;
}

std::string URLRequest::description() const {
  return "<" + className() + ": " + formatString("%p", static_cast<const void*>(this)) + "> { URL: " + netdetail::urlString(url_) + " }";
}

bool URLRequest::isEqual(const Object& other) const {
  auto* o = dynamic_cast<const URLRequest*>(&other);
  if (!o) return false;
  if (o == this) return true;
  return kit::isEqual(url_, o->url_) && method_ == o->method_ && headers_ == o->headers_ &&
         kit::isEqual(body_, o->body_) && bodyStream_ == o->bodyStream_ && timeout_ == o->timeout_ &&
         cachePolicy_ == o->cachePolicy_;
}

size_t URLRequest::hash() const { return url_ ? url_->hash() : 0; }

void URLRequest::copyFieldsFrom(const URLRequest& other) {
  url_ = other.url_;
  mainDocumentURL_ = other.mainDocumentURL_;
  method_ = other.method_;
  headers_ = other.headers_;
  body_ = other.body_;
  bodyStream_ = other.bodyStream_;
  timeout_ = other.timeout_;
  cachePolicy_ = other.cachePolicy_;
  serviceType_ = other.serviceType_;
  handleCookies_ = other.handleCookies_;
  pipelining_ = other.pipelining_;
  cellular_ = other.cellular_;
}

Id URLRequest::copy() const { return self(); }

Id URLRequest::mutableCopy() const {
  auto out = std::make_shared<MutableURLRequest>();
  out->copyFieldsFrom(*this);
  return out;
}

Ref<MutableURLRequest> MutableURLRequest::make(Ref<kit::URL> url, URLRequestCachePolicy policy, double timeout) {
  auto request = std::make_shared<MutableURLRequest>();
  request->url_ = std::move(url);
  request->cachePolicy_ = policy;
  request->timeout_ = timeout;
  return request;
}

void MutableURLRequest::setHTTPMethod(std::string_view method) {
  if (!method.empty()) method_ = std::string(method);
}

void MutableURLRequest::setValueForHTTPHeaderField(const Ref<String>& value, std::string_view field) {
  if (value) {
    headers_.set(field, value->utf8());
  } else {
    headers_.remove(field);
  }
}

void MutableURLRequest::setHTTPBody(Ref<Data> body) {
  body_ = body ? std::static_pointer_cast<Data>(body->copy()) : nullptr;
  if (body_) bodyStream_ = nullptr;
}

void MutableURLRequest::setHTTPBodyStream(Ref<InputStream> stream) {
  bodyStream_ = std::move(stream);
  if (bodyStream_) body_ = nullptr;
}

Id MutableURLRequest::copy() const {
  auto out = std::make_shared<URLRequest>();
  out->copyFieldsFrom(*this);
  return out;
}

}  // namespace kit
