// URL errors and libcurl result mapping.
#include "kit/net/url_error_mapping.h"

#include <curl/curl.h>

#include <cerrno>

#include "kit/foundation/string.h"
#include "kit/net/url_session.h"

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
    case URLErrorRequestBodyStreamExhausted: return "request body stream exhausted";
    case URLErrorUserAuthenticationRequired: return "user authentication required";
    case URLErrorClientCertificateRejected: return "client certificate rejected";
    case URLErrorCannotLoadFromNetwork: return "cannot load from network";
    case URLErrorCannotCreateFile: return "cannot create file";
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
    case CURLE_INTERFACE_FAILED:
    case CURLE_NO_CONNECTION_AVAILABLE:
    case CURLE_PROXY:
    case CURLE_QUIC_CONNECT_ERROR: return URLErrorCannotConnectToHost;
    case CURLE_OPERATION_TIMEDOUT: return URLErrorTimedOut;
    case CURLE_ABORTED_BY_CALLBACK: return URLErrorCancelled;

    // The connection broke off while the request or its answer was under way.
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_HTTP3:
    case CURLE_AGAIN:
    case CURLE_UNRECOVERABLE_POLL: return URLErrorNetworkConnectionLost;

    // The answer is not one HTTP allows.
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_HTTP_RETURNED_ERROR:
    case CURLE_RANGE_ERROR:
    case CURLE_BAD_DOWNLOAD_RESUME:
    case CURLE_CHUNK_FAILED: return URLErrorBadServerResponse;
    case CURLE_FILESIZE_EXCEEDED: return URLErrorDataLengthExceedsMaximum;
    case CURLE_TOO_MANY_REDIRECTS: return URLErrorHTTPTooManyRedirects;
    case CURLE_BAD_CONTENT_ENCODING: return URLErrorCannotDecodeContentData;

    // The request's body could not be read, or not read again for a resend.
    case CURLE_READ_ERROR:
    case CURLE_SEND_FAIL_REWIND:
    case CURLE_UPLOAD_FAILED: return URLErrorRequestBodyStreamExhausted;
    case CURLE_FILE_COULDNT_READ_FILE: return URLErrorFileDoesNotExist;
    case CURLE_WRITE_ERROR: return URLErrorCannotWriteToFile;

    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_USE_SSL_FAILED: return URLErrorSecureConnectionFailed;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS: return URLErrorServerCertificateUntrusted;
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CLIENTCERT: return URLErrorClientCertificateRejected;
    case CURLE_LOGIN_DENIED:
    case CURLE_AUTH_ERROR: return URLErrorUserAuthenticationRequired;

    // Faults of the library or of its use, not of the network: the request
    // could not be made.
    case CURLE_FAILED_INIT:
    case CURLE_NOT_BUILT_IN:
    case CURLE_OUT_OF_MEMORY:
    case CURLE_FUNCTION_NOT_FOUND:
    case CURLE_BAD_FUNCTION_ARGUMENT:
    case CURLE_UNKNOWN_OPTION:
    case CURLE_SETOPT_OPTION_SYNTAX:
    case CURLE_RECURSIVE_API_CALL: return URLErrorCannotLoadFromNetwork;

    // Codes of protocols other than HTTP, which never reach libcurl here.
    default: return URLErrorUnsupportedURL;
  }
}

}  // namespace kit::netdetail
