// Request serializers: a method, a URL string and parameters become a ready
// mutable request with the client's default headers (Accept-Language,
// User-Agent, optional basic authorization) and the request properties the
// caller set. Parameters go into the URL as a query for GET, HEAD and
// DELETE; otherwise into the body, as a form (SDPHTTPRequestSerializer),
// JSON (SDPJSONRequestSerializer) or a property list
// (SDPPropertyListRequestSerializer). The same serializer builds streamed
// multipart requests and spools their bodies to files.
//
// A serializer is configured once and then only read while it builds
// requests; it takes no lock.
#pragma once

#include <functional>
#include <set>
#include <string>

#include "kit/foundation/dictionary.h"
#include "kit/foundation/error.h"
#include "kit/foundation/keyed_archiver.h"
#include "kit/foundation/property_list.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/string_encoding.h"
#include "kit/foundation/url.h"
#include "kit/net/url_request.h"
#include "net/multipart_form_data.h"

// Builds a request from a request and parameters.
class SDPURLRequestSerialization {
 public:
  virtual ~SDPURLRequestSerialization() = default;
  // A new request: `request` with the default headers and the parameters
  // encoded; nil with *error when the parameters cannot be encoded.
  virtual kit::Ref<kit::URLRequest> requestBySerializingRequest(const kit::Ref<kit::URLRequest>& request,
                                                                const kit::Id& parameters,
                                                                kit::Ref<kit::Error>* error) = 0;
};

enum class SDPHTTPRequestQueryStringSerializationStyle : unsigned long { Default = 0 };

class SDPHTTPRequestSerializer : public kit::Object, public SDPURLRequestSerialization, public kit::Coding {
  KIT_OBJECT(SDPHTTPRequestSerializer)

 public:
  // A custom query: (request, parameters, error slot) -> query text.
  using QueryStringSerialization =
      std::function<std::string(const kit::Ref<kit::URLRequest>&, const kit::Id&, kit::Ref<kit::Error>*)>;
  using MultipartConstruction = std::function<void(SDPMultipartFormData& formData)>;

  static kit::Ref<SDPHTTPRequestSerializer> serializer();
  SDPHTTPRequestSerializer();

  kit::StringEncoding stringEncoding = kit::StringEncoding::UTF8;

  // The six request properties. Only those set on this serializer reach
  // the requests it builds.
  bool allowsCellularAccess() const { return allowsCellularAccess_; }
  void setAllowsCellularAccess(bool v);
  kit::URLRequestCachePolicy cachePolicy() const { return cachePolicy_; }
  void setCachePolicy(kit::URLRequestCachePolicy v);
  bool HTTPShouldHandleCookies() const { return handleCookies_; }
  void setHTTPShouldHandleCookies(bool v);
  bool HTTPShouldUsePipelining() const { return pipelining_; }
  void setHTTPShouldUsePipelining(bool v);
  kit::URLRequestNetworkServiceType networkServiceType() const { return serviceType_; }
  void setNetworkServiceType(kit::URLRequestNetworkServiceType v);
  double timeoutInterval() const { return timeout_; }
  void setTimeoutInterval(double v);
  // The names of the properties set so far.
  const std::set<std::string>& observedChangedKeyPaths() const { return changed_; }

  // Upper-case methods whose parameters go into the URL.
  std::set<std::string> HTTPMethodsEncodingParametersInURI{"GET", "HEAD", "DELETE"};

  // The default headers.
  kit::Ref<kit::Dictionary> HTTPRequestHeaders() const;
  // Sets a default header; nil removes it.
  void setValue(const kit::Ref<kit::String>& value, std::string_view field);
  kit::Ref<kit::String> valueForHTTPHeaderField(std::string_view field) const;
  void setAuthorizationHeaderFieldWithUsername(std::string_view username, std::string_view password);
  void clearAuthorizationHeader();

  SDPHTTPRequestQueryStringSerializationStyle queryStringSerializationStyle() const { return style_; }
  // Sets the style and drops any custom query serialization.
  void setQueryStringSerializationWithStyle(SDPHTTPRequestQueryStringSerializationStyle style);
  void setQueryStringSerializationWithBlock(QueryStringSerialization block);

  // A new request for the method and URL text (no URL when the text is not
  // a URL) with the set properties, serialized with the parameters; nil
  // with *error when serialization fails.
  kit::Ref<kit::MutableURLRequest> requestWithMethod(std::string_view method, std::string_view URLString,
                                                     const kit::Id& parameters, kit::Ref<kit::Error>* error);
  // A request whose body streams a multipart form: one field per flattened
  // parameter, then whatever `construct` appends.
  virtual kit::Ref<kit::MutableURLRequest> multipartFormRequestWithMethod(std::string_view method,
                                                                          std::string_view URLString,
                                                                          const kit::Id& parameters,
                                                                          const MultipartConstruction& construct,
                                                                          kit::Ref<kit::Error>* error);
  // Writes the request's body stream to `fileURL` (replacing the file) on a
  // global queue and calls `completion` on the main queue with the stream
  // error, if any. Returns at once a copy of the request without its body
  // stream, to upload the file in its place.
  kit::Ref<kit::MutableURLRequest> requestWithMultipartFormRequest(
      const kit::Ref<kit::URLRequest>& request, const kit::Ref<kit::URL>& fileURL,
      std::function<void(kit::Ref<kit::Error>)> completion);

  kit::Ref<kit::URLRequest> requestBySerializingRequest(const kit::Ref<kit::URLRequest>& request,
                                                        const kit::Id& parameters,
                                                        kit::Ref<kit::Error>* error) override;

  // A serializer of the same class with the defaults, the same headers,
  // query style and custom query (not the six properties or the URI set).
  kit::Id copy() const override;
  void encodeWithCoder(kit::KeyedArchiver& coder) const override;
  bool initWithCoder(kit::KeyedUnarchiver& coder) override;

 protected:
  virtual kit::Ref<SDPHTTPRequestSerializer> makeEmpty() const;
  // Copies the default headers onto `request` where it has none.
  void applyDefaultHeaders(kit::MutableURLRequest& request) const;
  bool encodesParametersInURI(const kit::URLRequest& request) const;

 private:
  void markChanged(const char* key) { changed_.insert(key); }

  kit::Ref<kit::MutableDictionary> headers_;
  std::set<std::string> changed_;
  bool allowsCellularAccess_ = false;
  kit::URLRequestCachePolicy cachePolicy_ = kit::URLRequestCachePolicy::UseProtocolCachePolicy;
  bool handleCookies_ = false;
  bool pipelining_ = false;
  kit::URLRequestNetworkServiceType serviceType_ = kit::URLRequestNetworkServiceType::Default;
  double timeout_ = 0;
  SDPHTTPRequestQueryStringSerializationStyle style_ = SDPHTTPRequestQueryStringSerializationStyle::Default;
  QueryStringSerialization queryStringSerialization_;
};

class SDPJSONRequestSerializer : public SDPHTTPRequestSerializer {
  KIT_OBJECT(SDPJSONRequestSerializer)

 public:
  static kit::Ref<SDPJSONRequestSerializer> serializer() { return serializerWithWritingOptions(0); }
  static kit::Ref<SDPJSONRequestSerializer> serializerWithWritingOptions(unsigned writingOptions);

  unsigned writingOptions = 0;

  // Outside the URI methods: the JSON text of the parameters as the body
  // ("application/json" unless the request has a type). A value JSON cannot
  // hold is an error: the request comes back without a body.
  kit::Ref<kit::URLRequest> requestBySerializingRequest(const kit::Ref<kit::URLRequest>& request,
                                                        const kit::Id& parameters,
                                                        kit::Ref<kit::Error>* error) override;
  kit::Id copy() const override;
  void encodeWithCoder(kit::KeyedArchiver& coder) const override;
  bool initWithCoder(kit::KeyedUnarchiver& coder) override;

 protected:
  kit::Ref<SDPHTTPRequestSerializer> makeEmpty() const override;
};

class SDPPropertyListRequestSerializer : public SDPHTTPRequestSerializer {
  KIT_OBJECT(SDPPropertyListRequestSerializer)

 public:
  static kit::Ref<SDPPropertyListRequestSerializer> serializer() {
    return serializerWithFormat(kit::PropertyListFormat::XML, 0);
  }
  static kit::Ref<SDPPropertyListRequestSerializer> serializerWithFormat(kit::PropertyListFormat format,
                                                                         unsigned long writeOptions);

  kit::PropertyListFormat format = kit::PropertyListFormat::XML;
  unsigned long writeOptions = 0;

  kit::Ref<kit::URLRequest> requestBySerializingRequest(const kit::Ref<kit::URLRequest>& request,
                                                        const kit::Id& parameters,
                                                        kit::Ref<kit::Error>* error) override;
  kit::Id copy() const override;
  void encodeWithCoder(kit::KeyedArchiver& coder) const override;
  bool initWithCoder(kit::KeyedUnarchiver& coder) override;

 protected:
  kit::Ref<SDPHTTPRequestSerializer> makeEmpty() const override;
};
