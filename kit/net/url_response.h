// URL responses: URLResponse (URL, MIME type, expected length, text
// encoding) and HTTPURLResponse (status code, header fields), with the
// platform's lower-case status phrases.
#pragma once

#include <cstdint>
#include <string>

#include "kit/foundation/dictionary.h"
#include "kit/net/http_header_fields.h"
#include "kit/net/url_adapter.h"

namespace kit {

// expectedContentLength when the length is not known.
inline constexpr int64_t URLResponseUnknownLength = -1;

class URLResponse : public Object {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  URLResponse(Ref<kit::URL> url, Ref<String> mimeType, int64_t expectedContentLength, Ref<String> textEncodingName);
  static Ref<URLResponse> make(Ref<kit::URL> url, Ref<String> mimeType, int64_t expectedContentLength,
                               Ref<String> textEncodingName) {
    return std::make_shared<URLResponse>(std::move(url), std::move(mimeType), expectedContentLength,
                                         std::move(textEncodingName));
  }

  const Ref<kit::URL>& URL() const { return url_; }
  // Lower case; nil when the server did not say.
  const Ref<String>& MIMEType() const { return mimeType_; }
  int64_t expectedContentLength() const { return expectedLength_; }
  const Ref<String>& textEncodingName() const { return encoding_; }
  // The file name a download should get: Content-Disposition's filename,
  // else the URL's last path component, else "Unknown".
  virtual Ref<String> suggestedFilename() const;

  std::string description() const override;
  Id copy() const override { return self(); }

 protected:
  Ref<kit::URL> url_;
  Ref<String> mimeType_;
  int64_t expectedLength_;
  Ref<String> encoding_;
};

class HTTPURLResponse : public URLResponse {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  HTTPURLResponse(Ref<kit::URL> url, int statusCode, std::string httpVersion, HTTPHeaderFields fields);
  // nil for a status code outside 100-599 or a missing URL.
  static Ref<HTTPURLResponse> make(Ref<kit::URL> url, int statusCode, std::string httpVersion,
                                   HTTPHeaderFields fields);

  long statusCode() const { return status_; }
  const std::string& HTTPVersion() const { return version_; }
  Ref<Dictionary> allHeaderFields() const { return fields_.dictionary(); }
  const HTTPHeaderFields& headerFields() const { return fields_; }
  // Names compared without case; nil when absent.
  Ref<String> valueForHTTPHeaderField(std::string_view field) const;
  Ref<String> suggestedFilename() const override;

  // "not found" for 404, "no error" for 200, and by class for codes the
  // table does not hold ("informational", "success", "redirected",
  // "client error", "server error").
  static std::string localizedStringForStatusCode(long statusCode);

  std::string description() const override;

 private:
  int status_;
  std::string version_;
  HTTPHeaderFields fields_;
};

}  // namespace kit
