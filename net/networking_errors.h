// The HTTP client's error domains and user-info keys, and the chaining of a
// later error with an earlier one.
#pragma once

#include <string>
#include <string_view>

#include "kit/foundation/error.h"

// Errors of building a request: a multipart file that is not a reachable
// file URL (code -1000), a body that could not be encoded.
inline constexpr const char* SDPRequestSerializationErrorDomain = "com.sdp.networking.serialization.request";
// Errors of validating and reading a response (codes -1011 and -1016).
inline constexpr const char* SDPResponseSerializationErrorDomain = "com.sdp.networking.serialization.response";

// User-info keys of response errors: the response and the body it carried.
inline constexpr const char* SDPResponseErrorFailingResponseKey = "com.sdp.networking.serialization.response.response";
inline constexpr const char* SDPResponseErrorFailingDataKey = "com.sdp.networking.serialization.response.data";

// The code of a request whose body could not be encoded (its JSON or zlib
// error is the underlying error), in the request-serialization domain.
inline constexpr long SDPRequestBodyEncodingFailedError = 1;

// The later error with the earlier one kept under the underlying-error key:
// the earlier error when there is no later one; the later one as it is when
// there is no earlier one or it already has an underlying error; otherwise
// a copy of the later one with the earlier one added.
kit::Ref<kit::Error> SDPErrorWithUnderlyingError(const kit::Ref<kit::Error>& error,
                                                 const kit::Ref<kit::Error>& underlyingError);

// An error of `domain` and `code` whose localized description is `message`,
// with `underlying` (when given) under the underlying-error key.
kit::Ref<kit::Error> SDPMakeError(const char* domain, long code, std::string_view message,
                                  const kit::Ref<kit::Error>& underlying = nullptr, const char* reasonKey = nullptr);

// A message of the client as the main bundle's "SDPNetworking" string table
// gives it, the text itself being the key and the fallback.
std::string SDPLocalizedText(std::string_view text);
