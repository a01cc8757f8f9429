// The streamed body of a multipart/form-data request: SDPMultipartBodyStream
// reads its parts one after another, and each SDPHTTPBodyPart delivers its
// boundary line, its header block, its content and (the last part) the
// closing boundary, continuing across calls wherever the caller's buffer
// ended. Content is read through the part's own stream, so files and
// streams are never loaded whole.
//
// A part delivers exactly the length declared for its content: a longer
// stream is cut there, and a stream that ends early fails the read (-1, with
// the reason in streamError()), so a body never goes out shorter than its
// announced Content-Length.
#pragma once

#include <cstdint>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include "kit/foundation/dictionary.h"
#include "kit/foundation/string_encoding.h"
#include "kit/net/input_stream.h"

// One part of a multipart body.
class SDPHTTPBodyPart : public kit::Object {
 public:
  enum Phase : int32_t {
    EncapsulationBoundaryPhase = 1,
    HeaderPhase = 2,
    BodyPhase = 3,
    FinalBoundaryPhase = 4,
  };

  SDPHTTPBodyPart();
  ~SDPHTTPBodyPart() override;

  kit::StringEncoding stringEncoding = kit::StringEncoding::UTF8;
  // Header name to value, written in the dictionary's order.
  kit::Ref<kit::Dictionary> headers;
  std::string boundary;
  // A Data, a file URL or an InputStream; anything else reads as empty.
  kit::Id body;
  // The content's length in bytes, as declared when the part was added.
  uint64_t bodyContentLength = 0;
  bool hasInitialBoundary = false;
  bool hasFinalBoundary = false;

  // The stream over the content, made on first use.
  kit::Ref<kit::InputStream> inputStream();
  // The header block: one "Name: value" line per header, then an empty line.
  std::string stringForHeaders() const;
  // Opening text + header block + declared content length (+ closing text
  // for the last part), in bytes.
  uint64_t contentLength() const;
  bool hasBytesAvailable();
  // Up to `length` bytes, crossing phases as far as they go; -1 when the
  // content stream fails or ends before the declared length.
  long read(uint8_t* buffer, size_t length);
  bool transitionToNextPhase();
  Phase phase() const { return phase_; }
  kit::Ref<kit::Error> streamError() const { return error_; }

  // A part with the same content and settings, back at its first phase and
  // with a new content stream.
  kit::Id copy() const override;

 private:
  std::string encoded(const std::string& text) const;
  std::string openingText() const;
  std::string closingText() const;
  long readData(const std::string& data, uint8_t* buffer, size_t length);
  long readContent(uint8_t* buffer, size_t length);

  kit::Ref<kit::InputStream> inputStream_;
  Phase phase_ = static_cast<Phase>(0);
  size_t phaseReadOffset_ = 0;
  uint64_t contentDelivered_ = 0;
  bool finished_ = false;
  kit::Ref<kit::Error> error_;
};

// The body stream: the parts in order, optionally throttled.
class SDPMultipartBodyStream : public kit::InputStream {
 public:
  explicit SDPMultipartBodyStream(kit::StringEncoding encoding);

  // The most bytes one read returns, and the pause after every chunk read
  // from a part (seconds of kit::Clock).
  void setNumberOfBytesInPacket(uint64_t bytes);
  uint64_t numberOfBytesInPacket() const;
  void setDelay(double seconds);
  double delay() const;
  kit::StringEncoding stringEncoding() const { return encoding_; }

  void appendHTTPBodyPart(const kit::Ref<SDPHTTPBodyPart>& part);
  // Marks the first part with the opening boundary and the last with the
  // closing one.
  void setInitialAndFinalBoundaries();
  bool isEmpty() const;
  uint64_t contentLength() const;
  std::vector<kit::Ref<SDPHTTPBodyPart>> HTTPBodyParts() const;

  // kit::InputStream
  void open() override;
  void close() override;
  kit::StreamStatus streamStatus() const override;
  kit::Ref<kit::Error> streamError() const override;
  long read(uint8_t* buffer, size_t maxLength) override;
  bool hasBytesAvailable() const override;

  // The same parts, copied and freshly marked, not yet open and unthrottled.
  kit::Id copy() const override;

 private:
  mutable std::mutex mutex_;
  const kit::StringEncoding encoding_;
  std::vector<kit::Ref<SDPHTTPBodyPart>> parts_;
  size_t nextPart_ = 0;
  kit::Ref<SDPHTTPBodyPart> current_;
  kit::StreamStatus status_ = kit::StreamStatus::NotOpen;
  kit::Ref<kit::Error> error_;
  uint64_t packetSize_ = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  double delay_ = 0;
};
