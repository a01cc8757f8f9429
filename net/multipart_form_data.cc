// Building multipart/form-data requests.
#include "net/multipart_form_data.h"

#include "kit/foundation/file_manager.h"
#include "kit/foundation/format.h"
#include "kit/foundation/random.h"
#include "kit/foundation/values.h"
#include "kit/net/mime_types.h"
#include "net/networking_errors.h"

namespace {

kit::Ref<kit::Dictionary> fileHeaders(std::string_view name, std::string_view fileName, std::string_view mimeType) {
  return kit::dict(
      {{"Content-Disposition", kit::formatString("form-data; name=\"%s\"; filename=\"%s\"", SDPQuotedHeaderText(name),
                                                 SDPQuotedHeaderText(fileName))},
       {"Content-Type", std::string(mimeType)}});
}

kit::Ref<kit::Error> fileURLError(std::string_view reason) {
  return SDPMakeError(SDPRequestSerializationErrorDomain, kit::URLErrorBadURL, SDPLocalizedText(reason), nullptr,
                      kit::LocalizedFailureReasonErrorKey);
}

}  // namespace

std::string SDPQuotedHeaderText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '"': out += "%22"; break;
      case '\r': out += "%0D"; break;
      case '\n': out += "%0A"; break;
      default: out += c;
    }
  }
  return out;
}

SDPStreamingMultipartFormData::SDPStreamingMultipartFormData(const kit::Ref<kit::URLRequest>& request,
                                                             kit::StringEncoding encoding)
    : request_(request ? kit::as<kit::MutableURLRequest>(request->mutableCopy())
                       : kit::MutableURLRequest::make(nullptr)),
      encoding_(encoding),
      boundary_(kit::formatString("Boundary+%08X%08X", kit::arc4random(), kit::arc4random())),
      bodyStream_(kit::make<SDPMultipartBodyStream>(encoding)) {}

bool SDPStreamingMultipartFormData::appendPartWithFileURL(const kit::Ref<kit::URL>& fileURL, std::string_view name,
                                                          kit::Ref<kit::Error>* error) {
  std::string fileName = fileURL && fileURL->lastPathComponent() ? fileURL->lastPathComponent()->utf8() : "";
  std::string mimeType = kit::MIMETypeForPathOrDefault(fileName);
  return appendPartWithFileURL(fileURL, name, fileName, mimeType, error);
}

bool SDPStreamingMultipartFormData::appendPartWithFileURL(const kit::Ref<kit::URL>& fileURL, std::string_view name,
                                                          std::string_view fileName, std::string_view mimeType,
                                                          kit::Ref<kit::Error>* error) {
  if (!fileURL || !fileURL->isFileURL()) {
    if (error) *error = fileURLError("Expected URL to be a file URL");
    return false;
  }
  auto path = fileURL->path();
  auto files = kit::FileManager::defaultManager();
  if (!path || !files->fileExistsAtPath(path)) {
    if (error) *error = fileURLError("File URL not reachable.");
    return false;
  }
  kit::Ref<kit::Error> attributesError;
  auto attributes = files->attributesOfItemAtPath(path, &attributesError);
  if (!attributes) {
    if (error) *error = attributesError;
    return false;
  }
  appendPart(fileHeaders(name, fileName, mimeType), fileURL, kit::fileSize(attributes));
  return true;
}

void SDPStreamingMultipartFormData::appendPartWithInputStream(const kit::Ref<kit::InputStream>& stream,
                                                              std::string_view name, std::string_view fileName,
                                                              int64_t length, std::string_view mimeType) {
  appendPart(fileHeaders(name, fileName, mimeType), stream, length > 0 ? static_cast<uint64_t>(length) : 0);
}

void SDPStreamingMultipartFormData::appendPartWithFileData(const kit::Ref<kit::Data>& data, std::string_view name,
                                                           std::string_view fileName, std::string_view mimeType) {
  appendPartWithHeaders(fileHeaders(name, fileName, mimeType), data);
}

void SDPStreamingMultipartFormData::appendPartWithFormData(const kit::Ref<kit::Data>& data, std::string_view name) {
  appendPartWithHeaders(
      kit::dict({{"Content-Disposition", kit::formatString("form-data; name=\"%s\"", SDPQuotedHeaderText(name))}}),
      data);
}

void SDPStreamingMultipartFormData::appendPartWithHeaders(const kit::Ref<kit::Dictionary>& headers,
                                                          const kit::Ref<kit::Data>& body) {
  appendPart(headers, body, body ? body->length() : 0);
}

void SDPStreamingMultipartFormData::appendPart(kit::Ref<kit::Dictionary> headers, kit::Id body, uint64_t length) {
  auto part = kit::make<SDPHTTPBodyPart>();
  part->stringEncoding = encoding_;
  part->headers = std::move(headers);
  part->boundary = boundary_;
  part->body = std::move(body);
  part->bodyContentLength = length;
  bodyStream_->appendHTTPBodyPart(part);
}

void SDPStreamingMultipartFormData::throttleBandwidthWithPacketSize(uint64_t numberOfBytes, double delay) {
  bodyStream_->setNumberOfBytesInPacket(numberOfBytes);
  bodyStream_->setDelay(delay);
}

kit::Ref<kit::MutableURLRequest> SDPStreamingMultipartFormData::requestByFinalizingMultipartFormData() {
  if (bodyStream_->isEmpty()) return request_;
  bodyStream_->setInitialAndFinalBoundaries();
  request_->setHTTPBodyStream(bodyStream_);
  request_->setValue(kit::formatString("multipart/form-data; boundary=%s", boundary_), "Content-Type");
  request_->setValue(kit::formatString("%llu", static_cast<unsigned long long>(bodyStream_->contentLength())),
                     "Content-Length");
  return request_;
}
