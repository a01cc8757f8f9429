// Certificates, public keys and trust evaluation on generated chains.
#include <gtest/gtest.h>

#include <ctime>

#include "kit/net/testing/test_certificates.h"
#include "kit/net/trust.h"

namespace kit {
namespace {

using test::TestCertificates;

TEST(Certificate, DERRoundTripAndRejectsGarbage) {
  const auto& certs = TestCertificates::shared();
  auto der = certs.localhost.certificate->DERData();
  auto again = Certificate::fromDER(der);
  ASSERT_TRUE(again);
  EXPECT_TRUE(again->DERData()->isEqualToData(*der));
  EXPECT_TRUE(isEqual(again, certs.localhost.certificate));
  EXPECT_EQ(again->subjectSummary(), "localhost");
  EXPECT_FALSE(Certificate::fromDER(Data::make("not a certificate")));
  EXPECT_FALSE(Certificate::fromDER(Data::make()));
  auto withTrailing = MutableData::make(der->vector());
  withTrailing->appendString("x");
  EXPECT_FALSE(Certificate::fromDER(withTrailing));
  auto parsed = Certificate::fromPEM(certs.authority->PEM() + certs.localhost.certificate->PEM());
  ASSERT_EQ(parsed.size(), 2u);
  EXPECT_TRUE(isEqual(parsed[1], certs.localhost.certificate));
  EXPECT_TRUE(certs.authority->isSelfSigned());
  EXPECT_FALSE(certs.localhost.certificate->isSelfSigned());
}

TEST(PublicKey, ComparesBySubjectPublicKeyInfo) {
  const auto& certs = TestCertificates::shared();
  auto key = certs.localhost.certificate->publicKey();
  ASSERT_TRUE(key);
  EXPECT_TRUE(isEqual(key, Certificate::fromDER(certs.localhost.certificate->DERData())->publicKey()));
  EXPECT_FALSE(isEqual(key, certs.selfSigned.certificate->publicKey()));
  // A trust answers with its leaf's key.
  auto trust = Trust::create({certs.localhost.certificate}, {TrustPolicy::basicX509()});
  EXPECT_TRUE(isEqual(trust->copyPublicKey(), key));
}

TEST(Trust, DefaultAnchorsIncludeTestAnchorsOnlyWhileInstalled) {
  const auto& certs = TestCertificates::shared();
  auto make = [&] {
    return Trust::create({certs.localhost.certificate}, {TrustPolicy::SSL(true, std::string("localhost"))});
  };
  EXPECT_FALSE(trustResultIsValid(make()->evaluate()));
  {
    test::ScopedTestAnchors anchors;
    auto trust = make();
    EXPECT_EQ(trust->evaluate(), TrustResultType::Unspecified);
    ASSERT_EQ(trust->certificateCount(), 2u) << "the built chain ends at the anchor";
    EXPECT_TRUE(isEqual(trust->certificateAtIndex(1), certs.authority));
  }
  EXPECT_FALSE(trustResultIsValid(make()->evaluate()));
}

TEST(Trust, HostNameIsCheckedAgainstDNSAndIPNames) {
  test::ScopedTestAnchors anchors;
  const auto& certs = TestCertificates::shared();
  auto check = [&](const std::string& host) {
    auto trust = Trust::create({certs.localhost.certificate}, {TrustPolicy::SSL(true, host)});
    return trustResultIsValid(trust->evaluate());
  };
  EXPECT_TRUE(check("localhost"));
  EXPECT_TRUE(check("127.0.0.1"));
  EXPECT_FALSE(check("127.0.0.2"));
  EXPECT_FALSE(check("example.com"));
  auto basic = Trust::create({certs.wrongHost.certificate}, {TrustPolicy::basicX509()});
  EXPECT_TRUE(trustResultIsValid(basic->evaluate())) << "the basic policy checks no host";
}

TEST(Trust, ErrorsTellExpiredFromUntrusted) {
  test::ScopedTestAnchors anchors;
  const auto& certs = TestCertificates::shared();
  Ref<Error> error;
  auto expired = Trust::create({certs.expired.certificate}, {TrustPolicy::SSL(true, std::string("localhost"))});
  EXPECT_FALSE(expired->evaluateWithError(&error));
  EXPECT_EQ(error->code(), URLErrorServerCertificateHasBadDate);
  EXPECT_EQ(expired->result(), TrustResultType::RecoverableTrustFailure);
  auto self = Trust::create({certs.selfSigned.certificate}, {TrustPolicy::SSL(true, std::string("localhost"))});
  EXPECT_FALSE(self->evaluateWithError(&error));
  EXPECT_EQ(error->code(), URLErrorServerCertificateUntrusted);
  // Evaluated as of a date inside its validity, the expired one is fine.
  expired->setVerifyDate(static_cast<double>(time(nullptr)) - 10 * 86400.0);
  EXPECT_TRUE(expired->evaluateWithError(&error));
}

TEST(Trust, PinnedAnchorsNeedNotBeSelfSigned) {
  const auto& certs = TestCertificates::shared();
  // The intermediate alone as anchor: the chain reaches it, so it holds.
  auto trust = Trust::create({certs.intermediateSigned.certificate, certs.intermediate},
                             {TrustPolicy::SSL(true, std::string("localhost"))});
  trust->setAnchorCertificates({certs.intermediate});
  EXPECT_TRUE(trustResultIsValid(trust->evaluate()));
  // The leaf itself pinned as anchor.
  auto leafOnly = Trust::create({certs.localhost.certificate}, {TrustPolicy::SSL(true, std::string("localhost"))});
  leafOnly->setAnchorCertificates({certs.localhost.certificate});
  EXPECT_TRUE(trustResultIsValid(leafOnly->evaluate()));
  // Anchors replace the defaults: the test authority no longer counts.
  test::ScopedTestAnchors anchors;
  auto other = Trust::create({certs.localhost.certificate}, {TrustPolicy::SSL(true, std::string("localhost"))});
  other->setAnchorCertificates({certs.selfSigned.certificate});
  EXPECT_FALSE(trustResultIsValid(other->evaluate()));
  other->setAnchorCertificatesOnly(false);
  EXPECT_TRUE(trustResultIsValid(other->evaluate()));
}

TEST(Trust, CreateNeedsCertificates) { EXPECT_FALSE(Trust::create({}, {TrustPolicy::basicX509()})); }

}  // namespace
}  // namespace kit
