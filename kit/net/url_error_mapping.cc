// URL errors and libcurl result mapping.
#include "kit/net/url_error_mapping.h"

#include <curl/curl.h>

#include <cerrno>

#include "kit/foundation/string.h"

namespace kit::netdetail {

std::string describeURLError(long code) {
  switch (code) {
    case URLErrorCancelled: return "cancelled";
    case URLErrorBadURL: return "bad URL";
    case URLErrorTimedOut: return "The request timed out.";
    case URLErrorUnsupportedURL: return "unsupported URL";
    case URLErrorCannotFindHost: return "A server with the specified hostname could not be found.";
    case URLErrorCannotConnectToHost: return "Could not connect to the server.";
    case URLErrorNetworkConnectionLost: return "The network connection was lost.";
    case URLErrorNotConnectedToInternet: return "The Internet connection appears to be offline.";
    case URLErrorHTTPTooManyRedirects: return "too many HTTP redirects";
    case URLErrorResourceUnavailable: return "The requested resource is unavailable.";
    case URLErrorBadServerResponse: return "The server returned a bad response.";
    case URLErrorUserCancelledAuthentication: return "The operation couldn't be completed.";
    case URLErrorCannotDecodeRawData: return "cannot decode raw data";
    case URLErrorCannotDecodeContentData: return "cannot decode content data";
    case URLErrorCannotParseResponse: return "cannot parse response";
    case URLErrorDataLengthExceedsMaximum: return "resource exceeds maximum size";
    case URLErrorFileDoesNotExist: return "The requested URL was not found on this server.";
    case URLErrorFileIsDirectory: return "file is directory";
    case URLErrorSecureConnectionFailed:
      return "An SSL error has occurred and a secure connection to the server cannot be made.";
    case URLErrorServerCertificateHasBadDate: return "The certificate for this server has expired.";
    case URLErrorServerCertificateUntrusted: return "The certificate for this server is invalid.";
    case URLErrorServerCertificateNotYetValid: return "The certificate for this server is not yet valid.";
    case URLErrorCannotWriteToFile: return "The file could not be written.";
    case -1021: return "request body stream exhausted";
    default: return "unknown error";
  }
}

Ref<Error> makeURLError(long code, const Ref<URL>& failingURL, const std::string& description,
                        Ref<Error> underlying) {
  auto info = MutableDictionary::make();
  info->setObject(String::make(description.empty() ? describeURLError(code) : description), LocalizedDescriptionKey);
  if (failingURL) {
    info->setObject(failingURL, URLErrorKey);
    info->setObject(String::make(failingURL->absoluteText()), URLErrorFailingURLStringErrorKey);
  }
  if (underlying) info->setObject(underlying, UnderlyingErrorKey);
  return Error::make(URLErrorDomain, code, info);
}

long urlErrorForCurlCode(int curlCode, long osErrno) {
  switch (static_cast<CURLcode>(curlCode)) {
    case CURLE_OK: return 0;
    case CURLE_UNSUPPORTED_PROTOCOL: return URLErrorUnsupportedURL;
    case CURLE_URL_MALFORMAT: return URLErrorBadURL;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return URLErrorCannotFindHost;
    case CURLE_COULDNT_CONNECT:
      if (osErrno == ENETUNREACH || osErrno == ENETDOWN) return URLErrorNotConnectedToInternet;
      return URLErrorCannotConnectToHost;
    case CURLE_OPERATION_TIMEDOUT: return URLErrorTimedOut;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM: return URLErrorNetworkConnectionLost;
    case CURLE_WEIRD_SERVER_REPLY: return URLErrorBadServerResponse;
    case CURLE_TOO_MANY_REDIRECTS: return URLErrorHTTPTooManyRedirects;
    case CURLE_BAD_CONTENT_ENCODING: return URLErrorCannotDecodeContentData;
    case CURLE_FILE_COULDNT_READ_FILE: return URLErrorFileDoesNotExist;
    case CURLE_WRITE_ERROR: return URLErrorCannotWriteToFile;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_USE_SSL_FAILED: return URLErrorSecureConnectionFailed;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE: return URLErrorServerCertificateUntrusted;
    case CURLE_LOGIN_DENIED: return URLErrorUserAuthenticationRequired;
    default: return URLErrorUnknown;
  }
}

}  // namespace kit::netdetail
