// Request serializers: default headers, request properties and parameter
// encodings.
#include "net/request_serializer.h"

#include <algorithm>
#include <cctype>

#include "kit/dispatch/queue.h"
#include "kit/foundation/base64.h"
#include "kit/foundation/bundle.h"
#include "kit/foundation/device_description.h"
#include "kit/foundation/format.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/string_transform.h"
#include "kit/foundation/values.h"
#include "kit/net/input_stream.h"
#include "net/query_string.h"

namespace {

std::string upper(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::toupper(c); });
  return out;
}

// "en;q=1, fr;q=0.9, ...": the preferred languages with falling weights,
// ending with the first whose weight is 0.5 or less.
std::string acceptLanguage() {
  std::string header;
  auto languages = kit::Bundle::preferredLanguages();
  for (size_t i = 0; i < languages.size(); ++i) {
    float q = 1.0f - 0.1f * static_cast<float>(i);
    if (!header.empty()) header += ", ";
    header += kit::formatString("%@;q=%0.1g", kit::str(languages[i]), q);
    if (q <= 0.5f) break;
  }
  return header;
}

// "App/1.0 (iPhone; iOS 12.4; Scale/2.00)", in ASCII.
std::string userAgent() {
  auto bundle = kit::Bundle::main();
  kit::Id name = bundle->objectForInfoDictionaryKey("CFBundleExecutable");
  if (!name) name = bundle->bundleIdentifier();
  kit::Id version = bundle->objectForInfoDictionaryKey("CFBundleShortVersionString");
  if (!version) version = bundle->objectForInfoDictionaryKey("CFBundleVersion");
  kit::DeviceDescription device = kit::DeviceDescription::current();
  std::string text = kit::formatString("%@/%@ (%@; iOS %@; Scale/%0.2f)", name, version, kit::str(device.model),
                                       kit::str(device.systemVersion), device.scale);
  bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (!ascii) {
    if (auto latin = kit::stringByApplyingTransform(kit::String(text), "Any-Latin; Latin-ASCII; [:^ASCII:] Remove")) {
      text = latin->utf8();
    }
  }
  return text;
}

kit::Ref<kit::MutableURLRequest> mutableCopyOf(const kit::Ref<kit::URLRequest>& request) {
  return request ? kit::as<kit::MutableURLRequest>(request->mutableCopy()) : kit::MutableURLRequest::make(nullptr);
}

}  // namespace

// ---- SDPHTTPRequestSerializer

KIT_DEFINE_CLASS(SDPHTTPRequestSerializer, kit::Object) {}

kit::Ref<SDPHTTPRequestSerializer> SDPHTTPRequestSerializer::serializer() {
  return kit::make<SDPHTTPRequestSerializer>();
}

SDPHTTPRequestSerializer::SDPHTTPRequestSerializer() : headers_(kit::MutableDictionary::make()) {
  headers_->setObject(kit::str(acceptLanguage()), "Accept-Language");
  headers_->setObject(kit::str(userAgent()), "User-Agent");
}

void SDPHTTPRequestSerializer::setAllowsCellularAccess(bool v) {
  allowsCellularAccess_ = v;
  markChanged("allowsCellularAccess");
}

void SDPHTTPRequestSerializer::setCachePolicy(kit::URLRequestCachePolicy v) {
  cachePolicy_ = v;
  markChanged("cachePolicy");
}

void SDPHTTPRequestSerializer::setHTTPShouldHandleCookies(bool v) {
  handleCookies_ = v;
  markChanged("HTTPShouldHandleCookies");
}

void SDPHTTPRequestSerializer::setHTTPShouldUsePipelining(bool v) {
  pipelining_ = v;
  markChanged("HTTPShouldUsePipelining");
}

void SDPHTTPRequestSerializer::setNetworkServiceType(kit::URLRequestNetworkServiceType v) {
  serviceType_ = v;
  markChanged("networkServiceType");
}

void SDPHTTPRequestSerializer::setTimeoutInterval(double v) {
  timeout_ = v;
  markChanged("timeoutInterval");
}

kit::Ref<kit::Dictionary> SDPHTTPRequestSerializer::HTTPRequestHeaders() const {
  return kit::as<kit::Dictionary>(headers_->copy());
}

void SDPHTTPRequestSerializer::setValue(const kit::Ref<kit::String>& value, std::string_view field) {
  if (value) {
    headers_->setObject(value, field);
  } else {
    headers_->removeObjectForKey(field);
  }
}

kit::Ref<kit::String> SDPHTTPRequestSerializer::valueForHTTPHeaderField(std::string_view field) const {
  return kit::as<kit::String>(headers_->objectForKey(field));
}

void SDPHTTPRequestSerializer::setAuthorizationHeaderFieldWithUsername(std::string_view username,
                                                                       std::string_view password) {
  std::string credentials = kit::formatString("%@:%@", kit::str(username), kit::str(password));
  setValue(kit::format("Basic %s", kit::base64Encode(credentials)), "Authorization");
}

void SDPHTTPRequestSerializer::clearAuthorizationHeader() { headers_->removeObjectForKey("Authorization"); }

void SDPHTTPRequestSerializer::setQueryStringSerializationWithStyle(SDPHTTPRequestQueryStringSerializationStyle style) {
  style_ = style;
  queryStringSerialization_ = nullptr;
}

void SDPHTTPRequestSerializer::setQueryStringSerializationWithBlock(QueryStringSerialization block) {
  queryStringSerialization_ = std::move(block);
}

kit::Ref<kit::MutableURLRequest> SDPHTTPRequestSerializer::requestWithMethod(std::string_view method,
                                                                             std::string_view URLString,
                                                                             const kit::Id& parameters,
                                                                             kit::Ref<kit::Error>* error) {
  auto request = kit::MutableURLRequest::make(kit::URL::URLWithString(URLString));
  request->setHTTPMethod(method);
  // The properties in their fixed order, those set only.
  if (changed_.count("allowsCellularAccess")) request->setAllowsCellularAccess(allowsCellularAccess_);
  if (changed_.count("cachePolicy")) request->setCachePolicy(cachePolicy_);
  if (changed_.count("HTTPShouldHandleCookies")) request->setHTTPShouldHandleCookies(handleCookies_);
  if (changed_.count("HTTPShouldUsePipelining")) request->setHTTPShouldUsePipelining(pipelining_);
  if (changed_.count("networkServiceType")) request->setNetworkServiceType(serviceType_);
  if (changed_.count("timeoutInterval")) request->setTimeoutInterval(timeout_);
  auto serialized = requestBySerializingRequest(request, parameters, error);
  return serialized ? kit::as<kit::MutableURLRequest>(serialized->mutableCopy()) : nullptr;
}

void SDPHTTPRequestSerializer::applyDefaultHeaders(kit::MutableURLRequest& request) const {
  for (const auto& [field, value] : headers_->entries()) {
    std::string name = kit::describe(field);
    if (!request.valueForHTTPHeaderField(name)) request.setValue(kit::describe(value), name);
  }
}

bool SDPHTTPRequestSerializer::encodesParametersInURI(const kit::URLRequest& request) const {
  return HTTPMethodsEncodingParametersInURI.count(upper(request.HTTPMethod())) > 0;
}

kit::Ref<kit::URLRequest> SDPHTTPRequestSerializer::requestBySerializingRequest(
    const kit::Ref<kit::URLRequest>& request, const kit::Id& parameters, kit::Ref<kit::Error>* error) {
  auto mutableRequest = mutableCopyOf(request);
  applyDefaultHeaders(*mutableRequest);

  std::optional<std::string> query;
  if (parameters) {
    if (queryStringSerialization_) {
      kit::Ref<kit::Error> serializationError;
      std::string text = queryStringSerialization_(request, parameters, &serializationError);
      if (serializationError) {
        if (error) *error = serializationError;
        return nullptr;
      }
      query = std::move(text);
    } else if (style_ == SDPHTTPRequestQueryStringSerializationStyle::Default) {
      query = SDPQueryStringFromParameters(parameters);
    }
  }

  if (encodesParametersInURI(*mutableRequest)) {
    if (query && mutableRequest->URL()) {
      const auto& url = mutableRequest->URL();
      std::string text = url->absoluteText() + (url->query() ? "&" : "?") + *query;
      mutableRequest->setURL(kit::URL::URLWithString(text));
    }
  } else {
    if (!query) query = std::string();
    if (!mutableRequest->valueForHTTPHeaderField("Content-Type")) {
      mutableRequest->setValue("application/x-www-form-urlencoded", "Content-Type");
    }
    auto body = kit::bytesUsingEncoding(kit::String(*query), stringEncoding);
    mutableRequest->setHTTPBody(body ? kit::Data::make(*body) : nullptr);
  }
  return mutableRequest;
}

kit::Ref<kit::MutableURLRequest> SDPHTTPRequestSerializer::multipartFormRequestWithMethod(
    std::string_view method, std::string_view URLString, const kit::Id& parameters,
    const MultipartConstruction& construct, kit::Ref<kit::Error>* error) {
  auto request = requestWithMethod(method, URLString, nullptr, error);
  if (!request) return nullptr;
  auto formData = kit::make<SDPStreamingMultipartFormData>(request, kit::StringEncoding::UTF8);
  if (parameters) {
    for (const auto& pair : SDPQueryStringPairsFromKeyAndValue(nullptr, parameters)) {
      kit::Ref<kit::Data> data;
      if (auto bytes = kit::as<kit::Data>(pair->value)) {
        data = bytes;
      } else if (kit::isKind<kit::Null>(pair->value)) {
        data = kit::Data::make();
      } else if (auto text = kit::bytesUsingEncoding(kit::String(kit::describe(pair->value)), stringEncoding)) {
        data = kit::Data::make(*text);
      }
      if (data) formData->appendPartWithFormData(data, kit::describe(pair->field));
    }
  }
  if (construct) construct(*formData);
  return formData->requestByFinalizingMultipartFormData();
}

kit::Ref<kit::MutableURLRequest> SDPHTTPRequestSerializer::requestWithMultipartFormRequest(
    const kit::Ref<kit::URLRequest>& request, const kit::Ref<kit::URL>& fileURL,
    std::function<void(kit::Ref<kit::Error>)> completion) {
  kit::Ref<kit::InputStream> input = request ? request->HTTPBodyStream() : nullptr;
  kit::Ref<kit::OutputStream> output = fileURL && fileURL->isFileURL() && fileURL->path()
                                           ? kit::OutputStream::outputStreamToFileAtPath(fileURL->path()->utf8(), false)
                                           : nullptr;

  kit::Queue::global().async([input, output, completion = std::move(completion)] {
    kit::Ref<kit::Error> streamError;
    if (!input || !output) {
      streamError = kit::Error::make(kit::CocoaErrorDomain, 4 /* no such file */, "No body stream or file to write");
    } else {
      input->open();
      output->open();
      if (output->streamStatus() == kit::StreamStatus::Error) streamError = output->streamError();
      if (input->streamStatus() == kit::StreamStatus::Error) streamError = input->streamError();
      uint8_t buffer[1024];
      while (!streamError && input->hasBytesAvailable() && output->hasSpaceAvailable()) {
        long got = input->read(buffer, sizeof buffer);
        if (got < 0 || input->streamError()) {
          streamError = input->streamError();
          if (!streamError) streamError = kit::Error::make(kit::CocoaErrorDomain, 256, "The body stream failed");
          break;
        }
        // A write may take fewer bytes than offered; keep writing the rest.
        long written = 0;
        while (written < got) {
          long n = output->write(buffer + written, static_cast<size_t>(got - written));
          if (n <= 0 || output->streamError()) {
            streamError = output->streamError();
            if (!streamError)
              streamError = kit::Error::make(kit::CocoaErrorDomain, 512, "The file could not be written");
            break;
          }
          written += n;
        }
        if (streamError || got == 0) break;
      }
      output->close();
      input->close();
    }
    if (completion) {
      kit::Queue::main().async([completion, streamError] { completion(streamError); });
    }
  });

  auto copy = mutableCopyOf(request);
  copy->setHTTPBodyStream(nullptr);
  return copy;
}

kit::Ref<SDPHTTPRequestSerializer> SDPHTTPRequestSerializer::makeEmpty() const {
  return kit::make<SDPHTTPRequestSerializer>();
}

kit::Id SDPHTTPRequestSerializer::copy() const {
  auto copy = makeEmpty();
  copy->headers_ = kit::as<kit::MutableDictionary>(headers_->mutableCopy());
  copy->style_ = style_;
  copy->queryStringSerialization_ = queryStringSerialization_;
  return copy;
}

void SDPHTTPRequestSerializer::encodeWithCoder(kit::KeyedArchiver& coder) const {
  coder.encodeObject(headers_, "mutableHTTPRequestHeaders");
  coder.encodeInteger(static_cast<long>(style_), "queryStringSerializationStyle");
}

bool SDPHTTPRequestSerializer::initWithCoder(kit::KeyedUnarchiver& coder) {
  if (auto headers = kit::as<kit::Dictionary>(coder.decodeObjectForKey("mutableHTTPRequestHeaders"))) {
    headers_ = kit::as<kit::MutableDictionary>(headers->mutableCopy());
  }
  style_ = static_cast<SDPHTTPRequestQueryStringSerializationStyle>(
      coder.decodeIntegerForKey("queryStringSerializationStyle"));
  return true;
}

// ---- SDPJSONRequestSerializer

KIT_DEFINE_CLASS(SDPJSONRequestSerializer, SDPHTTPRequestSerializer) {}

kit::Ref<SDPJSONRequestSerializer> SDPJSONRequestSerializer::serializerWithWritingOptions(unsigned writingOptions) {
  auto serializer = kit::make<SDPJSONRequestSerializer>();
  serializer->writingOptions = writingOptions;
  return serializer;
}

kit::Ref<kit::URLRequest> SDPJSONRequestSerializer::requestBySerializingRequest(
    const kit::Ref<kit::URLRequest>& request, const kit::Id& parameters, kit::Ref<kit::Error>* error) {
  if (request && encodesParametersInURI(*request)) {
    return SDPHTTPRequestSerializer::requestBySerializingRequest(request, parameters, error);
  }
  auto mutableRequest = mutableCopyOf(request);
  applyDefaultHeaders(*mutableRequest);
  if (parameters) {
    if (!mutableRequest->valueForHTTPHeaderField("Content-Type")) {
      mutableRequest->setValue("application/json", "Content-Type");
    }
    kit::Ref<kit::Error> jsonError;
    kit::Ref<kit::Data> body;
    try {
      body = kit::JSONSerialization::dataWithJSONObject(parameters, writingOptions, &jsonError);
    } catch (const kit::Exception& e) {
      jsonError = kit::Error::make(kit::CocoaErrorDomain, kit::PropertyListWriteInvalidError,
                                   kit::formatString("Invalid object for JSON: %s", e.reason()));
    }
    if (!body && error) *error = jsonError;
    mutableRequest->setHTTPBody(body);
  }
  return mutableRequest;
}

kit::Ref<SDPHTTPRequestSerializer> SDPJSONRequestSerializer::makeEmpty() const {
  return kit::make<SDPJSONRequestSerializer>();
}

kit::Id SDPJSONRequestSerializer::copy() const {
  auto copy = kit::as<SDPJSONRequestSerializer>(SDPHTTPRequestSerializer::copy());
  copy->writingOptions = writingOptions;
  return copy;
}

void SDPJSONRequestSerializer::encodeWithCoder(kit::KeyedArchiver& coder) const {
  SDPHTTPRequestSerializer::encodeWithCoder(coder);
  coder.encodeInteger(writingOptions, "writingOptions");
}

bool SDPJSONRequestSerializer::initWithCoder(kit::KeyedUnarchiver& coder) {
  SDPHTTPRequestSerializer::initWithCoder(coder);
  writingOptions = static_cast<unsigned>(coder.decodeIntegerForKey("writingOptions"));
  return true;
}

// ---- SDPPropertyListRequestSerializer

KIT_DEFINE_CLASS(SDPPropertyListRequestSerializer, SDPHTTPRequestSerializer) {}

kit::Ref<SDPPropertyListRequestSerializer> SDPPropertyListRequestSerializer::serializerWithFormat(
    kit::PropertyListFormat format, unsigned long writeOptions) {
  auto serializer = kit::make<SDPPropertyListRequestSerializer>();
  serializer->format = format;
  serializer->writeOptions = writeOptions;
  return serializer;
}

kit::Ref<kit::URLRequest> SDPPropertyListRequestSerializer::requestBySerializingRequest(
    const kit::Ref<kit::URLRequest>& request, const kit::Id& parameters, kit::Ref<kit::Error>* error) {
  if (request && encodesParametersInURI(*request)) {
    return SDPHTTPRequestSerializer::requestBySerializingRequest(request, parameters, error);
  }
  auto mutableRequest = mutableCopyOf(request);
  applyDefaultHeaders(*mutableRequest);
  if (parameters) {
    if (!mutableRequest->valueForHTTPHeaderField("Content-Type")) {
      mutableRequest->setValue("application/x-plist", "Content-Type");
    }
    kit::Ref<kit::Error> plistError;
    auto body = kit::PropertyListSerialization::dataWithPropertyList(parameters, format, &plistError);
    if (!body && error) *error = plistError;
    mutableRequest->setHTTPBody(body);
  }
  return mutableRequest;
}

kit::Ref<SDPHTTPRequestSerializer> SDPPropertyListRequestSerializer::makeEmpty() const {
  return kit::make<SDPPropertyListRequestSerializer>();
}

kit::Id SDPPropertyListRequestSerializer::copy() const {
  auto copy = kit::as<SDPPropertyListRequestSerializer>(SDPHTTPRequestSerializer::copy());
  copy->format = format;
  copy->writeOptions = writeOptions;
  return copy;
}

void SDPPropertyListRequestSerializer::encodeWithCoder(kit::KeyedArchiver& coder) const {
  SDPHTTPRequestSerializer::encodeWithCoder(coder);
  coder.encodeInteger(static_cast<long>(format), "format");
  coder.encodeInteger(static_cast<long>(writeOptions), "writeOptions");
}

bool SDPPropertyListRequestSerializer::initWithCoder(kit::KeyedUnarchiver& coder) {
  SDPHTTPRequestSerializer::initWithCoder(coder);
  format = static_cast<kit::PropertyListFormat>(coder.decodeIntegerForKey("format"));
  writeOptions = static_cast<unsigned long>(coder.decodeIntegerForKey("writeOptions"));
  return true;
}
