// Certificates for tests, made with OpenSSL when first asked for: a test
// certificate authority and server identities for "localhost" and
// 127.0.0.1 signed by it, one self-signed, one expired and one for another
// host; on demand, self-signed identities around a given key and forged
// chains. Keys are P-256, so making them is quick.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "kit/net/certificate.h"

namespace kit::test {

// A certificate with its private key and the chain a server presents.
struct TestIdentity {
  Ref<Certificate> certificate;
  std::shared_ptr<EVP_PKEY> key;
  std::vector<Ref<Certificate>> chain;  // after the certificate, towards the root
  std::string keyPEM() const;
};

struct TestCertificates {
  Ref<Certificate> authority;
  std::shared_ptr<EVP_PKEY> authorityKey;
  TestIdentity localhost;    // CA-signed, DNS:localhost and IP:127.0.0.1
  TestIdentity selfSigned;   // the same names, self-signed
  TestIdentity expired;      // CA-signed, expired a day ago
  TestIdentity wrongHost;    // CA-signed, DNS:wrong.example only
  TestIdentity intermediateSigned;  // signed by an intermediate of the CA
  Ref<Certificate> intermediate;

  // Made once per process.
  static const TestCertificates& shared();
  // A fresh identity for `names` ("DNS:x", "IP:1.2.3.4") signed by the
  // test authority, valid from `notBeforeDays` to `notAfterDays` from now.
  TestIdentity issue(const std::string& commonName, const std::vector<std::string>& names, long notBeforeDays,
                     long notAfterDays) const;
  // A self-signed identity for `names`, valid for a year, around `key` (a
  // fresh key when nil).
  static TestIdentity selfSign(const std::string& commonName, const std::vector<std::string>& names,
                               std::shared_ptr<EVP_PKEY> key = nullptr);
  // A forged chain: a leaf for `names` that claims `claimedIssuer` as its
  // issuer (the issuer's subject as issuer name, its key identifier as
  // authority key identifier) but is signed by an unrelated key, presented
  // with the genuine `claimedIssuer` beside it. Anyone who has seen the
  // claimed issuer's (public) certificate can make one.
  static TestIdentity forge(const Ref<Certificate>& claimedIssuer, const std::vector<std::string>& names);
};

// Installs the test authority as an extra trust anchor for the lifetime
// of the object (kit::Trust's default evaluation then accepts its chains).
class ScopedTestAnchors {
 public:
  ScopedTestAnchors();
  ~ScopedTestAnchors();
  ScopedTestAnchors(const ScopedTestAnchors&) = delete;
  ScopedTestAnchors& operator=(const ScopedTestAnchors&) = delete;

 private:
  std::vector<Ref<Certificate>> previous_;
};

}  // namespace kit::test
