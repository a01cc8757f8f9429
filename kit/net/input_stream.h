// Streams: InputStream over bytes or a file, or subclassed (override read,
// hasBytesAvailable and the status), and OutputStream to a file or to
// memory. A read returns the count of bytes delivered, 0 at the end and -1
// on an error (streamError() tells which).
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "kit/foundation/data.h"
#include "kit/foundation/error.h"
#include "kit/net/url_adapter.h"

namespace kit {

enum class StreamStatus : unsigned long {
  NotOpen = 0,
  Opening = 1,
  Open = 2,
  Reading = 3,
  Writing = 4,
  AtEnd = 5,
  Closed = 6,
  Error = 7,
};

class Stream : public Object {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  virtual void open() = 0;
  virtual void close() = 0;
  virtual StreamStatus streamStatus() const = 0;
  virtual Ref<Error> streamError() const { return nullptr; }
};

class InputStream : public Stream {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  static Ref<InputStream> inputStreamWithData(Ref<Data> data);
  // nil when the path is empty; a missing file fails at open().
  static Ref<InputStream> inputStreamWithFileAtPath(std::string_view path);
  static Ref<InputStream> inputStreamWithURL(const Ref<URL>& url);

  // Up to `maxLength` bytes into `buffer`: the count, 0 at the end, -1 on
  // an error.
  virtual long read(uint8_t* buffer, size_t maxLength) = 0;
  virtual bool hasBytesAvailable() const = 0;

  // Reads what is left into memory (at most `limit` bytes); nil on error.
  Ref<Data> readAll(size_t limit = SIZE_MAX);
};

// An input stream over bytes.
class DataInputStream : public InputStream {
 public:
  explicit DataInputStream(Ref<Data> data) : data_(data ? std::move(data) : Data::make()) {}
  void open() override;
  void close() override;
  StreamStatus streamStatus() const override;
  long read(uint8_t* buffer, size_t maxLength) override;
  bool hasBytesAvailable() const override;
  Id copy() const override;

 private:
  Ref<Data> data_;
  mutable std::mutex mutex_;
  size_t offset_ = 0;
  StreamStatus status_ = StreamStatus::NotOpen;
};

// An input stream over a file.
class FileInputStream : public InputStream {
 public:
  explicit FileInputStream(std::string path) : path_(std::move(path)) {}
  ~FileInputStream() override;
  void open() override;
  void close() override;
  StreamStatus streamStatus() const override;
  Ref<Error> streamError() const override;
  long read(uint8_t* buffer, size_t maxLength) override;
  bool hasBytesAvailable() const override;
  Id copy() const override;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  mutable std::mutex mutex_;
  FILE* file_ = nullptr;
  StreamStatus status_ = StreamStatus::NotOpen;
  Ref<Error> error_;
};

class OutputStream : public Stream {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  static Ref<OutputStream> outputStreamToMemory();
  static Ref<OutputStream> outputStreamToFileAtPath(std::string_view path, bool append);

  // The count written, or -1 on an error.
  virtual long write(const uint8_t* buffer, size_t length) = 0;
  virtual bool hasSpaceAvailable() const = 0;
  // What a memory stream holds (nil for other streams).
  virtual Ref<Data> dataWritten() const { return nullptr; }
};

class FileOutputStream : public OutputStream {
 public:
  FileOutputStream(std::string path, bool append) : path_(std::move(path)), append_(append) {}
  ~FileOutputStream() override;
  void open() override;
  void close() override;
  StreamStatus streamStatus() const override;
  Ref<Error> streamError() const override;
  long write(const uint8_t* buffer, size_t length) override;
  bool hasSpaceAvailable() const override;

 private:
  std::string path_;
  bool append_;
  mutable std::mutex mutex_;
  FILE* file_ = nullptr;
  StreamStatus status_ = StreamStatus::NotOpen;
  Ref<Error> error_;
};

class MemoryOutputStream : public OutputStream {
 public:
  void open() override;
  void close() override;
  StreamStatus streamStatus() const override;
  long write(const uint8_t* buffer, size_t length) override;
  bool hasSpaceAvailable() const override { return true; }
  Ref<Data> dataWritten() const override;

 private:
  mutable std::mutex mutex_;
  std::vector<uint8_t> bytes_;
  StreamStatus status_ = StreamStatus::NotOpen;
};

}  // namespace kit
