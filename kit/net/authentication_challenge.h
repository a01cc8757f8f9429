// Authentication challenges: the protection space (host, port, protocol,
// realm, method and, for TLS, the server's trust), credentials (user and
// password, or a trust) and the challenge a session hands its delegate,
// with the dispositions the delegate answers with.
#pragma once

#include <string>

#include "kit/foundation/error.h"
#include "kit/net/trust.h"
#include "kit/net/url_response.h"

namespace kit {

inline constexpr const char* URLAuthenticationMethodDefault = "NSURLAuthenticationMethodDefault";
inline constexpr const char* URLAuthenticationMethodHTTPBasic = "NSURLAuthenticationMethodHTTPBasic";
inline constexpr const char* URLAuthenticationMethodHTTPDigest = "NSURLAuthenticationMethodHTTPDigest";
inline constexpr const char* URLAuthenticationMethodServerTrust = "NSURLAuthenticationMethodServerTrust";
inline constexpr const char* URLAuthenticationMethodClientCertificate = "NSURLAuthenticationMethodClientCertificate";

enum class URLSessionAuthChallengeDisposition : long {
  UseCredential = 0,
  PerformDefaultHandling = 1,
  CancelAuthenticationChallenge = 2,
  RejectProtectionSpace = 3,
};

enum class URLCredentialPersistence : unsigned long { None = 0, ForSession = 1, Permanent = 2, Synchronizable = 3 };

class URLProtectionSpace : public Object {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  URLProtectionSpace(std::string host, int port, std::string protocol, std::string realm, std::string method,
                     Ref<Trust> serverTrust = nullptr)
      : host_(std::move(host)),
        port_(port),
        protocol_(std::move(protocol)),
        realm_(std::move(realm)),
        method_(std::move(method)),
        trust_(std::move(serverTrust)) {}

  const std::string& host() const { return host_; }
  int port() const { return port_; }
  const std::string& protocol() const { return protocol_; }  // "http" or "https"
  const std::string& realm() const { return realm_; }
  const std::string& authenticationMethod() const { return method_; }
  // The trust of the presented chain, for the server-trust method.
  const Ref<Trust>& serverTrust() const { return trust_; }
  bool receivesCredentialSecurely() const { return protocol_ == "https"; }

  std::string description() const override;

 private:
  std::string host_;
  int port_;
  std::string protocol_;
  std::string realm_;
  std::string method_;
  Ref<Trust> trust_;
};

class URLCredential : public Object {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  static Ref<URLCredential> credentialWithUser(std::string user, std::string password,
                                               URLCredentialPersistence persistence);
  static Ref<URLCredential> credentialForTrust(Ref<Trust> trust);

  const std::string& user() const { return user_; }
  const std::string& password() const { return password_; }
  bool hasPassword() const { return hasPassword_; }
  URLCredentialPersistence persistence() const { return persistence_; }
  const Ref<Trust>& trust() const { return trust_; }

 private:
  std::string user_;
  std::string password_;
  bool hasPassword_ = false;
  URLCredentialPersistence persistence_ = URLCredentialPersistence::None;
  Ref<Trust> trust_;
};

class URLAuthenticationChallenge : public Object {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  URLAuthenticationChallenge(Ref<URLProtectionSpace> space, Ref<URLCredential> proposed, long previousFailureCount,
                             Ref<URLResponse> failureResponse, Ref<Error> error)
      : space_(std::move(space)),
        proposed_(std::move(proposed)),
        failures_(previousFailureCount),
        failureResponse_(std::move(failureResponse)),
        error_(std::move(error)) {}

  const Ref<URLProtectionSpace>& protectionSpace() const { return space_; }
  const Ref<URLCredential>& proposedCredential() const { return proposed_; }
  long previousFailureCount() const { return failures_; }
  const Ref<URLResponse>& failureResponse() const { return failureResponse_; }
  const Ref<Error>& error() const { return error_; }

 private:
  Ref<URLProtectionSpace> space_;
  Ref<URLCredential> proposed_;
  long failures_;
  Ref<URLResponse> failureResponse_;
  Ref<Error> error_;
};

}  // namespace kit
