// Response serializers: validate an HTTP response (status code and MIME
// type) and turn its body into the object a success callback receives: the
// raw body (SDPHTTPResponseSerializer), parsed JSON (SDPJSONResponseSerializer),
// an XML parser over the body (SDPXMLParserResponseSerializer), a property
// list (SDPPropertyListResponseSerializer), or the first object
// that a list of serializers produces (SDPCompoundResponseSerializer). The
// image serializer is in image_response_serializer.h.
//
// Serializers are configured once and then called from the session's
// background queue, possibly for several responses at a time; they keep no
// per-response state.
#pragma once

#include <vector>

#include "kit/foundation/data.h"
#include "kit/foundation/error.h"
#include "kit/foundation/index_set.h"
#include "kit/foundation/keyed_archiver.h"
#include "kit/foundation/property_list.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/set.h"
#include "kit/foundation/string_encoding.h"
#include "kit/foundation/xml_parser.h"
#include "kit/net/url_response.h"

// Turns a response and its body into an object.
class SDPURLResponseSerialization {
 public:
  virtual ~SDPURLResponseSerialization() = default;
  // The object for the response, or nil; *error (when given, passed empty)
  // receives what went wrong. A valid response leaves it untouched.
  virtual kit::Id responseObjectForResponse(const kit::Ref<kit::URLResponse>& response, const kit::Ref<kit::Data>& data,
                                            kit::Ref<kit::Error>* error) = 0;
};

class SDPHTTPResponseSerializer : public kit::Object, public SDPURLResponseSerialization, public kit::Coding {
  KIT_OBJECT(SDPHTTPResponseSerializer)

 public:
  static kit::Ref<SDPHTTPResponseSerializer> serializer() { return kit::make<SDPHTTPResponseSerializer>(); }
  SDPHTTPResponseSerializer();

  kit::StringEncoding stringEncoding = kit::StringEncoding::UTF8;
  // Status codes that pass; nil disables the test. Default 200-299.
  const kit::Ref<kit::IndexSet>& acceptableStatusCodes() const { return acceptableStatusCodes_; }
  void setAcceptableStatusCodes(const kit::Ref<kit::IndexSet>& codes);
  // MIME types that pass; nil (the default here) disables the test.
  const kit::Ref<kit::Set>& acceptableContentTypes() const { return acceptableContentTypes_; }
  void setAcceptableContentTypes(const kit::Ref<kit::Set>& types);

  // YES, or NO with *error: -1016 for an unacceptable MIME type (only with a
  // body and a URL; an empty body is invalid without an error), -1011 for an
  // unacceptable status (only with a URL), the type error underneath it.
  bool validateResponse(const kit::Ref<kit::HTTPURLResponse>& response, const kit::Ref<kit::Data>& data,
                        kit::Ref<kit::Error>* error) const;

  // The body, whether or not the response is valid.
  kit::Id responseObjectForResponse(const kit::Ref<kit::URLResponse>& response, const kit::Ref<kit::Data>& data,
                                    kit::Ref<kit::Error>* error) override;

  // A serializer of the same class with the same settings.
  kit::Id copy() const override;
  void encodeWithCoder(kit::KeyedArchiver& coder) const override;
  bool initWithCoder(kit::KeyedUnarchiver& coder) override;

 protected:
  // Validates, and says whether to go on reading the body: NO when invalid
  // and either no error slot was given or the error is a type failure.
  bool validateForReading(const kit::Ref<kit::URLResponse>& response, const kit::Ref<kit::Data>& data,
                          kit::Ref<kit::Error>* error) const;
  virtual kit::Ref<SDPHTTPResponseSerializer> makeEmpty() const;
  virtual void copySettingsTo(SDPHTTPResponseSerializer& other) const;

 private:
  kit::Ref<kit::IndexSet> acceptableStatusCodes_;
  kit::Ref<kit::Set> acceptableContentTypes_;
};

class SDPJSONResponseSerializer : public SDPHTTPResponseSerializer {
  KIT_OBJECT(SDPJSONResponseSerializer)

 public:
  static kit::Ref<SDPJSONResponseSerializer> serializer() { return serializerWithReadingOptions(0); }
  static kit::Ref<SDPJSONResponseSerializer> serializerWithReadingOptions(unsigned readingOptions);
  SDPJSONResponseSerializer();

  unsigned readingOptions = 0;
  bool removesKeysWithNullValues = false;

  // The parsed body; nil for an empty or single-space body, a type
  // failure, or text that is not JSON (the parse error then carries the
  // validation error underneath).
  kit::Id responseObjectForResponse(const kit::Ref<kit::URLResponse>& response, const kit::Ref<kit::Data>& data,
                                    kit::Ref<kit::Error>* error) override;
  void encodeWithCoder(kit::KeyedArchiver& coder) const override;
  bool initWithCoder(kit::KeyedUnarchiver& coder) override;

 protected:
  kit::Ref<SDPHTTPResponseSerializer> makeEmpty() const override;
  void copySettingsTo(SDPHTTPResponseSerializer& other) const override;
};

class SDPXMLParserResponseSerializer : public SDPHTTPResponseSerializer {
  KIT_OBJECT(SDPXMLParserResponseSerializer)

 public:
  static kit::Ref<SDPXMLParserResponseSerializer> serializer() { return kit::make<SDPXMLParserResponseSerializer>(); }
  // Accepts "application/xml" and "text/xml".
  SDPXMLParserResponseSerializer();

  // A kit::XMLParser over the body, not yet parsed (the caller sets its
  // delegate and parses); nil for a type failure.
  kit::Id responseObjectForResponse(const kit::Ref<kit::URLResponse>& response, const kit::Ref<kit::Data>& data,
                                    kit::Ref<kit::Error>* error) override;

 protected:
  kit::Ref<SDPHTTPResponseSerializer> makeEmpty() const override;
};

class SDPPropertyListResponseSerializer : public SDPHTTPResponseSerializer {
  KIT_OBJECT(SDPPropertyListResponseSerializer)

 public:
  static kit::Ref<SDPPropertyListResponseSerializer> serializer() {
    return serializerWithFormat(kit::PropertyListFormat::XML, 0);
  }
  static kit::Ref<SDPPropertyListResponseSerializer> serializerWithFormat(kit::PropertyListFormat format,
                                                                          unsigned readOptions);
  SDPPropertyListResponseSerializer();

  kit::PropertyListFormat format = kit::PropertyListFormat::XML;
  unsigned readOptions = 0;

  kit::Id responseObjectForResponse(const kit::Ref<kit::URLResponse>& response, const kit::Ref<kit::Data>& data,
                                    kit::Ref<kit::Error>* error) override;
  void encodeWithCoder(kit::KeyedArchiver& coder) const override;
  bool initWithCoder(kit::KeyedUnarchiver& coder) override;

 protected:
  kit::Ref<SDPHTTPResponseSerializer> makeEmpty() const override;
  void copySettingsTo(SDPHTTPResponseSerializer& other) const override;
};

class SDPCompoundResponseSerializer : public SDPHTTPResponseSerializer {
  KIT_OBJECT(SDPCompoundResponseSerializer)

 public:
  static kit::Ref<SDPCompoundResponseSerializer> compoundSerializerWithResponseSerializers(
      std::vector<kit::Ref<SDPHTTPResponseSerializer>> serializers);

  const std::vector<kit::Ref<SDPHTTPResponseSerializer>>& responseSerializers() const { return serializers_; }

  // The first object a member produces, with that member's error; else the
  // body, validated against the compound's own codes and types.
  kit::Id responseObjectForResponse(const kit::Ref<kit::URLResponse>& response, const kit::Ref<kit::Data>& data,
                                    kit::Ref<kit::Error>* error) override;
  void encodeWithCoder(kit::KeyedArchiver& coder) const override;
  bool initWithCoder(kit::KeyedUnarchiver& coder) override;

 protected:
  kit::Ref<SDPHTTPResponseSerializer> makeEmpty() const override;
  void copySettingsTo(SDPHTTPResponseSerializer& other) const override;

 private:
  std::vector<kit::Ref<SDPHTTPResponseSerializer>> serializers_;
};

// Whether the error, or one underneath it, is the response-serialization
// domain's unacceptable-content-type error (-1016).
bool SDPErrorIsContentTypeFailure(const kit::Ref<kit::Error>& error);

// A copy of a JSON value without dictionary keys whose value is null, at
// every depth (nulls inside arrays stay); containers come out mutable when
// `readingOptions` holds the mutable-containers bit.
kit::Id SDPJSONObjectByRemovingKeysWithNullValues(const kit::Id& object, unsigned readingOptions);
