// The HTTP client's TLS trust policy: whether to trust a server's
// certificate chain, by the platform's evaluation with or without host-name
// checking, or by pinning certificates or public keys shipped with the
// application.
//
// Public-key pinning counts a certificate only when every signature from
// the leaf up to it verifies, so a server cannot pass by presenting a
// pinned (public) certificate beside a leaf that merely names it as issuer.
// With domain validation, a leaf whose subject alternative names do not
// cover the host is refused in every mode, invalid certificates allowed or
// not. Pinned data that is not a DER certificate is skipped.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "kit/foundation/bundle.h"
#include "kit/foundation/keyed_archiver.h"
#include "kit/foundation/runtime.h"
#include "kit/foundation/set.h"
#include "kit/net/trust.h"

enum class SDPSSLPinningMode : uint64_t {
  None = 0,
  PublicKey = 1,
  Certificate = 2,
};

class SDPSecurityPolicy : public kit::Object, public kit::Coding {
  KIT_OBJECT(SDPSecurityPolicy)

 public:
  // The contents of every ".cer" resource at the top of the bundle.
  static kit::Ref<kit::Set> certificatesInBundle(const kit::Ref<kit::Bundle>& bundle);
  // The main bundle's certificates, read once per process.
  static kit::Ref<kit::Set> defaultPinnedCertificates();
  // No pinning; invalid certificates refused; host names validated.
  static kit::Ref<SDPSecurityPolicy> defaultPolicy();
  static kit::Ref<SDPSecurityPolicy> policyWithPinningMode(SDPSSLPinningMode mode);
  static kit::Ref<SDPSecurityPolicy> policyWithPinningMode(SDPSSLPinningMode mode,
                                                           const kit::Ref<kit::Set>& pinnedCertificates);

  SDPSecurityPolicy() = default;

  SDPSSLPinningMode SSLPinningMode = SDPSSLPinningMode::None;
  bool allowInvalidCertificates = false;
  bool validatesDomainName = true;

  // DER certificates to pin against; setting them recomputes the keys.
  const kit::Ref<kit::Set>& pinnedCertificates() const { return pinnedCertificates_; }
  void setPinnedCertificates(const kit::Ref<kit::Set>& certificates);
  // The public keys of the pinned certificates (a set of kit::PublicKey).
  const kit::Ref<kit::Set>& pinnedPublicKeys() const { return pinnedPublicKeys_; }

  // Whether to trust the chain in `serverTrust` for `domain` (none: no host
  // check). Sets the trust's policies and, for certificate pinning, its
  // anchors.
  bool evaluateServerTrust(const kit::Ref<kit::Trust>& serverTrust, const std::optional<std::string>& domain);

  kit::Id copy() const override;
  void encodeWithCoder(kit::KeyedArchiver& coder) const override;
  bool initWithCoder(kit::KeyedUnarchiver& coder) override;

 private:
  kit::Ref<kit::Set> pinnedCertificates_;
  kit::Ref<kit::Set> pinnedPublicKeys_;
};
