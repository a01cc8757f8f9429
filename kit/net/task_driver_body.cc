// The task driver's body path: bytes from libcurl through content decoding
// and the in-memory maximum into the completion handler's buffer, data
// events or the download file, the check that a body came whole, and the
// events that report progress.
#include <curl/curl.h>

#include <cstdio>

#include "kit/net/content_decoder.h"
#include "kit/net/session_events.h"
#include "kit/net/task_driver.h"
#include "kit/net/transfer_engine.h"

namespace kit::netdetail {

namespace {

constexpr size_t kMaxHeldBody = 1 << 20;

}  // namespace

size_t TaskDriver::onWrite(const char* bytes, size_t length) {
  touch();
  if (holdForDelegate_ && !redirectPending_ && !authPending_) return CURL_WRITEFUNC_PAUSE;
  wireBytes_ += static_cast<int64_t>(length);
  const auto* data = reinterpret_cast<const uint8_t*>(bytes);
  if (!decoder_) return takeBody(data, length) ? length : 0;
  switch (decoder_->feed(data, length, [this](const uint8_t* piece, size_t size) { return takeBody(piece, size); })) {
    case ContentDecoder::Result::Ok:
      return length;
    case ContentDecoder::Result::Stopped:
      return 0;
    case ContentDecoder::Result::Malformed:
      fault_ = Fault::Undecodable;
      return 0;
  }
  return 0;
}

bool TaskDriver::takeBody(const uint8_t* bytes, size_t length) {
  if (redirectPending_ || authPending_) {
    if (heldBody_.size() + length <= kMaxHeldBody) heldBody_.insert(heldBody_.end(), bytes, bytes + length);
    return true;
  }
  if (sink_ == Sink::File) {
    if (!downloadFile_ || fwrite(bytes, 1, length, downloadFile_) != length) return false;
    pendingFileBytes_ += static_cast<int64_t>(length);
  } else {
    inMemory_ += static_cast<int64_t>(length);
    if (inMemory_ > settings_.maximumInMemoryBody) {
      fault_ = Fault::TooLong;
      return false;
    }
    // A body for a completion handler goes straight to its buffer.
    auto& into = sink_ == Sink::Memory && pending_.empty() ? accumulated_ : pending_;
    into.insert(into.end(), bytes, bytes + length);
  }
  received_ += static_cast<int64_t>(length);
  settings_.engine->markDirty(id_);
  return true;
}

bool TaskDriver::bodyCutShort() const {
  if (!declaredLength_ || wireBytes_ >= *declaredLength_) return false;
  // No body follows these heads whatever their length says, and a chunked
  // body is framed by its chunks.
  const auto http = as<HTTPURLResponse>(response_);
  const long status = http ? http->statusCode() : 0;
  if (request_->HTTPMethod() == "HEAD" || status == 204 || status == 304) return false;
  return !chunked_;
}

// ---- Events

void TaskDriver::flushUpload() {
  if (holdForDelegate_ || redirectPending_ || authPending_) return;
  if (uploaded_ > postedUpload_) {
    int64_t delta = uploaded_ - postedUpload_;
    postedUpload_ = uploaded_;
    int64_t expected = uploadExpected_;
    if (expected == URLSessionTransferSizeUnknown) {
      // The platform reports the declared length when the body's own is not known.
      if (auto declared = request_->headerFields().value("Content-Length")) {
        expected = parseContentLength(*declared).value_or(URLSessionTransferSizeUnknown);
      }
    }
    if (settings_.hasDelegate) {
      postSentBodyData(settings_.lane, task_, delta, uploaded_, expected);
    } else {
      task_->setCounter(URLSessionTaskCounter::BytesSent, uploaded_);
    }
  }
}

void TaskDriver::flush() {
  if (holdForDelegate_ || redirectPending_ || authPending_) return;
  flushUpload();
  if (sink_ == Sink::Memory) {
    if (!pending_.empty()) {
      accumulated_.insert(accumulated_.end(), pending_.begin(), pending_.end());
      pending_.clear();
    }
    if (received_ != countedReceived_) {
      countedReceived_ = received_;
      task_->setCounter(URLSessionTaskCounter::BytesReceived, received_ + resumeOffset_);
    }
  } else if (!pending_.empty()) {
    if (settings_.cache && cacheBodyUsable_) {
      if (cacheBody_.size() + pending_.size() > settings_.cacheEntryLimit) {
        cacheBodyUsable_ = false;
        cacheBody_.clear();
      } else {
        cacheBody_.insert(cacheBody_.end(), pending_.begin(), pending_.end());
      }
    }
    auto chunk = Data::make(std::move(pending_));
    pending_.clear();
    postData(settings_.lane, as<URLSessionDataTask>(task_), chunk, received_);
  }
  if (pendingFileBytes_ > 0) {
    int64_t written = pendingFileBytes_;
    pendingFileBytes_ = 0;
    int64_t total = received_ + resumeOffset_;
    int64_t expected = task_->countOfBytesExpectedToReceive();
    if (settings_.hasDelegate && !downloadCompletion_) {
      postWroteData(settings_.lane, as<URLSessionDownloadTask>(task_), written, total, expected);
    } else {
      task_->setCounter(URLSessionTaskCounter::BytesReceived, total);
    }
  }
}

}  // namespace kit::netdetail
