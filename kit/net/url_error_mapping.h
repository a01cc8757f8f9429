// Internal: URL errors made the way the platform makes them, and the
// mapping from libcurl's result codes.
#pragma once

#include <string>

#include "kit/foundation/error.h"
#include "kit/net/url_adapter.h"

namespace kit::netdetail {

// An error in the URL error domain with the failing URL (object and text)
// and the platform's description for the code, or `description` when given.
Ref<Error> makeURLError(long code, const Ref<URL>& failingURL, const std::string& description = "",
                        Ref<Error> underlying = nullptr);
std::string describeURLError(long code);
// The URL error for a libcurl result; `osErrno` refines connect failures
// (no route to any network is "not connected").
long urlErrorForCurlCode(int curlCode, long osErrno);

}  // namespace kit::netdetail
