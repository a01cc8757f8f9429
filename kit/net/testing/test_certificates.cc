// Generating the test certificates with OpenSSL.
#include "kit/net/testing/test_certificates.h"

#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <stdexcept>

#include "kit/net/trust.h"

namespace kit::test {

namespace {

std::shared_ptr<EVP_PKEY> makeKey() {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  if (!key) throw std::runtime_error("cannot make a test key");
  return std::shared_ptr<EVP_PKEY>(key, EVP_PKEY_free);
}

void addExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
  if (!ext) throw std::runtime_error("bad test certificate extension " + value);
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

std::atomic<long> serial{1000};

// `issuer` nil: self-signed.
Ref<Certificate> makeCertificate(const std::string& commonName, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey,
                                 bool authority, const std::vector<std::string>& names, long notBeforeDays,
                                 long notAfterDays) {
  X509* cert = X509_new();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), serial++);
  X509_gmtime_adj(X509_getm_notBefore(cert), notBeforeDays * 86400L);
  X509_gmtime_adj(X509_getm_notAfter(cert), notAfterDays * 86400L);
  X509_set_pubkey(cert, key);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("kit tests"), -1, -1, 0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName.c_str()), -1,
                             -1, 0);
  X509_set_issuer_name(cert, issuer ? X509_get_subject_name(issuer) : name);
  X509* issuerCert = issuer ? issuer : cert;
  if (authority) {
    addExtension(cert, issuerCert, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(cert, issuerCert, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    addExtension(cert, issuerCert, NID_basic_constraints, "critical,CA:FALSE");
    addExtension(cert, issuerCert, NID_ext_key_usage, "serverAuth");
  }
  addExtension(cert, issuerCert, NID_subject_key_identifier, "hash");
  if (issuer) addExtension(cert, issuerCert, NID_authority_key_identifier, "keyid");
  if (!names.empty()) {
    std::string san;
    for (const auto& n : names) san += (san.empty() ? "" : ",") + n;
    addExtension(cert, issuerCert, NID_subject_alt_name, san);
  }
  if (!X509_sign(cert, issuerKey ? issuerKey : key, EVP_sha256())) {
    X509_free(cert);
    throw std::runtime_error("cannot sign a test certificate");
  }
  return std::make_shared<Certificate>(cert);
}

}  // namespace

std::string TestIdentity::keyPEM() const {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
  char* text = nullptr;
  long n = BIO_get_mem_data(bio, &text);
  std::string out(text, static_cast<size_t>(n));
  BIO_free(bio);
  return out;
}

TestIdentity TestCertificates::issue(const std::string& commonName, const std::vector<std::string>& names,
                                     long notBeforeDays, long notAfterDays) const {
  TestIdentity id;
  id.key = makeKey();
  id.certificate = makeCertificate(commonName, id.key.get(), authority->x509(), authorityKey.get(), false, names,
                                   notBeforeDays, notAfterDays);
  return id;
}

TestIdentity TestCertificates::selfSign(const std::string& commonName, const std::vector<std::string>& names,
                                        std::shared_ptr<EVP_PKEY> key) {
  TestIdentity id;
  id.key = key ? std::move(key) : makeKey();
  id.certificate = makeCertificate(commonName, id.key.get(), nullptr, nullptr, false, names, -1, 365);
  return id;
}

TestIdentity TestCertificates::forge(const Ref<Certificate>& claimedIssuer, const std::vector<std::string>& names) {
  TestIdentity id;
  id.key = makeKey();
  auto forgerKey = makeKey();
  id.certificate =
      makeCertificate("localhost", id.key.get(), claimedIssuer->x509(), forgerKey.get(), false, names, -1, 365);
  id.chain = {claimedIssuer};
  return id;
}

const TestCertificates& TestCertificates::shared() {
  static const TestCertificates* certs = [] {
    auto* c = new TestCertificates();
    c->authorityKey = makeKey();
    c->authority = makeCertificate("kit Test Root CA", c->authorityKey.get(), nullptr, nullptr, true, {}, -3650, 3650);
    std::vector<std::string> local = {"DNS:localhost", "IP:127.0.0.1"};
    c->localhost = c->issue("localhost", local, -1, 365);
    c->expired = c->issue("localhost", local, -30, -1);
    c->wrongHost = c->issue("wrong.example", {"DNS:wrong.example"}, -1, 365);
    c->selfSigned = selfSign("localhost", local);
    auto intermediateKey = makeKey();
    c->intermediate = makeCertificate("kit Test Intermediate CA", intermediateKey.get(), c->authority->x509(),
                                      c->authorityKey.get(), true, {}, -3650, 3650);
    c->intermediateSigned.key = makeKey();
    c->intermediateSigned.certificate = makeCertificate("localhost", c->intermediateSigned.key.get(),
                                                        c->intermediate->x509(), intermediateKey.get(), false, local,
                                                        -1, 365);
    c->intermediateSigned.chain = {c->intermediate};
    return c;
  }();
  return *certs;
}

ScopedTestAnchors::ScopedTestAnchors() : previous_(Trust::testAnchorCertificates()) {
  Trust::setTestAnchorCertificates({TestCertificates::shared().authority});
}

ScopedTestAnchors::~ScopedTestAnchors() { Trust::setTestAnchorCertificates(previous_); }

}  // namespace kit::test
