// The TLS trust policy.
#include "net/security_policy.h"

#include "kit/foundation/array.h"
#include "kit/foundation/data_file.h"
#include "kit/foundation/log.h"
#include "kit/foundation/no_destructor.h"
#include "kit/net/certificate.h"

namespace {

// The public key of one certificate (nil when it has none that can be read).
kit::Ref<kit::PublicKey> publicKeyOf(const kit::Ref<kit::Certificate>& certificate) {
  return certificate ? certificate->publicKey() : nullptr;
}

std::vector<kit::Ref<kit::Certificate>> certificatesFrom(const kit::Ref<kit::Set>& data) {
  std::vector<kit::Ref<kit::Certificate>> certificates;
  if (!data) return certificates;
  for (const auto& entry : data->allObjects()->objects()) {
    if (auto der = kit::as<kit::Data>(entry)) {
      if (auto certificate = kit::Certificate::fromDER(der)) certificates.push_back(certificate);
    }
  }
  return certificates;
}

}  // namespace

KIT_DEFINE_CLASS(SDPSecurityPolicy, kit::Object) {}

kit::Ref<kit::Set> SDPSecurityPolicy::certificatesInBundle(const kit::Ref<kit::Bundle>& bundle) {
  std::vector<kit::Id> certificates;
  if (bundle) {
    for (const auto& path : bundle->pathsForResourcesOfType("cer", ".")->objects()) {
      if (auto data = kit::dataWithContentsOfFile(kit::describe(path))) certificates.push_back(data);
    }
  }
  return kit::Set::make(certificates);
}

kit::Ref<kit::Set> SDPSecurityPolicy::defaultPinnedCertificates() {
  static const kit::NoDestructor<kit::Ref<kit::Set>> certificates(certificatesInBundle(kit::Bundle::main()));
  return *certificates;
}

kit::Ref<SDPSecurityPolicy> SDPSecurityPolicy::defaultPolicy() { return kit::make<SDPSecurityPolicy>(); }

kit::Ref<SDPSecurityPolicy> SDPSecurityPolicy::policyWithPinningMode(SDPSSLPinningMode mode) {
  return policyWithPinningMode(mode, defaultPinnedCertificates());
}

kit::Ref<SDPSecurityPolicy> SDPSecurityPolicy::policyWithPinningMode(SDPSSLPinningMode mode,
                                                                     const kit::Ref<kit::Set>& pinnedCertificates) {
  auto policy = kit::make<SDPSecurityPolicy>();
  policy->SSLPinningMode = mode;
  policy->setPinnedCertificates(pinnedCertificates);
  return policy;
}

void SDPSecurityPolicy::setPinnedCertificates(const kit::Ref<kit::Set>& certificates) {
  pinnedCertificates_ = certificates;
  if (!certificates) {
    pinnedPublicKeys_ = nullptr;
    return;
  }
  std::vector<kit::Id> keys;
  for (const auto& certificate : certificatesFrom(certificates)) {
    if (auto key = publicKeyOf(certificate)) keys.push_back(key);
  }
  pinnedPublicKeys_ = kit::Set::make(keys);
}

bool SDPSecurityPolicy::evaluateServerTrust(const kit::Ref<kit::Trust>& serverTrust,
                                            const std::optional<std::string>& domain) {
  const bool noPins = !pinnedCertificates_ || pinnedCertificates_->count() == 0;
  if (domain && allowInvalidCertificates && validatesDomainName &&
      (SSLPinningMode == SDPSSLPinningMode::None || noPins)) {
    kit::log("In order to validate a domain name for self signed certificates, you MUST use pinning.");
    return false;
  }
  if (!serverTrust) return false;

  serverTrust->setPolicies({validatesDomainName ? kit::TrustPolicy::SSL(true, domain) : kit::TrustPolicy::basicX509()});
  const bool valid = kit::trustResultIsValid(serverTrust->evaluate());
  // A failed evaluation may have stopped before looking at the host, and
  // allowing invalid certificates must not drop the host check asked for.
  if (validatesDomainName && domain && !domain->empty()) {
    auto leaf = serverTrust->certificateAtIndex(0);
    if (!leaf || !leaf->matchesHost(*domain)) return false;
  }

  if (SSLPinningMode == SDPSSLPinningMode::None) return allowInvalidCertificates || valid;
  if (!valid && !allowInvalidCertificates) return false;

  switch (SSLPinningMode) {
    case SDPSSLPinningMode::Certificate: {
      serverTrust->setAnchorCertificates(certificatesFrom(pinnedCertificates_));
      if (!kit::trustResultIsValid(serverTrust->evaluate())) return false;
      auto chain = serverTrust->certificates();
      for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (pinnedCertificates_->containsObject((*it)->DERData())) return true;
      }
      return false;
    }
    case SDPSSLPinningMode::PublicKey: {
      // The leaf and the certificates whose signatures link it to them; a
      // certificate presented beside the chain, or only named as an
      // issuer, carries no weight.
      size_t matches = 0;
      for (const auto& certificate : serverTrust->certificates()) {
        auto key = publicKeyOf(certificate);
        if (key && pinnedPublicKeys_ && pinnedPublicKeys_->containsObject(key)) ++matches;
      }
      return matches > 0;
    }
    default: return false;
  }
}

kit::Id SDPSecurityPolicy::copy() const {
  auto policy = kit::make<SDPSecurityPolicy>();
  policy->SSLPinningMode = SSLPinningMode;
  policy->allowInvalidCertificates = allowInvalidCertificates;
  policy->validatesDomainName = validatesDomainName;
  policy->setPinnedCertificates(pinnedCertificates_ ? kit::as<kit::Set>(pinnedCertificates_->copy()) : nullptr);
  return policy;
}

void SDPSecurityPolicy::encodeWithCoder(kit::KeyedArchiver& coder) const {
  coder.encodeObject(kit::Number::fromUnsignedLongLong(static_cast<uint64_t>(SSLPinningMode)), "SSLPinningMode");
  coder.encodeBool(allowInvalidCertificates, "allowInvalidCertificates");
  coder.encodeBool(validatesDomainName, "validatesDomainName");
  if (pinnedCertificates_) coder.encodeObject(pinnedCertificates_->allObjects(), "pinnedCertificates");
}

bool SDPSecurityPolicy::initWithCoder(kit::KeyedUnarchiver& coder) {
  auto mode = kit::as<kit::Number>(coder.decodeObjectForKey("SSLPinningMode"));
  SSLPinningMode = static_cast<SDPSSLPinningMode>(mode ? mode->unsignedLongLongValue() : 0);
  allowInvalidCertificates = coder.decodeBoolForKey("allowInvalidCertificates");
  validatesDomainName =
      coder.containsValueForKey("validatesDomainName") ? coder.decodeBoolForKey("validatesDomainName") : true;
  if (auto certificates = kit::as<kit::Array>(coder.decodeObjectForKey("pinnedCertificates"))) {
    setPinnedCertificates(kit::Set::setWithArray(
        *certificates->filtered([](const kit::Id& entry) { return kit::isKind<kit::Data>(entry); })));
  }
  return true;
}
