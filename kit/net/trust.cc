// Chain evaluation with OpenSSL's verifier.
#include "kit/net/trust.h"

#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include "kit/foundation/format.h"
#include "kit/foundation/no_destructor.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/values.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(TrustPolicy, Object, "SecPolicy") {}
KIT_DEFINE_CLASS_NAMED(Trust, Object, "SecTrust") {}

Ref<TrustPolicy> TrustPolicy::SSL(bool server, std::optional<std::string> host) {
  if (host && host->empty()) host.reset();
  return std::make_shared<TrustPolicy>(Kind::SSL, server, std::move(host));
}

Ref<TrustPolicy> TrustPolicy::basicX509() { return std::make_shared<TrustPolicy>(Kind::BasicX509, false, std::nullopt); }

namespace {

// The system's anchors plus the test anchors, built once per change of the
// test anchors and shared by every evaluation that uses default anchors.
struct DefaultStore {
  std::mutex mutex;
  X509_STORE* store = nullptr;
  std::vector<Ref<Certificate>> testAnchors;

  X509_STORE* acquire() {
    std::lock_guard lock(mutex);
    if (!store) {
      store = X509_STORE_new();
      X509_STORE_set_default_paths(store);
      for (const auto& c : testAnchors) X509_STORE_add_cert(store, c->x509());
    }
    X509_STORE_up_ref(store);
    return store;
  }
  void reset(std::vector<Ref<Certificate>> anchors) {
    std::lock_guard lock(mutex);
    testAnchors = std::move(anchors);
    if (store) X509_STORE_free(store);
    store = nullptr;
  }
  ~DefaultStore() {
    if (store) X509_STORE_free(store);
  }
};

DefaultStore& defaultStore() {
  // Never destroyed: a handshake on a session's thread may still ask for
  // it while the process ends.
  static NoDestructor<DefaultStore> instance;
  return *instance;
}

}  // namespace

Ref<Trust> Trust::create(std::vector<Ref<Certificate>> certificates, std::vector<Ref<TrustPolicy>> policies) {
  std::erase(certificates, nullptr);
  if (certificates.empty()) return nullptr;
  return std::make_shared<Trust>(std::move(certificates), std::move(policies));
}

Trust::Trust(std::vector<Ref<Certificate>> certificates, std::vector<Ref<TrustPolicy>> policies)
    : given_(std::move(certificates)), policies_(std::move(policies)) {}

void Trust::setPolicies(std::vector<Ref<TrustPolicy>> policies) {
  std::lock_guard lock(mutex_);
  policies_ = std::move(policies);
  result_ = TrustResultType::Invalid;
}

std::vector<Ref<TrustPolicy>> Trust::policies() const {
  std::lock_guard lock(mutex_);
  return policies_;
}

void Trust::setAnchorCertificates(std::vector<Ref<Certificate>> anchors) {
  std::lock_guard lock(mutex_);
  std::erase(anchors, nullptr);
  anchors_ = std::move(anchors);
  hasAnchors_ = true;
  result_ = TrustResultType::Invalid;
}

void Trust::setAnchorCertificatesOnly(bool only) {
  std::lock_guard lock(mutex_);
  anchorsOnly_ = only;
}

void Trust::setVerifyDate(double wallSeconds) {
  std::lock_guard lock(mutex_);
  verifyDate_ = wallSeconds;
}

TrustResultType Trust::evaluate() {
  std::lock_guard lock(mutex_);
  X509_STORE* store = nullptr;
  bool partialChain = false;
  if (!hasAnchors_) {
    store = defaultStore().acquire();
  } else {
    store = X509_STORE_new();
    if (!anchorsOnly_) {
      X509_STORE_set_default_paths(store);
      for (const auto& a : testAnchorCertificates()) X509_STORE_add_cert(store, a->x509());
    }
    for (const auto& a : anchors_) X509_STORE_add_cert(store, a->x509());
    partialChain = true;
  }
  STACK_OF(X509)* untrusted = sk_X509_new_null();
  for (size_t i = 1; i < given_.size(); ++i) sk_X509_push(untrusted, given_[i]->x509());
  X509_STORE_CTX* ctx = X509_STORE_CTX_new();
  TrustResultType result = TrustResultType::OtherError;
  built_.clear();
  verifyError_ = 0;
  if (ctx && X509_STORE_CTX_init(ctx, store, given_[0]->x509(), untrusted) == 1) {
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(ctx);
    if (partialChain) X509_VERIFY_PARAM_set_flags(param, X509_V_FLAG_PARTIAL_CHAIN);
    if (verifyDate_) X509_VERIFY_PARAM_set_time(param, static_cast<time_t>(*verifyDate_));
    for (const auto& policy : policies_) {
      if (!policy || policy->kind() != TrustPolicy::Kind::SSL) continue;
      X509_STORE_CTX_set_purpose(ctx, policy->server() ? X509_PURPOSE_SSL_SERVER : X509_PURPOSE_SSL_CLIENT);
      if (const auto& host = policy->host()) {
        if (Certificate::isIPAddress(*host)) {
          X509_VERIFY_PARAM_set1_ip_asc(param, host->c_str());
        } else {
          X509_VERIFY_PARAM_set_hostflags(param, Certificate::hostCheckFlags());
          X509_VERIFY_PARAM_set1_host(param, host->c_str(), host->size());
        }
      }
    }
    int ok = X509_verify_cert(ctx);
    verifyError_ = X509_STORE_CTX_get_error(ctx);
    // OpenSSL assembles the chain by names and key identifiers and checks
    // signatures afterwards; when it stops at an earlier error the chain
    // may hold certificates that merely claim to be issuers. Keep the leaf
    // and then only what each signature links.
    if (STACK_OF(X509)* chain = X509_STORE_CTX_get1_chain(ctx)) {
      for (int i = 0; i < sk_X509_num(chain); ++i) {
        X509* c = sk_X509_value(chain, i);
        X509_up_ref(c);
        auto certificate = std::make_shared<Certificate>(c);
        if (!built_.empty() && !built_.back()->isSignedBy(*certificate)) break;
        built_.push_back(std::move(certificate));
      }
      sk_X509_pop_free(chain, X509_free);
    }
    result = ok == 1 ? TrustResultType::Unspecified : TrustResultType::RecoverableTrustFailure;
  }
  if (built_.empty()) built_.push_back(given_.front());
  if (ctx) X509_STORE_CTX_free(ctx);
  sk_X509_free(untrusted);
  X509_STORE_free(store);
  result_ = result;
  return result;
}

bool Trust::evaluateWithError(Ref<Error>* error) {
  TrustResultType result = evaluate();
  if (trustResultIsValid(result)) {
    if (error) *error = nullptr;
    return true;
  }
  if (error) {
    long code = URLErrorServerCertificateUntrusted;
    int verify = this->verifyError();
    if (verify == X509_V_ERR_CERT_HAS_EXPIRED) code = URLErrorServerCertificateHasBadDate;
    if (verify == X509_V_ERR_CERT_NOT_YET_VALID) code = URLErrorServerCertificateNotYetValid;
    *error = Error::make(URLErrorDomain, code,
                         dict({{LocalizedDescriptionKey, "The certificate for this server is invalid."},
                               {LocalizedFailureReasonErrorKey, verifyErrorText()}}));
  }
  return false;
}

TrustResultType Trust::result() const {
  std::lock_guard lock(mutex_);
  return result_;
}

int Trust::verifyError() const {
  std::lock_guard lock(mutex_);
  return verifyError_;
}

std::string Trust::verifyErrorText() const {
  int code = verifyError();
  return code ? X509_verify_cert_error_string(code) : "ok";
}

size_t Trust::certificateCount() const {
  std::lock_guard lock(mutex_);
  return built_.empty() ? given_.size() : built_.size();
}

Ref<Certificate> Trust::certificateAtIndex(size_t index) const {
  std::lock_guard lock(mutex_);
  const auto& list = built_.empty() ? given_ : built_;
  return index < list.size() ? list[index] : nullptr;
}

std::vector<Ref<Certificate>> Trust::certificates() const {
  std::lock_guard lock(mutex_);
  return built_.empty() ? given_ : built_;
}

Ref<PublicKey> Trust::copyPublicKey() const {
  std::lock_guard lock(mutex_);
  return given_.front()->publicKey();
}

void Trust::setTestAnchorCertificates(std::vector<Ref<Certificate>> anchors) {
  std::erase(anchors, nullptr);
  defaultStore().reset(std::move(anchors));
}

std::vector<Ref<Certificate>> Trust::testAnchorCertificates() {
  auto& store = defaultStore();
  std::lock_guard lock(store.mutex);
  return store.testAnchors;
}

std::string Trust::description() const {
  std::lock_guard lock(mutex_);
  return formatString("<SecTrust %p: %lu certificates, result %u>", static_cast<const void*>(this),
                      static_cast<unsigned long>(given_.size()),
                      static_cast<unsigned>(result_));
}

}  // namespace kit
