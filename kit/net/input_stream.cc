// Data and file input streams, file and memory output streams.
#include "kit/net/input_stream.h"

#include <cerrno>
#include <cstring>

#include "kit/foundation/runtime.h"
#include "kit/foundation/values.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(Stream, Object, "NSStream") {}
KIT_DEFINE_CLASS_NAMED(InputStream, Stream, "NSInputStream") {}
KIT_DEFINE_CLASS_NAMED(OutputStream, Stream, "NSOutputStream") {}

namespace {

Ref<Error> posixError(int code, const std::string& path) {
  return Error::make(POSIXErrorDomain, code,
                     dict({{LocalizedDescriptionKey, std::string(strerror(code))}, {FilePathErrorKey, path}}));
}

}  // namespace

Ref<InputStream> InputStream::inputStreamWithData(Ref<Data> data) {
  return std::make_shared<DataInputStream>(std::move(data));
}

Ref<InputStream> InputStream::inputStreamWithFileAtPath(std::string_view path) {
  if (path.empty()) return nullptr;
  return std::make_shared<FileInputStream>(std::string(path));
}

Ref<InputStream> InputStream::inputStreamWithURL(const Ref<URL>& url) {
  if (!netdetail::urlIsFile(url)) return nullptr;
  return inputStreamWithFileAtPath(netdetail::urlPath(url));
}

Ref<Data> InputStream::readAll(size_t limit) {
  auto out = MutableData::make();
  uint8_t buffer[16384];
  while (out->length() < limit) {
    long n = read(buffer, std::min(sizeof buffer, limit - out->length()));
    if (n < 0) return nullptr;
    if (n == 0) break;
    out->appendBytes(buffer, static_cast<size_t>(n));
  }
  return out;
}

// ---- DataInputStream

void DataInputStream::open() {
  std::lock_guard lock(mutex_);
  if (status_ == StreamStatus::NotOpen) status_ = StreamStatus::Open;
}

void DataInputStream::close() {
  std::lock_guard lock(mutex_);
  status_ = StreamStatus::Closed;
}

StreamStatus DataInputStream::streamStatus() const {
  std::lock_guard lock(mutex_);
  if (status_ == StreamStatus::Open && offset_ >= data_->length()) return StreamStatus::AtEnd;
  return status_;
}

long DataInputStream::read(uint8_t* buffer, size_t maxLength) {
  std::lock_guard lock(mutex_);
  if (status_ != StreamStatus::Open) return status_ == StreamStatus::NotOpen ? -1 : 0;
  size_t n = std::min(maxLength, data_->length() - offset_);
  if (n) memcpy(buffer, data_->bytes() + offset_, n);
  offset_ += n;
  return static_cast<long>(n);
}

bool DataInputStream::hasBytesAvailable() const {
  std::lock_guard lock(mutex_);
  return status_ == StreamStatus::Open && offset_ < data_->length();
}

Id DataInputStream::copy() const { return std::make_shared<DataInputStream>(data_); }

// ---- FileInputStream

FileInputStream::~FileInputStream() {
  if (file_) fclose(file_);
}

void FileInputStream::open() {
  std::lock_guard lock(mutex_);
  if (status_ != StreamStatus::NotOpen) return;
  file_ = fopen(path_.c_str(), "rb");
  if (!file_) {
    error_ = posixError(errno, path_);
    status_ = StreamStatus::Error;
    return;
  }
  status_ = StreamStatus::Open;
}

void FileInputStream::close() {
  std::lock_guard lock(mutex_);
  if (file_) fclose(file_);
  file_ = nullptr;
  if (status_ != StreamStatus::Error) status_ = StreamStatus::Closed;
}

StreamStatus FileInputStream::streamStatus() const {
  std::lock_guard lock(mutex_);
  return status_;
}

Ref<Error> FileInputStream::streamError() const {
  std::lock_guard lock(mutex_);
  return error_;
}

long FileInputStream::read(uint8_t* buffer, size_t maxLength) {
  std::lock_guard lock(mutex_);
  if (status_ == StreamStatus::AtEnd || status_ == StreamStatus::Closed) return 0;
  if (status_ != StreamStatus::Open || !file_) return -1;
  size_t n = fread(buffer, 1, maxLength, file_);
  if (n == 0 && ferror(file_)) {
    error_ = posixError(errno ? errno : EIO, path_);
    status_ = StreamStatus::Error;
    return -1;
  }
  if (n == 0 && maxLength > 0) status_ = StreamStatus::AtEnd;
  return static_cast<long>(n);
}

bool FileInputStream::hasBytesAvailable() const {
  std::lock_guard lock(mutex_);
  return status_ == StreamStatus::Open;
}

Id FileInputStream::copy() const { return std::make_shared<FileInputStream>(path_); }

// ---- Output streams

Ref<OutputStream> OutputStream::outputStreamToMemory() { return std::make_shared<MemoryOutputStream>(); }

Ref<OutputStream> OutputStream::outputStreamToFileAtPath(std::string_view path, bool append) {
  if (path.empty()) return nullptr;
  return std::make_shared<FileOutputStream>(std::string(path), append);
}

FileOutputStream::~FileOutputStream() {
  if (file_) fclose(file_);
}

void FileOutputStream::open() {
  std::lock_guard lock(mutex_);
  if (status_ != StreamStatus::NotOpen) return;
  file_ = fopen(path_.c_str(), append_ ? "ab" : "wb");
  if (!file_) {
    error_ = posixError(errno, path_);
    status_ = StreamStatus::Error;
    return;
  }
  status_ = StreamStatus::Open;
}

void FileOutputStream::close() {
  std::lock_guard lock(mutex_);
  if (file_) fclose(file_);
  file_ = nullptr;
  if (status_ != StreamStatus::Error) status_ = StreamStatus::Closed;
}

StreamStatus FileOutputStream::streamStatus() const {
  std::lock_guard lock(mutex_);
  return status_;
}

Ref<Error> FileOutputStream::streamError() const {
  std::lock_guard lock(mutex_);
  return error_;
}

long FileOutputStream::write(const uint8_t* buffer, size_t length) {
  std::lock_guard lock(mutex_);
  if (status_ != StreamStatus::Open || !file_) return -1;
  size_t n = fwrite(buffer, 1, length, file_);
  if (n < length || fflush(file_) != 0) {
    error_ = posixError(errno ? errno : EIO, path_);
    status_ = StreamStatus::Error;
    return -1;
  }
  return static_cast<long>(n);
}

bool FileOutputStream::hasSpaceAvailable() const {
  std::lock_guard lock(mutex_);
  return status_ == StreamStatus::Open;
}

void MemoryOutputStream::open() {
  std::lock_guard lock(mutex_);
  if (status_ == StreamStatus::NotOpen) status_ = StreamStatus::Open;
}

void MemoryOutputStream::close() {
  std::lock_guard lock(mutex_);
  status_ = StreamStatus::Closed;
}

StreamStatus MemoryOutputStream::streamStatus() const {
  std::lock_guard lock(mutex_);
  return status_;
}

long MemoryOutputStream::write(const uint8_t* buffer, size_t length) {
  std::lock_guard lock(mutex_);
  if (status_ != StreamStatus::Open) return -1;
  bytes_.insert(bytes_.end(), buffer, buffer + length);
  return static_cast<long>(length);
}

Ref<Data> MemoryOutputStream::dataWritten() const {
  std::lock_guard lock(mutex_);
  return Data::make(bytes_);
}

}  // namespace kit
