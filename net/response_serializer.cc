// Response validation and the raw, JSON, XML-parser, property-list and
// compound serializers.
#include "net/response_serializer.h"

#include "kit/foundation/array.h"
#include "kit/foundation/format.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/values.h"
#include "net/networking_errors.h"

namespace {

kit::Ref<kit::Set> typeSet(std::initializer_list<const char*> types) {
  std::vector<kit::Id> objects;
  for (const char* type : types) objects.push_back(kit::str(type));
  return kit::Set::make(objects);
}

kit::Ref<kit::Error> validationError(long code, const std::string& message,
                                     const kit::Ref<kit::HTTPURLResponse>& response, const kit::Ref<kit::Data>& data) {
  auto info = kit::MutableDictionary::make();
  info->setObject(kit::str(message), kit::LocalizedDescriptionKey);
  info->setObject(response->URL(), kit::URLErrorKey);
  info->setObject(response, SDPResponseErrorFailingResponseKey);
  if (data) info->setObject(data, SDPResponseErrorFailingDataKey);
  return kit::Error::make(SDPResponseSerializationErrorDomain, code, info);
}

// Status codes as [location, length] pairs, the form they are archived in.
kit::Ref<kit::Array> rangesOf(const kit::Ref<kit::IndexSet>& codes) {
  auto ranges = kit::MutableArray::make();
  if (!codes) return ranges;
  for (const auto& range : codes->ranges()) {
    ranges->addObject(
        kit::array({static_cast<unsigned long long>(range.location), static_cast<unsigned long long>(range.length)}));
  }
  return ranges;
}

kit::Ref<kit::IndexSet> indexSetOf(const kit::Ref<kit::Array>& ranges) {
  std::vector<kit::Range> list;
  for (const auto& entry : ranges->objects()) {
    auto location = kit::as<kit::Number>(entry[0]);
    auto length = kit::as<kit::Number>(entry[1]);
    if (!location || !length || location->longLongValue() < 0 || length->longLongValue() <= 0 ||
        location->longLongValue() > 100000 || length->longLongValue() > 100000) {
      continue;
    }
    list.push_back({static_cast<size_t>(location->longLongValue()), static_cast<size_t>(length->longLongValue())});
  }
  return std::make_shared<kit::IndexSet>(list);
}

}  // namespace

bool SDPErrorIsContentTypeFailure(const kit::Ref<kit::Error>& error) {
  for (auto e = error; e; e = e->underlyingError()) {
    if (e->domain() == SDPResponseSerializationErrorDomain && e->code() == kit::URLErrorCannotDecodeContentData) {
      return true;
    }
  }
  return false;
}

kit::Id SDPJSONObjectByRemovingKeysWithNullValues(const kit::Id& object, unsigned readingOptions) {
  const bool mutableContainers = readingOptions & kit::JSONReadingMutableContainers;
  if (auto array = kit::as<kit::Array>(object)) {
    auto out = kit::MutableArray::make();
    for (const auto& element : array->objects())
      out->addObject(SDPJSONObjectByRemovingKeysWithNullValues(element, readingOptions));
    return mutableContainers ? kit::Id(out) : out->copy();
  }
  if (auto dictionary = kit::as<kit::Dictionary>(object)) {
    auto out = kit::MutableDictionary::make();
    for (const auto& [key, value] : dictionary->entries()) {
      if (!value || kit::isKind<kit::Null>(value)) continue;
      bool container = kit::isKind<kit::Array>(value) || kit::isKind<kit::Dictionary>(value);
      out->setObject(container ? SDPJSONObjectByRemovingKeysWithNullValues(value, readingOptions) : value, key);
    }
    return mutableContainers ? kit::Id(out) : out->copy();
  }
  return object;
}

// ---- SDPHTTPResponseSerializer

KIT_DEFINE_CLASS(SDPHTTPResponseSerializer, kit::Object) {}

SDPHTTPResponseSerializer::SDPHTTPResponseSerializer()
    : acceptableStatusCodes_(kit::IndexSet::indexSetWithIndexesInRange({200, 100})) {}

void SDPHTTPResponseSerializer::setAcceptableStatusCodes(const kit::Ref<kit::IndexSet>& codes) {
  acceptableStatusCodes_ = codes ? kit::as<kit::IndexSet>(codes->copy()) : nullptr;
}

void SDPHTTPResponseSerializer::setAcceptableContentTypes(const kit::Ref<kit::Set>& types) {
  acceptableContentTypes_ = types ? kit::as<kit::Set>(types->copy()) : nullptr;
}

bool SDPHTTPResponseSerializer::validateResponse(const kit::Ref<kit::HTTPURLResponse>& response,
                                                 const kit::Ref<kit::Data>& data, kit::Ref<kit::Error>* error) const {
  if (!response) return true;
  bool valid = true;
  kit::Ref<kit::Error> failure;

  const auto& mime = response->MIMEType();
  if (acceptableContentTypes_ && !(mime && acceptableContentTypes_->containsObject(mime))) {
    if (data && data->length() > 0 && response->URL()) {
      failure = validationError(
          kit::URLErrorCannotDecodeContentData,
          kit::formatString(SDPLocalizedText("Request failed: unacceptable content-type: %@"), mime), response, data);
    }
    valid = false;
  }

  const long status = response->statusCode();
  if (acceptableStatusCodes_ && !(status >= 0 && acceptableStatusCodes_->containsIndex(static_cast<size_t>(status))) &&
      response->URL()) {
    auto statusError =
        validationError(kit::URLErrorBadServerResponse,
                        kit::formatString(SDPLocalizedText("Request failed: %@ (%ld)"),
                                          kit::str(kit::HTTPURLResponse::localizedStringForStatusCode(status)), status),
                        response, data);
    failure = SDPErrorWithUnderlyingError(statusError, failure);
    valid = false;
  }

  if (error && !valid) *error = failure;
  return valid;
}

bool SDPHTTPResponseSerializer::validateForReading(const kit::Ref<kit::URLResponse>& response,
                                                   const kit::Ref<kit::Data>& data, kit::Ref<kit::Error>* error) const {
  if (validateResponse(kit::as<kit::HTTPURLResponse>(response), data, error)) return true;
  return error && !SDPErrorIsContentTypeFailure(*error);
}

kit::Id SDPHTTPResponseSerializer::responseObjectForResponse(const kit::Ref<kit::URLResponse>& response,
                                                             const kit::Ref<kit::Data>& data,
                                                             kit::Ref<kit::Error>* error) {
  validateResponse(kit::as<kit::HTTPURLResponse>(response), data, error);
  return data;
}

kit::Ref<SDPHTTPResponseSerializer> SDPHTTPResponseSerializer::makeEmpty() const {
  return kit::make<SDPHTTPResponseSerializer>();
}

void SDPHTTPResponseSerializer::copySettingsTo(SDPHTTPResponseSerializer& other) const {
  other.stringEncoding = stringEncoding;
  other.setAcceptableStatusCodes(acceptableStatusCodes_);
  other.setAcceptableContentTypes(acceptableContentTypes_);
}

kit::Id SDPHTTPResponseSerializer::copy() const {
  auto copy = makeEmpty();
  copySettingsTo(*copy);
  return copy;
}

void SDPHTTPResponseSerializer::encodeWithCoder(kit::KeyedArchiver& coder) const {
  if (acceptableStatusCodes_) coder.encodeObject(rangesOf(acceptableStatusCodes_), "acceptableStatusCodes");
  if (acceptableContentTypes_) coder.encodeObject(acceptableContentTypes_->allObjects(), "acceptableContentTypes");
}

bool SDPHTTPResponseSerializer::initWithCoder(kit::KeyedUnarchiver& coder) {
  auto codes = kit::as<kit::Array>(coder.decodeObjectForKey("acceptableStatusCodes"));
  acceptableStatusCodes_ = codes ? indexSetOf(codes) : nullptr;
  auto types = kit::as<kit::Array>(coder.decodeObjectForKey("acceptableContentTypes"));
  acceptableContentTypes_ =
      types ? kit::Set::setWithArray(*types->filtered([](const kit::Id& t) { return kit::isKind<kit::String>(t); }))
            : nullptr;
  return true;
}

// ---- SDPJSONResponseSerializer

KIT_DEFINE_CLASS(SDPJSONResponseSerializer, SDPHTTPResponseSerializer) {}

SDPJSONResponseSerializer::SDPJSONResponseSerializer() {
  setAcceptableContentTypes(typeSet({"application/json", "text/json", "text/javascript"}));
}

kit::Ref<SDPJSONResponseSerializer> SDPJSONResponseSerializer::serializerWithReadingOptions(unsigned readingOptions) {
  auto serializer = kit::make<SDPJSONResponseSerializer>();
  serializer->readingOptions = readingOptions;
  return serializer;
}

kit::Id SDPJSONResponseSerializer::responseObjectForResponse(const kit::Ref<kit::URLResponse>& response,
                                                             const kit::Ref<kit::Data>& data,
                                                             kit::Ref<kit::Error>* error) {
  if (!validateForReading(response, data, error)) return nullptr;
  // An empty body, or the single space some servers send for "nothing".
  if (!data || data->empty() || (data->length() == 1 && data->bytes()[0] == ' ')) return nullptr;

  kit::Ref<kit::Error> parseError;
  kit::Id object = kit::JSONSerialization::JSONObjectWithData(data, readingOptions, &parseError);
  if (object && removesKeysWithNullValues) object = SDPJSONObjectByRemovingKeysWithNullValues(object, readingOptions);
  if (error) *error = SDPErrorWithUnderlyingError(parseError, *error);
  return object;
}

kit::Ref<SDPHTTPResponseSerializer> SDPJSONResponseSerializer::makeEmpty() const {
  return kit::make<SDPJSONResponseSerializer>();
}

void SDPJSONResponseSerializer::copySettingsTo(SDPHTTPResponseSerializer& other) const {
  SDPHTTPResponseSerializer::copySettingsTo(other);
  auto& json = static_cast<SDPJSONResponseSerializer&>(other);
  json.readingOptions = readingOptions;
  json.removesKeysWithNullValues = removesKeysWithNullValues;
}

void SDPJSONResponseSerializer::encodeWithCoder(kit::KeyedArchiver& coder) const {
  SDPHTTPResponseSerializer::encodeWithCoder(coder);
  coder.encodeInteger(readingOptions, "readingOptions");
  coder.encodeBool(removesKeysWithNullValues, "removesKeysWithNullValues");
}

bool SDPJSONResponseSerializer::initWithCoder(kit::KeyedUnarchiver& coder) {
  SDPHTTPResponseSerializer::initWithCoder(coder);
  readingOptions = static_cast<unsigned>(coder.decodeIntegerForKey("readingOptions"));
  removesKeysWithNullValues = coder.decodeBoolForKey("removesKeysWithNullValues");
  return true;
}

// ---- SDPXMLParserResponseSerializer

KIT_DEFINE_CLASS(SDPXMLParserResponseSerializer, SDPHTTPResponseSerializer) {}

SDPXMLParserResponseSerializer::SDPXMLParserResponseSerializer() {
  setAcceptableContentTypes(typeSet({"application/xml", "text/xml"}));
}

kit::Id SDPXMLParserResponseSerializer::responseObjectForResponse(const kit::Ref<kit::URLResponse>& response,
                                                                  const kit::Ref<kit::Data>& data,
                                                                  kit::Ref<kit::Error>* error) {
  if (!validateForReading(response, data, error)) return nullptr;
  return kit::XMLParser::make(data);
}

kit::Ref<SDPHTTPResponseSerializer> SDPXMLParserResponseSerializer::makeEmpty() const {
  return kit::make<SDPXMLParserResponseSerializer>();
}

// ---- SDPPropertyListResponseSerializer

KIT_DEFINE_CLASS(SDPPropertyListResponseSerializer, SDPHTTPResponseSerializer) {}

SDPPropertyListResponseSerializer::SDPPropertyListResponseSerializer() {
  setAcceptableContentTypes(typeSet({"application/x-plist"}));
}

kit::Ref<SDPPropertyListResponseSerializer> SDPPropertyListResponseSerializer::serializerWithFormat(
    kit::PropertyListFormat format, unsigned readOptions) {
  auto serializer = kit::make<SDPPropertyListResponseSerializer>();
  serializer->format = format;
  serializer->readOptions = readOptions;
  return serializer;
}

kit::Id SDPPropertyListResponseSerializer::responseObjectForResponse(const kit::Ref<kit::URLResponse>& response,
                                                                     const kit::Ref<kit::Data>& data,
                                                                     kit::Ref<kit::Error>* error) {
  if (!validateForReading(response, data, error)) return nullptr;
  if (!data) return nullptr;
  kit::Ref<kit::Error> parseError;
  kit::Id object = kit::PropertyListSerialization::propertyListWithData(data, readOptions, nullptr, &parseError);
  if (error) *error = SDPErrorWithUnderlyingError(parseError, *error);
  return object;
}

kit::Ref<SDPHTTPResponseSerializer> SDPPropertyListResponseSerializer::makeEmpty() const {
  return kit::make<SDPPropertyListResponseSerializer>();
}

void SDPPropertyListResponseSerializer::copySettingsTo(SDPHTTPResponseSerializer& other) const {
  SDPHTTPResponseSerializer::copySettingsTo(other);
  auto& plist = static_cast<SDPPropertyListResponseSerializer&>(other);
  plist.format = format;
  plist.readOptions = readOptions;
}

void SDPPropertyListResponseSerializer::encodeWithCoder(kit::KeyedArchiver& coder) const {
  SDPHTTPResponseSerializer::encodeWithCoder(coder);
  coder.encodeInteger(static_cast<long>(format), "format");
  coder.encodeInteger(readOptions, "readOptions");
}

bool SDPPropertyListResponseSerializer::initWithCoder(kit::KeyedUnarchiver& coder) {
  SDPHTTPResponseSerializer::initWithCoder(coder);
  format = static_cast<kit::PropertyListFormat>(coder.decodeIntegerForKey("format"));
  readOptions = static_cast<unsigned>(coder.decodeIntegerForKey("readOptions"));
  return true;
}

// ---- SDPCompoundResponseSerializer

KIT_DEFINE_CLASS(SDPCompoundResponseSerializer, SDPHTTPResponseSerializer) {}

kit::Ref<SDPCompoundResponseSerializer> SDPCompoundResponseSerializer::compoundSerializerWithResponseSerializers(
    std::vector<kit::Ref<SDPHTTPResponseSerializer>> serializers) {
  auto compound = kit::make<SDPCompoundResponseSerializer>();
  std::erase(serializers, nullptr);
  compound->serializers_ = std::move(serializers);
  return compound;
}

kit::Id SDPCompoundResponseSerializer::responseObjectForResponse(const kit::Ref<kit::URLResponse>& response,
                                                                 const kit::Ref<kit::Data>& data,
                                                                 kit::Ref<kit::Error>* error) {
  for (const auto& serializer : serializers_) {
    kit::Ref<kit::Error> memberError;
    kit::Id object = serializer->responseObjectForResponse(response, data, &memberError);
    if (object) {
      if (error) *error = SDPErrorWithUnderlyingError(memberError, *error);
      return object;
    }
  }
  return SDPHTTPResponseSerializer::responseObjectForResponse(response, data, error);
}

kit::Ref<SDPHTTPResponseSerializer> SDPCompoundResponseSerializer::makeEmpty() const {
  return kit::make<SDPCompoundResponseSerializer>();
}

void SDPCompoundResponseSerializer::copySettingsTo(SDPHTTPResponseSerializer& other) const {
  SDPHTTPResponseSerializer::copySettingsTo(other);
  static_cast<SDPCompoundResponseSerializer&>(other).serializers_ = serializers_;
}

void SDPCompoundResponseSerializer::encodeWithCoder(kit::KeyedArchiver& coder) const {
  SDPHTTPResponseSerializer::encodeWithCoder(coder);
  std::vector<kit::Id> members(serializers_.begin(), serializers_.end());
  coder.encodeObject(kit::Array::make(members), "responseSerializers");
}

bool SDPCompoundResponseSerializer::initWithCoder(kit::KeyedUnarchiver& coder) {
  SDPHTTPResponseSerializer::initWithCoder(coder);
  serializers_.clear();
  if (auto members = coder.decodeArrayOfObjectsOfClass<SDPHTTPResponseSerializer>("responseSerializers")) {
    for (const auto& member : members->objects()) serializers_.push_back(kit::as<SDPHTTPResponseSerializer>(member));
  }
  return true;
}
