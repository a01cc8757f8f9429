// Certificates, public keys and trust evaluation on generated chains.
#include <gtest/gtest.h>

#include <ctime>
#include <optional>
#include <tuple>

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

TEST(Trust, HostNameIsCheckedAgainstSubjectAlternativeNamesOnly) {
  test::ScopedTestAnchors anchors;
  const auto& certs = TestCertificates::shared();
  auto check = [&](const Ref<Certificate>& leaf, const std::string& host) {
    auto trust = Trust::create({leaf}, {TrustPolicy::SSL(true, host)});
    return trustResultIsValid(trust->evaluate());
  };
  EXPECT_TRUE(check(certs.localhost.certificate, "localhost"));
  EXPECT_TRUE(check(certs.localhost.certificate, "LocalHost"));
  EXPECT_TRUE(check(certs.localhost.certificate, "127.0.0.1"));
  EXPECT_FALSE(check(certs.localhost.certificate, "127.0.0.2"));
  EXPECT_FALSE(check(certs.localhost.certificate, "example.com"));
  EXPECT_TRUE(check(certs.wrongHost.certificate, "wrong.example"));
  // A common name is not a host name: without subject alternative names a
  // certificate names no host at all.
  auto commonNameOnly = certs.issue("localhost", {}, -1, 365).certificate;
  EXPECT_FALSE(check(commonNameOnly, "localhost"));
  auto ipInCommonName = certs.issue("127.0.0.1", {}, -1, 365).certificate;
  EXPECT_FALSE(check(ipInCommonName, "127.0.0.1"));
  auto basic = Trust::create({certs.wrongHost.certificate}, {TrustPolicy::basicX509()});
  EXPECT_TRUE(trustResultIsValid(basic->evaluate())) << "the basic policy checks no host";
  auto basicCommonNameOnly = Trust::create({commonNameOnly}, {TrustPolicy::basicX509()});
  EXPECT_TRUE(trustResultIsValid(basicCommonNameOnly->evaluate()));

  // The same rule for a leaf checked on its own, whatever its issuer.
  auto wildcard = certs.issue("*.example.test", {"DNS:*.example.test", "IP:::1"}, -1, 365).certificate;
  for (const auto& [leaf, host, matches] : std::vector<std::tuple<Ref<Certificate>, std::string, bool>>{
           {certs.selfSigned.certificate, "localhost", true},
           {certs.selfSigned.certificate, "127.0.0.1", true},
           {certs.selfSigned.certificate, "LOCALHOST", true},
           {certs.selfSigned.certificate, "localhost.example", false},
           {certs.selfSigned.certificate, "", false},
           {certs.wrongHost.certificate, "localhost", false},
           {commonNameOnly, "localhost", false},
           {ipInCommonName, "127.0.0.1", false},
           {wildcard, "a.example.test", true},
           {wildcard, "example.test", false},
           {wildcard, "a.b.example.test", false},
           {wildcard, "::1", true},
           {wildcard, "0:0:0:0:0:0:0:1", true},
           {wildcard, "127.0.0.1", false},
       }) {
    EXPECT_EQ(leaf->matchesHost(host), matches) << leaf->subjectSummary() << " for \"" << host << '"';
  }
}

// After an evaluation, failed or not, the chain holds the leaf and then
// each certificate whose key verifies the signature of the one before it.
// A certificate that is only named as issuer ends the chain.
TEST(Trust, ChainAfterEvaluationFollowsVerifiedSignaturesOnly) {
  const auto& certs = TestCertificates::shared();
  const std::vector<std::string> local = {"DNS:localhost", "IP:127.0.0.1"};
  auto chainOf = [](const Ref<Trust>& trust) {
    std::vector<std::string> subjects;
    for (const auto& c : trust->certificates()) subjects.push_back(c->subjectSummary());
    return subjects;
  };
  for (bool anchored : {false, true}) {
    SCOPED_TRACE(anchored ? "test authority trusted" : "no test authority");
    std::optional<test::ScopedTestAnchors> anchors;
    if (anchored) anchors.emplace();
    for (const auto& claimed : {certs.authority, certs.selfSigned.certificate, certs.intermediate}) {
      SCOPED_TRACE(claimed->subjectSummary());
      auto forged = TestCertificates::forge(claimed, local);
      auto trust = Trust::create({forged.certificate, claimed}, {TrustPolicy::basicX509()});
      EXPECT_FALSE(trustResultIsValid(trust->evaluate()));
      ASSERT_EQ(trust->certificateCount(), 1u);
      EXPECT_TRUE(isEqual(trust->certificateAtIndex(0), forged.certificate));
      EXPECT_FALSE(trust->certificateAtIndex(1));
    }
  }
  auto forged = TestCertificates::forge(certs.authority, local);
  EXPECT_FALSE(forged.certificate->isSignedBy(*certs.authority));
  EXPECT_TRUE(certs.localhost.certificate->isSignedBy(*certs.authority));
  EXPECT_TRUE(certs.intermediateSigned.certificate->isSignedBy(*certs.intermediate));
  EXPECT_FALSE(certs.intermediateSigned.certificate->isSignedBy(*certs.authority)) << "another issuer's name";
  EXPECT_TRUE(certs.selfSigned.certificate->isSignedBy(*certs.selfSigned.certificate));

  // A genuine chain whose root is unknown fails, but its links hold.
  auto unanchored = Trust::create({certs.intermediateSigned.certificate, certs.intermediate},
                                  {TrustPolicy::SSL(true, std::string("localhost"))});
  EXPECT_FALSE(trustResultIsValid(unanchored->evaluate()));
  EXPECT_EQ(chainOf(unanchored), (std::vector<std::string>{"localhost", "kit Test Intermediate CA"}));
  // An expired leaf fails with its issuer still linked.
  test::ScopedTestAnchors anchors;
  auto expired = Trust::create({certs.expired.certificate}, {TrustPolicy::basicX509()});
  EXPECT_FALSE(trustResultIsValid(expired->evaluate()));
  EXPECT_EQ(chainOf(expired), (std::vector<std::string>{"localhost", "kit Test Root CA"}));
  auto valid = Trust::create({certs.intermediateSigned.certificate, certs.intermediate}, {TrustPolicy::basicX509()});
  EXPECT_TRUE(trustResultIsValid(valid->evaluate()));
  EXPECT_EQ(chainOf(valid), (std::vector<std::string>{"localhost", "kit Test Intermediate CA", "kit Test Root CA"}));
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
