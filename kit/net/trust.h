// Trust evaluation, standing in for the platform's trust and policy
// objects: a Trust holds a certificate chain (leaf first), the policies to
// evaluate it under (SSL server with a host name, or basic X.509) and
// optional anchors. Without anchors the system's anchors are used, plus any
// test anchors the process installed. A pinned anchor need not be
// self-signed: a chain that reaches it counts as trusted.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kit/foundation/error.h"
#include "kit/net/certificate.h"

namespace kit {

// The platform's evaluation results.
enum class TrustResultType : uint32_t {
  Invalid = 0,
  Proceed = 1,
  Deny = 3,
  Unspecified = 4,
  RecoverableTrustFailure = 5,
  FatalTrustFailure = 6,
  OtherError = 7,
};

// True for the results that mean "trusted": proceed and unspecified.
inline bool trustResultIsValid(TrustResultType r) {
  return r == TrustResultType::Proceed || r == TrustResultType::Unspecified;
}

class TrustPolicy : public Object {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  enum class Kind { BasicX509, SSL };
  // The SSL policy; with a host name, the leaf must name that host in its
  // subject alternative names (Certificate::matchesHost).
  static Ref<TrustPolicy> SSL(bool server, std::optional<std::string> host);
  static Ref<TrustPolicy> basicX509();

  TrustPolicy(Kind kind, bool server, std::optional<std::string> host)
      : kind_(kind), server_(server), host_(std::move(host)) {}
  Kind kind() const { return kind_; }
  bool server() const { return server_; }
  const std::optional<std::string>& host() const { return host_; }

 private:
  Kind kind_;
  bool server_;
  std::optional<std::string> host_;
};

class Trust : public Object {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  // nil without certificates.
  static Ref<Trust> create(std::vector<Ref<Certificate>> certificates, std::vector<Ref<TrustPolicy>> policies);

  Trust(std::vector<Ref<Certificate>> certificates, std::vector<Ref<TrustPolicy>> policies);

  void setPolicies(std::vector<Ref<TrustPolicy>> policies);
  std::vector<Ref<TrustPolicy>> policies() const;
  // Only these anchors are trusted (unless setAnchorCertificatesOnly(false)
  // adds the system's back).
  void setAnchorCertificates(std::vector<Ref<Certificate>> anchors);
  void setAnchorCertificatesOnly(bool only);
  // Evaluate as of this wall time (seconds since 1970) instead of now.
  void setVerifyDate(double wallSeconds);

  // Evaluates the chain; the result is kept for result().
  TrustResultType evaluate();
  // true when trusted; otherwise false and, when `error` is given, an error
  // in the URL error domain telling why (-1201 bad date, -1202 untrusted,
  // -1204 not yet valid).
  bool evaluateWithError(Ref<Error>* error = nullptr);
  TrustResultType result() const;
  // The OpenSSL verification error of the last evaluation (0 when none).
  int verifyError() const;
  std::string verifyErrorText() const;

  // The chain: before an evaluation, the certificates given; after one, the
  // leaf followed by each certificate whose key verifies the signature of
  // the one before it, as far as the evaluation built the chain (to the
  // anchor when it succeeded). A certificate that is only named as an
  // issuer, without a signature of its key, ends the chain, so whatever is
  // listed past the leaf vouches for it even when the evaluation failed.
  size_t certificateCount() const;
  Ref<Certificate> certificateAtIndex(size_t index) const;
  std::vector<Ref<Certificate>> certificates() const;
  // The leaf's public key; nil when it cannot be read.
  Ref<PublicKey> copyPublicKey() const;

  // Anchors that every evaluation without its own anchors trusts besides
  // the system's: test certificate authorities. Replaces the earlier set.
  static void setTestAnchorCertificates(std::vector<Ref<Certificate>> anchors);
  static std::vector<Ref<Certificate>> testAnchorCertificates();

  std::string description() const override;

 private:
  mutable std::mutex mutex_;
  std::vector<Ref<Certificate>> given_;
  std::vector<Ref<Certificate>> built_;
  std::vector<Ref<TrustPolicy>> policies_;
  std::vector<Ref<Certificate>> anchors_;
  bool hasAnchors_ = false;
  bool anchorsOnly_ = true;
  std::optional<double> verifyDate_;
  TrustResultType result_ = TrustResultType::Invalid;
  int verifyError_ = 0;
};

}  // namespace kit
