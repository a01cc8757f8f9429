// Building a multipart/form-data request: form fields, in-memory data,
// files and caller-supplied streams become parts of a streamed body (see
// multipart_body_stream.h), and finalising puts that stream, the
// Content-Type with the boundary and the Content-Length on the request.
//
// Field names and file names go between double quotes in the part headers;
// a double quote, CR or LF in them is written as %22, %0D or %0A, so a name
// can neither end the quoted text nor start a header of its own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "kit/foundation/error.h"
#include "kit/foundation/url.h"
#include "kit/net/url_request.h"
#include "net/multipart_body_stream.h"

// What a multipart construction callback can do with the form.
class SDPMultipartFormData {
 public:
  virtual ~SDPMultipartFormData() = default;

  // A file part named after the URL's last path component, with the MIME
  // type for its extension ("application/octet-stream" when unknown).
  virtual bool appendPartWithFileURL(const kit::Ref<kit::URL>& fileURL, std::string_view name,
                                     kit::Ref<kit::Error>* error) = 0;
  // A file part; NO with an error (-1000 in the request-serialization domain)
  // for a URL that is not a file URL or a file that cannot be reached, or
  // the file manager's error for unreadable attributes. A failed append
  // leaves the form unchanged.
  virtual bool appendPartWithFileURL(const kit::Ref<kit::URL>& fileURL, std::string_view name,
                                     std::string_view fileName, std::string_view mimeType,
                                     kit::Ref<kit::Error>* error) = 0;
  // A part read from `stream`, of exactly `length` bytes.
  virtual void appendPartWithInputStream(const kit::Ref<kit::InputStream>& stream, std::string_view name,
                                         std::string_view fileName, int64_t length, std::string_view mimeType) = 0;
  virtual void appendPartWithFileData(const kit::Ref<kit::Data>& data, std::string_view name, std::string_view fileName,
                                      std::string_view mimeType) = 0;
  // A plain form field.
  virtual void appendPartWithFormData(const kit::Ref<kit::Data>& data, std::string_view name) = 0;
  virtual void appendPartWithHeaders(const kit::Ref<kit::Dictionary>& headers, const kit::Ref<kit::Data>& body) = 0;
  // Caps every read of the body at `numberOfBytes` and pauses `delay`
  // seconds after each chunk.
  virtual void throttleBandwidthWithPacketSize(uint64_t numberOfBytes, double delay) = 0;
};

class SDPStreamingMultipartFormData : public kit::Object, public SDPMultipartFormData {
 public:
  // Keeps its own copy of `request`; draws the boundary.
  SDPStreamingMultipartFormData(const kit::Ref<kit::URLRequest>& request, kit::StringEncoding encoding);

  const kit::Ref<kit::MutableURLRequest>& request() const { return request_; }
  const std::string& boundary() const { return boundary_; }
  const kit::Ref<SDPMultipartBodyStream>& bodyStream() const { return bodyStream_; }
  kit::StringEncoding stringEncoding() const { return encoding_; }

  bool appendPartWithFileURL(const kit::Ref<kit::URL>& fileURL, std::string_view name,
                             kit::Ref<kit::Error>* error) override;
  bool appendPartWithFileURL(const kit::Ref<kit::URL>& fileURL, std::string_view name, std::string_view fileName,
                             std::string_view mimeType, kit::Ref<kit::Error>* error) override;
  void appendPartWithInputStream(const kit::Ref<kit::InputStream>& stream, std::string_view name,
                                 std::string_view fileName, int64_t length, std::string_view mimeType) override;
  void appendPartWithFileData(const kit::Ref<kit::Data>& data, std::string_view name, std::string_view fileName,
                              std::string_view mimeType) override;
  void appendPartWithFormData(const kit::Ref<kit::Data>& data, std::string_view name) override;
  void appendPartWithHeaders(const kit::Ref<kit::Dictionary>& headers, const kit::Ref<kit::Data>& body) override;
  void throttleBandwidthWithPacketSize(uint64_t numberOfBytes, double delay) override;

  // The request with the body stream, "Content-Type: multipart/form-data;
  // boundary=..." and the Content-Length; without parts, the request as it
  // was.
  kit::Ref<kit::MutableURLRequest> requestByFinalizingMultipartFormData();

 private:
  void appendPart(kit::Ref<kit::Dictionary> headers, kit::Id body, uint64_t length);

  kit::Ref<kit::MutableURLRequest> request_;
  kit::StringEncoding encoding_;
  std::string boundary_;
  kit::Ref<SDPMultipartBodyStream> bodyStream_;
};

// A name or file name as it goes between double quotes in a part header.
std::string SDPQuotedHeaderText(std::string_view text);
