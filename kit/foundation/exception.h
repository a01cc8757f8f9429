// kit::Exception stands in for the platform's exceptions: a name, a reason
// and optional user info, thrown as a C++ exception where the platform would
// raise. The platform's exception names are constants here.
#pragma once

#include <exception>
#include <string>

#include "kit/foundation/object.h"

namespace kit {

inline constexpr const char* InvalidArgumentException = "NSInvalidArgumentException";
inline constexpr const char* RangeException = "NSRangeException";
inline constexpr const char* GenericException = "NSGenericException";
inline constexpr const char* InternalInconsistencyException = "NSInternalInconsistencyException";
inline constexpr const char* UndefinedKeyException = "NSUnknownKeyException";
inline constexpr const char* InvalidArchiveOperationException = "NSInvalidArchiveOperationException";
inline constexpr const char* InvalidUnarchiveOperationException = "NSInvalidUnarchiveOperationException";
inline constexpr const char* MallocException = "NSMallocException";
inline constexpr const char* ParseErrorException = "NSParseErrorException";

class Exception : public std::exception {
 public:
  Exception(std::string name, std::string reason, Id userInfo = nullptr)
      : name_(std::move(name)), reason_(std::move(reason)), userInfo_(std::move(userInfo)) {}

  const std::string& name() const { return name_; }
  const std::string& reason() const { return reason_; }
  const Id& userInfo() const { return userInfo_; }
  const char* what() const noexcept override { return reason_.c_str(); }

 private:
  std::string name_;
  std::string reason_;
  Id userInfo_;
};

// Throws kit::Exception(name, reason).
[[noreturn]] void raise(const std::string& name, const std::string& reason);

}  // namespace kit
