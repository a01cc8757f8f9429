// One item of the key-value storage as it is handed in and out: the key, the
// value (absent in records read without their values), the name of the file
// under "data" that holds a large value, the value's size, its modification
// and last-access times (seconds since 1970) and the caller's extended data.
#pragma once

#include <cstdint>

#include "kit/foundation/data.h"
#include "kit/foundation/object.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/string.h"

// Where the storage keeps values; fixed when it is created.
enum KTKVStorageType : unsigned {
  KTKVStorageTypeFile = 0,    // always in files under "data"
  KTKVStorageTypeSQLite = 1,  // always inline in the manifest
  KTKVStorageTypeMixed = 2,   // in a file when the caller names one, else inline
};

class KTKVStorageItem : public kit::Object {
  KIT_OBJECT(KTKVStorageItem)

 public:
  const kit::Ref<kit::String>& key() const { return key_; }
  void setKey(kit::Ref<kit::String> v) { key_ = std::move(v); }
  const kit::Ref<kit::Data>& value() const { return value_; }
  void setValue(kit::Ref<kit::Data> v) { value_ = std::move(v); }
  // nil for an inline item.
  const kit::Ref<kit::String>& filename() const { return filename_; }
  void setFilename(kit::Ref<kit::String> v) { filename_ = std::move(v); }
  int64_t size() const { return size_; }
  void setSize(int64_t v) { size_ = v; }
  int64_t modTime() const { return modTime_; }
  void setModTime(int64_t v) { modTime_ = v; }
  int64_t accessTime() const { return accessTime_; }
  void setAccessTime(int64_t v) { accessTime_ = v; }
  // nil when absent or empty.
  const kit::Ref<kit::Data>& extendedData() const { return extendedData_; }
  void setExtendedData(kit::Ref<kit::Data> v) { extendedData_ = std::move(v); }

 private:
  kit::Ref<kit::String> key_;
  kit::Ref<kit::Data> value_;
  kit::Ref<kit::String> filename_;
  int64_t size_ = 0;
  int64_t modTime_ = 0;
  int64_t accessTime_ = 0;
  kit::Ref<kit::Data> extendedData_;
};
