// URLResponse and HTTPURLResponse.
#include "kit/net/url_response.h"

#include "kit/foundation/format.h"
#include "kit/foundation/runtime.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(URLResponse, Object, "NSURLResponse") {}
KIT_DEFINE_CLASS_NAMED(HTTPURLResponse, URLResponse, "NSHTTPURLResponse") {}

URLResponse::URLResponse(Ref<kit::URL> url, Ref<String> mimeType, int64_t expectedContentLength,
                         Ref<String> textEncodingName)
    : url_(std::move(url)),
      mimeType_(std::move(mimeType)),
      expectedLength_(expectedContentLength),
      encoding_(std::move(textEncodingName)) {}

Ref<String> URLResponse::suggestedFilename() const {
  std::string last = netdetail::urlLastPathComponent(url_);
  if (last.empty() || last == "/") return String::make("Unknown");
  return String::make(last);
}

std::string URLResponse::description() const {
  return formatString("<%s: %p> { URL: %s }", className().c_str(), static_cast<const void*>(this), netdetail::urlString(url_).c_str());
}

namespace {

ContentType contentTypeOf(const HTTPHeaderFields& fields) {
  const std::string* value = fields.find("Content-Type");
  return value ? parseContentType(*value) : ContentType{};
}

Ref<String> orNil(const std::string& s) { return s.empty() ? nullptr : String::make(s); }

int64_t lengthOf(const HTTPHeaderFields& fields) {
  const std::string* value = fields.find("Content-Length");
  if (!value) return URLResponseUnknownLength;
  // A body the client decodes has no known decoded length.
  if (const std::string* encoding = fields.find("Content-Encoding");
      encoding && !equalsIgnoringCase(*encoding, "identity")) {
    return URLResponseUnknownLength;
  }
  return parseContentLength(*value).value_or(URLResponseUnknownLength);
}

}  // namespace

HTTPURLResponse::HTTPURLResponse(Ref<kit::URL> url, int statusCode, std::string httpVersion, HTTPHeaderFields fields)
    : URLResponse(std::move(url), nullptr, lengthOf(fields), nullptr),
      status_(statusCode),
      version_(std::move(httpVersion)),
      fields_(std::move(fields)) {
  ContentType type = contentTypeOf(fields_);
  mimeType_ = orNil(type.mimeType);
  encoding_ = orNil(type.charset);
}

Ref<HTTPURLResponse> HTTPURLResponse::make(Ref<kit::URL> url, int statusCode, std::string httpVersion,
                                           HTTPHeaderFields fields) {
  if (!url || statusCode < 100 || statusCode > 599) return nullptr;
  return std::make_shared<HTTPURLResponse>(std::move(url), statusCode, std::move(httpVersion), std::move(fields));
}

Ref<String> HTTPURLResponse::valueForHTTPHeaderField(std::string_view field) const {
  auto v = fields_.value(field);
  return v ? String::make(*v) : nullptr;
}

Ref<String> HTTPURLResponse::suggestedFilename() const {
  if (auto disposition = fields_.value("Content-Disposition")) {
    std::string name = dispositionFilename(*disposition);
    if (!name.empty()) return String::make(name);
  }
  return URLResponse::suggestedFilename();
}

std::string HTTPURLResponse::localizedStringForStatusCode(long code) {
  switch (code) {
    case 100: return "continue";
    case 101: return "switching protocols";
    case 200: return "no error";
    case 201: return "created";
    case 202: return "accepted";
    case 203: return "non-authoritative information";
    case 204: return "no content";
    case 205: return "reset content";
    case 206: return "partial content";
    case 300: return "multiple choices";
    case 301: return "moved permanently";
    case 302: return "found";
    case 303: return "see other";
    case 304: return "not modified";
    case 305: return "needs proxy";
    case 307: return "redirected";
    case 308: return "redirected";
    case 400: return "bad request";
    case 401: return "unauthorized";
    case 402: return "payment required";
    case 403: return "forbidden";
    case 404: return "not found";
    case 405: return "method not allowed";
    case 406: return "unacceptable";
    case 407: return "proxy authentication required";
    case 408: return "request timed out";
    case 409: return "conflict";
    case 410: return "no longer exists";
    case 411: return "length required";
    case 412: return "precondition failed";
    case 413: return "request too large";
    case 414: return "requested URL too long";
    case 415: return "unsupported media type";
    case 416: return "requested range not satisfiable";
    case 417: return "expectation failed";
    case 500: return "internal server error";
    case 501: return "unimplemented";
    case 502: return "bad gateway";
    case 503: return "service unavailable";
    case 504: return "gateway timed out";
    case 505: return "unsupported version";
    default: break;
  }
  if (code >= 100 && code < 200) return "informational";
  if (code >= 200 && code < 300) return "success";
  if (code >= 300 && code < 400) return "redirected";
  if (code >= 400 && code < 500) return "client error";
  return "server error";
}

std::string HTTPURLResponse::description() const {
  return formatString("<%s: %p> { URL: %s } { Status Code: %ld, Headers %s }", className().c_str(), static_cast<const void*>(this),
                netdetail::urlString(url_).c_str(), statusCode(), describe(allHeaderFields()).c_str());
}

}  // namespace kit
