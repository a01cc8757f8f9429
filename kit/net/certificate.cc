// Certificates and public keys over OpenSSL.
#include "kit/net/certificate.h"

#include <arpa/inet.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include "kit/foundation/format.h"
#include "kit/foundation/runtime.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(PublicKey, Object, "SecKey") {}
KIT_DEFINE_CLASS_NAMED(Certificate, Object, "SecCertificate") {}

PublicKey::PublicKey(EVP_PKEY* key) : key_(key) {
  unsigned char* out = nullptr;
  int n = i2d_PUBKEY(key_, &out);
  spki_ = n > 0 ? Data::make(out, static_cast<size_t>(n)) : Data::make();
  OPENSSL_free(out);
}

PublicKey::~PublicKey() { EVP_PKEY_free(key_); }

bool PublicKey::isEqual(const Object& other) const {
  auto* o = dynamic_cast<const PublicKey*>(&other);
  return o && !spki_->empty() && spki_->isEqualToData(*o->spki_);
}

Ref<Certificate> Certificate::fromDER(const Ref<Data>& der) {
  return der ? fromDER(der->bytes(), der->length()) : nullptr;
}

Ref<Certificate> Certificate::fromDER(const uint8_t* bytes, size_t length) {
  if (!bytes || length == 0 || length > (1u << 24)) return nullptr;
  const unsigned char* p = bytes;
  X509* cert = d2i_X509(nullptr, &p, static_cast<long>(length));
  if (!cert) return nullptr;
  if (p != bytes + length) {  // trailing bytes: not exactly one certificate
    X509_free(cert);
    return nullptr;
  }
  return std::make_shared<Certificate>(cert);
}

std::vector<Ref<Certificate>> Certificate::fromPEM(std::string_view pem) {
  std::vector<Ref<Certificate>> out;
  BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
  if (!bio) return out;
  while (X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr)) {
    out.push_back(std::make_shared<Certificate>(cert));
  }
  BIO_free(bio);
  return out;
}

Certificate::Certificate(X509* cert) : cert_(cert) {
  unsigned char* out = nullptr;
  int n = i2d_X509(cert_, &out);
  der_ = n > 0 ? Data::make(out, static_cast<size_t>(n)) : Data::make();
  OPENSSL_free(out);
}

Certificate::~Certificate() { X509_free(cert_); }

std::string Certificate::PEM() const {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(bio, cert_);
  char* text = nullptr;
  long n = BIO_get_mem_data(bio, &text);
  std::string out(text, static_cast<size_t>(n));
  BIO_free(bio);
  return out;
}

std::string Certificate::subjectSummary() const {
  char name[256] = {0};
  X509_NAME_get_text_by_NID(X509_get_subject_name(cert_), NID_commonName, name, sizeof name);
  return name;
}

bool Certificate::isSelfSigned() const { return X509_check_issued(cert_, cert_) == X509_V_OK; }

bool Certificate::isSignedBy(const Certificate& issuer) const {
  if (X509_NAME_cmp(X509_get_issuer_name(cert_), X509_get_subject_name(issuer.cert_)) != 0) return false;
  EVP_PKEY* key = X509_get0_pubkey(issuer.cert_);
  return key && X509_verify(cert_, key) == 1;
}

unsigned int Certificate::hostCheckFlags() { return X509_CHECK_FLAG_NEVER_CHECK_SUBJECT; }

bool Certificate::isIPAddress(std::string_view host) {
  std::string text(host);
  unsigned char buffer[16];
  return inet_pton(AF_INET, text.c_str(), buffer) == 1 || inet_pton(AF_INET6, text.c_str(), buffer) == 1;
}

bool Certificate::matchesHost(std::string_view host) const {
  if (host.empty() || host.find('\0') != std::string_view::npos) return false;
  if (isIPAddress(host)) return X509_check_ip_asc(cert_, std::string(host).c_str(), 0) == 1;
  return X509_check_host(cert_, host.data(), host.size(), hostCheckFlags(), nullptr) == 1;
}

Ref<PublicKey> Certificate::publicKey() const {
  EVP_PKEY* key = X509_get_pubkey(cert_);
  return key ? std::make_shared<PublicKey>(key) : nullptr;
}

std::string Certificate::description() const {
  return formatString("<cert(%p) s: %s>", static_cast<const void*>(this), subjectSummary());
}

bool Certificate::isEqual(const Object& other) const {
  auto* o = dynamic_cast<const Certificate*>(&other);
  return o && der_->isEqualToData(*o->der_);
}

}  // namespace kit
