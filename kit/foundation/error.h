// Errors: a domain, a code and a user-info dictionary, with the platform's
// user-info keys and URL error codes.
#pragma once

#include <string>

#include "kit/foundation/dictionary.h"
#include "kit/foundation/object.h"

namespace kit {

inline constexpr const char* LocalizedDescriptionKey = "NSLocalizedDescription";
inline constexpr const char* LocalizedFailureReasonErrorKey = "NSLocalizedFailureReason";
inline constexpr const char* UnderlyingErrorKey = "NSUnderlyingError";
inline constexpr const char* URLErrorKey = "NSErrorFailingURLKey";
inline constexpr const char* URLErrorFailingURLStringErrorKey = "NSErrorFailingURLStringKey";
inline constexpr const char* FilePathErrorKey = "NSFilePath";

inline constexpr const char* URLErrorDomain = "NSURLErrorDomain";
inline constexpr const char* CocoaErrorDomain = "NSCocoaErrorDomain";
inline constexpr const char* POSIXErrorDomain = "NSPOSIXErrorDomain";

// The platform's URL error codes.
enum URLError : long {
  URLErrorUnknown = -1,
  URLErrorCancelled = -999,
  URLErrorBadURL = -1000,
  URLErrorTimedOut = -1001,
  URLErrorUnsupportedURL = -1002,
  URLErrorCannotFindHost = -1003,
  URLErrorCannotConnectToHost = -1004,
  URLErrorNetworkConnectionLost = -1005,
  URLErrorDNSLookupFailed = -1006,
  URLErrorHTTPTooManyRedirects = -1007,
  URLErrorResourceUnavailable = -1008,
  URLErrorNotConnectedToInternet = -1009,
  URLErrorRedirectToNonExistentLocation = -1010,
  URLErrorBadServerResponse = -1011,
  URLErrorUserCancelledAuthentication = -1012,
  URLErrorUserAuthenticationRequired = -1013,
  URLErrorZeroByteResource = -1014,
  URLErrorCannotDecodeRawData = -1015,
  URLErrorCannotDecodeContentData = -1016,
  URLErrorCannotParseResponse = -1017,
  URLErrorFileDoesNotExist = -1100,
  URLErrorFileIsDirectory = -1101,
  URLErrorNoPermissionsToReadFile = -1102,
  URLErrorDataLengthExceedsMaximum = -1103,
  URLErrorSecureConnectionFailed = -1200,
  URLErrorServerCertificateHasBadDate = -1201,
  URLErrorServerCertificateUntrusted = -1202,
  URLErrorServerCertificateHasUnknownRoot = -1203,
  URLErrorServerCertificateNotYetValid = -1204,
  URLErrorClientCertificateRejected = -1205,
  URLErrorClientCertificateRequired = -1206,
  URLErrorCannotLoadFromNetwork = -2000,
  URLErrorCannotCreateFile = -3000,
  URLErrorCannotOpenFile = -3001,
  URLErrorCannotWriteToFile = -3003,
  URLErrorCannotRemoveFile = -3004,
  URLErrorCannotMoveFile = -3005,
  URLErrorDownloadDecodingFailedMidStream = -3006,
  URLErrorDownloadDecodingFailedToComplete = -3007,
};

class Error : public Object {
 public:
  Error(std::string domain, long code, Ref<Dictionary> userInfo)
      : domain_(std::move(domain)), code_(code), userInfo_(std::move(userInfo)) {}

  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  static Ref<Error> make(std::string domain, long code, Ref<Dictionary> userInfo = nullptr) {
    return std::make_shared<Error>(std::move(domain), code, std::move(userInfo));
  }
  // An error whose localized description is `description`.
  static Ref<Error> make(std::string domain, long code, std::string_view description);

  const std::string& domain() const { return domain_; }
  long code() const { return code_; }
  // Never nil: an empty dictionary when none was given.
  Ref<Dictionary> userInfo() const;
  // The description in the user info, or "The operation couldn't be
  // completed. (<domain> error <code>.)".
  std::string localizedDescription() const;
  Ref<Error> underlyingError() const;

  std::string description() const override;
  bool isEqual(const Object& other) const override;
  size_t hash() const override;
  Id copy() const override { return self(); }

 private:
  std::string domain_;
  long code_;
  Ref<Dictionary> userInfo_;
};

}  // namespace kit
