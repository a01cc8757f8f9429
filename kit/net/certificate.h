// X.509 certificates and public keys (OpenSSL), standing in for the
// platform's certificate and key references. A certificate is made from DER
// bytes and gives them back unchanged; a public key compares by its
// SubjectPublicKeyInfo bytes. Host names are matched against subject
// alternative names only: a common name names no host.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "kit/foundation/data.h"
#include "kit/foundation/object.h"

typedef struct x509_st X509;
typedef struct evp_pkey_st EVP_PKEY;

namespace kit {

class PublicKey : public Object {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  // Takes one reference of `key`.
  explicit PublicKey(EVP_PKEY* key);
  ~PublicKey() override;

  // The DER SubjectPublicKeyInfo.
  const Ref<Data>& SPKI() const { return spki_; }
  EVP_PKEY* key() const { return key_; }

  bool isEqual(const Object& other) const override;
  size_t hash() const override { return spki_->hash(); }
  Id copy() const override { return self(); }

 private:
  EVP_PKEY* key_;
  Ref<Data> spki_;
};

class Certificate : public Object {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  // nil when the bytes are not one DER certificate.
  static Ref<Certificate> fromDER(const Ref<Data>& der);
  static Ref<Certificate> fromDER(const uint8_t* bytes, size_t length);
  // Every certificate of a PEM text (empty when there is none).
  static std::vector<Ref<Certificate>> fromPEM(std::string_view pem);
  // Takes one reference of `cert`.
  explicit Certificate(X509* cert);
  ~Certificate() override;

  const Ref<Data>& DERData() const { return der_; }
  std::string PEM() const;
  X509* x509() const { return cert_; }
  // The subject's common name, or "".
  std::string subjectSummary() const;
  bool isSelfSigned() const;
  // Whether `issuer` is named as this certificate's issuer and its key
  // verifies this certificate's signature.
  bool isSignedBy(const Certificate& issuer) const;
  // Whether the subject alternative names cover `host`: a DNS name (a
  // wildcard only as the whole leftmost label), or for an IPv4 or IPv6
  // address an IP entry. The common name is never read.
  bool matchesHost(std::string_view host) const;
  // The OpenSSL host-check flags matchesHost() uses, for verifiers that
  // check the host themselves.
  static unsigned int hostCheckFlags();
  static bool isIPAddress(std::string_view host);
  // The key the certificate holds; nil when it cannot be read.
  Ref<PublicKey> publicKey() const;

  std::string description() const override;
  bool isEqual(const Object& other) const override;
  size_t hash() const override { return der_->hash(); }
  Id copy() const override { return self(); }

 private:
  X509* cert_;
  Ref<Data> der_;
};

}  // namespace kit
