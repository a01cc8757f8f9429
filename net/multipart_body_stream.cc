// Multipart body parts and the stream that reads them in order.
#include "net/multipart_body_stream.h"

#include <algorithm>
#include <cstring>

#include "kit/dispatch/semaphore.h"
#include "kit/foundation/format.h"
#include "kit/foundation/url.h"
#include "net/networking_errors.h"

namespace {

constexpr const char* kCRLF = "\r\n";

}  // namespace

// ---- SDPHTTPBodyPart

SDPHTTPBodyPart::SDPHTTPBodyPart() { transitionToNextPhase(); }

SDPHTTPBodyPart::~SDPHTTPBodyPart() {
  if (inputStream_) inputStream_->close();
}

kit::Ref<kit::InputStream> SDPHTTPBodyPart::inputStream() {
  if (!inputStream_) {
    if (auto data = kit::as<kit::Data>(body)) {
      inputStream_ = kit::InputStream::inputStreamWithData(data);
    } else if (auto url = kit::as<kit::URL>(body)) {
      inputStream_ = kit::InputStream::inputStreamWithURL(url);
    } else if (auto stream = kit::as<kit::InputStream>(body)) {
      inputStream_ = stream;
    }
    if (!inputStream_) inputStream_ = kit::InputStream::inputStreamWithData(kit::Data::make());
  }
  return inputStream_;
}

std::string SDPHTTPBodyPart::encoded(const std::string& text) const {
  auto bytes = kit::bytesUsingEncoding(kit::String(text), stringEncoding, true);
  return bytes ? *bytes : std::string();
}

std::string SDPHTTPBodyPart::openingText() const {
  return encoded(hasInitialBoundary ? kit::formatString("--%s%s", boundary, kCRLF)
                                    : kit::formatString("%s--%s%s", kCRLF, boundary, kCRLF));
}

std::string SDPHTTPBodyPart::closingText() const {
  return hasFinalBoundary ? encoded(kit::formatString("%s--%s--%s", kCRLF, boundary, kCRLF)) : std::string();
}

std::string SDPHTTPBodyPart::stringForHeaders() const {
  std::string text;
  if (headers) {
    for (const auto& key : headers->keys()) {
      text += kit::formatString("%@: %@%s", key, headers->objectForKey(key), kCRLF);
    }
  }
  text += kCRLF;
  return text;
}

uint64_t SDPHTTPBodyPart::contentLength() const {
  return openingText().size() + encoded(stringForHeaders()).size() + bodyContentLength + closingText().size();
}

bool SDPHTTPBodyPart::hasBytesAvailable() {
  // A part has something to give until its closing text is delivered; its
  // content stream's own status does not end it early (that would leave the
  // body short of its announced length).
  return !finished_;
}

long SDPHTTPBodyPart::read(uint8_t* buffer, size_t length) {
  size_t total = 0;
  if (phase_ == EncapsulationBoundaryPhase) total += readData(openingText(), buffer, length);
  if (phase_ == HeaderPhase) total += readData(encoded(stringForHeaders()), buffer + total, length - total);
  if (phase_ == BodyPhase) {
    long n = readContent(buffer + total, length - total);
    if (n < 0) return -1;
    total += static_cast<size_t>(n);
  }
  if (phase_ == FinalBoundaryPhase) total += readData(closingText(), buffer + total, length - total);
  return static_cast<long>(total);
}

long SDPHTTPBodyPart::readData(const std::string& data, uint8_t* buffer, size_t length) {
  size_t n = std::min(data.size() - std::min(phaseReadOffset_, data.size()), length);
  if (n) memcpy(buffer, data.data() + phaseReadOffset_, n);
  phaseReadOffset_ += n;
  if (phaseReadOffset_ >= data.size()) transitionToNextPhase();
  return static_cast<long>(n);
}

long SDPHTTPBodyPart::readContent(uint8_t* buffer, size_t length) {
  uint64_t remaining = bodyContentLength - contentDelivered_;
  if (remaining == 0) {
    transitionToNextPhase();
    return 0;
  }
  size_t want = static_cast<size_t>(std::min<uint64_t>(remaining, length));
  if (want == 0) return 0;
  auto stream = inputStream();
  long n = stream->read(buffer, want);
  if (n <= 0) {
    error_ = n < 0 ? stream->streamError() : nullptr;
    if (!error_) {
      error_ = SDPMakeError(SDPRequestSerializationErrorDomain, kit::URLErrorCannotOpenFile,
                            kit::formatString("The content of a part ended after %llu of %llu bytes.",
                                              static_cast<unsigned long long>(contentDelivered_),
                                              static_cast<unsigned long long>(bodyContentLength)));
    }
    return -1;
  }
  contentDelivered_ += static_cast<uint64_t>(n);
  if (contentDelivered_ == bodyContentLength) transitionToNextPhase();
  return n;
}

bool SDPHTTPBodyPart::transitionToNextPhase() {
  switch (phase_) {
    case EncapsulationBoundaryPhase: phase_ = HeaderPhase; break;
    case HeaderPhase: {
      auto stream = inputStream();
      stream->open();
      phase_ = BodyPhase;
      break;
    }
    case BodyPhase:
      inputStream()->close();
      phase_ = FinalBoundaryPhase;
      break;
    case FinalBoundaryPhase:
      finished_ = true;
      phase_ = EncapsulationBoundaryPhase;
      break;
    default: phase_ = EncapsulationBoundaryPhase; break;
  }
  phaseReadOffset_ = 0;
  return true;
}

kit::Id SDPHTTPBodyPart::copy() const {
  auto part = kit::make<SDPHTTPBodyPart>();
  part->stringEncoding = stringEncoding;
  part->headers = headers;
  part->boundary = boundary;
  part->body = body;
  part->bodyContentLength = bodyContentLength;
  return part;
}

// ---- SDPMultipartBodyStream

SDPMultipartBodyStream::SDPMultipartBodyStream(kit::StringEncoding encoding) : encoding_(encoding) {}

void SDPMultipartBodyStream::setNumberOfBytesInPacket(uint64_t bytes) {
  std::lock_guard lock(mutex_);
  packetSize_ = bytes;
}

uint64_t SDPMultipartBodyStream::numberOfBytesInPacket() const {
  std::lock_guard lock(mutex_);
  return packetSize_;
}

void SDPMultipartBodyStream::setDelay(double seconds) {
  std::lock_guard lock(mutex_);
  delay_ = seconds;
}

double SDPMultipartBodyStream::delay() const {
  std::lock_guard lock(mutex_);
  return delay_;
}

void SDPMultipartBodyStream::appendHTTPBodyPart(const kit::Ref<SDPHTTPBodyPart>& part) {
  std::lock_guard lock(mutex_);
  parts_.push_back(part);
}

void SDPMultipartBodyStream::setInitialAndFinalBoundaries() {
  std::lock_guard lock(mutex_);
  if (parts_.empty()) return;
  for (auto& part : parts_) {
    part->hasInitialBoundary = false;
    part->hasFinalBoundary = false;
  }
  parts_.front()->hasInitialBoundary = true;
  parts_.back()->hasFinalBoundary = true;
}

bool SDPMultipartBodyStream::isEmpty() const {
  std::lock_guard lock(mutex_);
  return parts_.empty();
}

uint64_t SDPMultipartBodyStream::contentLength() const {
  std::lock_guard lock(mutex_);
  uint64_t length = 0;
  for (const auto& part : parts_) length += part->contentLength();
  return length;
}

std::vector<kit::Ref<SDPHTTPBodyPart>> SDPMultipartBodyStream::HTTPBodyParts() const {
  std::lock_guard lock(mutex_);
  return parts_;
}

void SDPMultipartBodyStream::open() {
  {
    std::lock_guard lock(mutex_);
    if (status_ == kit::StreamStatus::Open) return;
    status_ = kit::StreamStatus::Open;
  }
  setInitialAndFinalBoundaries();
  std::lock_guard lock(mutex_);
  nextPart_ = 0;
  current_ = nullptr;
}

void SDPMultipartBodyStream::close() {
  std::lock_guard lock(mutex_);
  status_ = kit::StreamStatus::Closed;
}

kit::StreamStatus SDPMultipartBodyStream::streamStatus() const {
  std::lock_guard lock(mutex_);
  return status_;
}

kit::Ref<kit::Error> SDPMultipartBodyStream::streamError() const {
  std::lock_guard lock(mutex_);
  return error_;
}

bool SDPMultipartBodyStream::hasBytesAvailable() const {
  std::lock_guard lock(mutex_);
  return status_ == kit::StreamStatus::Open;
}

long SDPMultipartBodyStream::read(uint8_t* buffer, size_t maxLength) {
  std::unique_lock lock(mutex_);
  // Not yet open there is nothing to walk; closed there is nothing left.
  if (status_ == kit::StreamStatus::Error) return -1;
  if (status_ != kit::StreamStatus::Open) return 0;
  const size_t limit = static_cast<size_t>(std::min<uint64_t>(maxLength, packetSize_));
  const double delay = delay_;
  size_t total = 0;
  while (total < limit) {
    if (!current_ || !current_->hasBytesAvailable()) {
      if (nextPart_ >= parts_.size()) break;
      current_ = parts_[nextPart_++];
      continue;
    }
    long n = current_->read(buffer + total, limit - total);
    if (n < 0) {
      error_ = current_->streamError();
      status_ = kit::StreamStatus::Error;
      return -1;
    }
    total += static_cast<size_t>(n);
    if (delay > 0) {
      // Throttling holds the reading thread for the pause, on kit::Clock.
      lock.unlock();
      kit::Semaphore(0).wait(delay);
      lock.lock();
    }
  }
  return static_cast<long>(total);
}

kit::Id SDPMultipartBodyStream::copy() const {
  auto stream = kit::make<SDPMultipartBodyStream>(encoding_);
  for (const auto& part : HTTPBodyParts()) stream->appendHTTPBodyPart(kit::as<SDPHTTPBodyPart>(part->copy()));
  stream->setInitialAndFinalBoundaries();
  return stream;
}
