// The trust policy on chains made by the test certificate authority:
// default evaluation, certificate and public-key pinning, and the chain
// tricks pinning must not fall for, evaluated directly and, through a URL
// session manager, against HTTPS servers on 127.0.0.1.
#include "net/security_policy.h"

#include <gtest/gtest.h>
#include <openssl/x509v3.h>

#include <atomic>

#include "kit/foundation/data_file.h"
#include "kit/foundation/keyed_archiver.h"
#include "kit/foundation/notification_center.h"
#include "kit/net/testing/test_certificates.h"
#include "kit/net/testing/test_server.h"
#include "kit/testing/log_capture.h"
#include "kit/testing/run_until.h"
#include "kit/testing/temp_directory.h"
#include "net/url_session_manager.h"

namespace {

using kit::test::TestCertificates;
using kit::test::TestIdentity;
using kit::test::TestServer;

kit::Ref<kit::Trust> trustFor(const TestIdentity& identity, std::vector<kit::Ref<kit::Certificate>> extra = {}) {
  std::vector<kit::Ref<kit::Certificate>> chain = {identity.certificate};
  chain.insert(chain.end(), identity.chain.begin(), identity.chain.end());
  chain.insert(chain.end(), extra.begin(), extra.end());
  return kit::Trust::create(chain, {kit::TrustPolicy::basicX509()});
}

kit::Ref<kit::Set> pins(std::initializer_list<kit::Ref<kit::Certificate>> certificates) {
  std::vector<kit::Id> data;
  for (const auto& c : certificates) data.push_back(c->DERData());
  return kit::Set::make(data);
}

// A new certificate for "localhost" around an existing key, signed by the
// test authority: what a renewal looks like.
kit::Ref<kit::Certificate> reissue(const TestIdentity& identity) {
  const auto& certs = TestCertificates::shared();
  X509* cert = X509_new();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), 424242);
  X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert), 86400L * 30);
  X509_set_pubkey(cert, identity.key.get());
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
  X509_set_issuer_name(cert, X509_get_subject_name(certs.authority->x509()));
  X509V3_CTX ctx;
  X509V3_set_ctx(&ctx, certs.authority->x509(), cert, nullptr, nullptr, 0);
  X509_EXTENSION* san = X509V3_EXT_conf_nid(nullptr, &ctx, NID_subject_alt_name, "DNS:localhost");
  X509_add_ext(cert, san, -1);
  X509_EXTENSION_free(san);
  X509_sign(cert, certs.authorityKey.get(), EVP_sha256());
  return std::make_shared<kit::Certificate>(cert);
}

class SecurityPolicyTest : public ::testing::Test {
 protected:
  kit::test::ScopedTestAnchors anchors;
  const TestCertificates& certs = TestCertificates::shared();
};

TEST_F(SecurityPolicyTest, DefaultPolicyTrustsTheTestAuthorityForTheRightHostOnly) {
  auto policy = SDPSecurityPolicy::defaultPolicy();
  EXPECT_TRUE(policy->validatesDomainName);
  EXPECT_TRUE(policy->evaluateServerTrust(trustFor(certs.localhost), "localhost"));
  EXPECT_TRUE(policy->evaluateServerTrust(trustFor(certs.localhost), "127.0.0.1"));
  EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs.selfSigned), "localhost"));
  EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs.expired), "localhost"));
  EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs.wrongHost), "localhost"));
  EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs.localhost), "elsewhere.example"));
}

TEST_F(SecurityPolicyTest, AllowingInvalidCertificates) {
  auto policy = SDPSecurityPolicy::defaultPolicy();
  policy->allowInvalidCertificates = true;
  policy->validatesDomainName = false;
  EXPECT_TRUE(policy->evaluateServerTrust(trustFor(certs.selfSigned), "localhost"));
  EXPECT_TRUE(policy->evaluateServerTrust(trustFor(certs.expired), std::nullopt));

  kit::test::LogCapture logs;
  policy->validatesDomainName = true;
  EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs.localhost), "localhost"));
  EXPECT_TRUE(logs.contains("In order to validate a domain name for self signed certificates, you MUST use pinning."));
}

TEST_F(SecurityPolicyTest, CertificatePinningAgainstAPinnedIntermediate) {
  auto policy = SDPSecurityPolicy::policyWithPinningMode(SDPSSLPinningMode::Certificate, pins({certs.intermediate}));
  EXPECT_TRUE(policy->evaluateServerTrust(trustFor(certs.intermediateSigned), "localhost"));
  // Trusted by the platform, but not through the pinned certificate.
  EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs.localhost), "localhost"));
  // Pinned, but for another host.
  EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs.intermediateSigned), "wrong.example"));
}

TEST_F(SecurityPolicyTest, PinnedDataThatIsNotACertificateIsSkipped) {
  auto pinned = kit::Set::make({kit::Data::make("not DER at all"), certs.intermediate->DERData()});
  auto policy = SDPSecurityPolicy::policyWithPinningMode(SDPSSLPinningMode::Certificate, pinned);
  EXPECT_EQ(policy->pinnedPublicKeys()->count(), 1u);
  EXPECT_TRUE(policy->evaluateServerTrust(trustFor(certs.intermediateSigned), "localhost"));
  auto junkOnly = SDPSecurityPolicy::policyWithPinningMode(SDPSSLPinningMode::Certificate,
                                                           kit::Set::make({kit::Data::make("junk")}));
  EXPECT_FALSE(junkOnly->evaluateServerTrust(trustFor(certs.localhost), "localhost"));
}

TEST_F(SecurityPolicyTest, PublicKeyPinningAcceptsARenewedCertificateWithTheSameKey) {
  auto policy =
      SDPSecurityPolicy::policyWithPinningMode(SDPSSLPinningMode::PublicKey, pins({certs.localhost.certificate}));
  auto renewed = reissue(certs.localhost);
  ASSERT_FALSE(renewed->isEqual(*certs.localhost.certificate));
  EXPECT_TRUE(policy->evaluateServerTrust(kit::Trust::create({renewed}, {}), "localhost"));
  EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs.wrongHost), "wrong.example"));
}

TEST_F(SecurityPolicyTest, PublicKeyPinningIgnoresCertificatesNotLinkedToTheLeaf) {
  // The intermediate's key is pinned. A server whose valid chain runs
  // straight to the root adds the (public) intermediate certificate on the
  // side: it is presented, but nothing links the leaf to it.
  auto policy = SDPSecurityPolicy::policyWithPinningMode(SDPSSLPinningMode::PublicKey, pins({certs.intermediate}));
  EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs.localhost, {certs.intermediate}), "localhost"));
  EXPECT_TRUE(policy->evaluateServerTrust(trustFor(certs.intermediateSigned), "localhost"));

  // Allowing invalid certificates does not change that for a self-signed leaf.
  policy->allowInvalidCertificates = true;
  policy->validatesDomainName = false;
  EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs.selfSigned, {certs.intermediate}), "localhost"));
}

// A forged leaf names a pinned certificate as its issuer but is signed by
// another key, and the server presents the genuine pinned certificate
// beside it. Verification fails, so only a policy that allows invalid
// certificates gets to the pins; a pinned certificate counts only when the
// signatures from the leaf up to it verify.
TEST_F(SecurityPolicyTest, PinningRefusesALeafThatOnlyNamesThePinnedCertificateAsIssuer) {
  const std::vector<std::string> local = {"DNS:localhost", "IP:127.0.0.1"};
  struct Case {
    const char* what;
    kit::Ref<kit::Certificate> pinned;
    kit::Ref<kit::Trust> (*genuine)(const TestCertificates&);
  };
  const Case cases[] = {
      {"pinned authority", certs.authority, [](const TestCertificates& c) { return trustFor(c.localhost); }},
      {"pinned self-signed server", certs.selfSigned.certificate,
       [](const TestCertificates& c) { return trustFor(c.selfSigned); }},
      {"pinned intermediate", certs.intermediate,
       [](const TestCertificates& c) { return trustFor(c.intermediateSigned); }},
  };
  for (const auto& c : cases) {
    auto forged = TestCertificates::forge(c.pinned, local);
    for (auto mode : {SDPSSLPinningMode::PublicKey, SDPSSLPinningMode::Certificate}) {
      for (bool validatesDomainName : {true, false}) {
        SCOPED_TRACE(testing::Message() << c.what << ", mode " << static_cast<int>(mode)
                                        << (validatesDomainName ? ", host checked" : ", no host check"));
        auto policy = SDPSecurityPolicy::policyWithPinningMode(mode, pins({c.pinned}));
        policy->allowInvalidCertificates = true;
        policy->validatesDomainName = validatesDomainName;
        EXPECT_FALSE(policy->evaluateServerTrust(trustFor(forged), "localhost"));
        EXPECT_TRUE(policy->evaluateServerTrust(c.genuine(certs), "localhost"));
      }
    }
  }
}

// With domain validation asked for, a leaf whose names do not match the
// host is refused whatever the mode and whether or not invalid
// certificates are allowed; names come from subject alternative names only.
TEST_F(SecurityPolicyTest, DomainValidationHoldsInEveryMode) {
  // Self-signed for "wrong.example" around a pinned key.
  auto elsewhere = TestCertificates::selfSign("wrong.example", {"DNS:wrong.example"}, certs.selfSigned.key);
  // CA-signed, naming "localhost" in its common name only.
  auto commonNameOnly = certs.issue("localhost", {}, -1, 365);
  auto pinned = pins({elsewhere.certificate, commonNameOnly.certificate, certs.wrongHost.certificate});
  for (auto mode : {SDPSSLPinningMode::None, SDPSSLPinningMode::PublicKey, SDPSSLPinningMode::Certificate}) {
    for (bool allowInvalid : {false, true}) {
      SCOPED_TRACE(testing::Message() << "mode " << static_cast<int>(mode)
                                      << (allowInvalid ? ", invalid allowed" : ", invalid refused"));
      auto policy = SDPSecurityPolicy::policyWithPinningMode(mode, pinned);
      policy->allowInvalidCertificates = allowInvalid;
      EXPECT_FALSE(policy->evaluateServerTrust(trustFor(elsewhere), "localhost"));
      EXPECT_FALSE(policy->evaluateServerTrust(trustFor(commonNameOnly), "localhost"));
      EXPECT_FALSE(policy->evaluateServerTrust(trustFor(certs.wrongHost), "localhost"));
      // For the host they name, the pinned ones pass as before.
      EXPECT_EQ(policy->evaluateServerTrust(trustFor(elsewhere), "wrong.example"),
                allowInvalid && mode != SDPSSLPinningMode::None);
      EXPECT_EQ(policy->evaluateServerTrust(trustFor(certs.wrongHost), "wrong.example"),
                !(allowInvalid && mode == SDPSSLPinningMode::None))
          << "no pins, invalid allowed and the host checked is always refused";
      // Without domain validation the names do not matter.
      policy->validatesDomainName = false;
      EXPECT_EQ(policy->evaluateServerTrust(trustFor(elsewhere), "localhost"), allowInvalid);
      EXPECT_TRUE(policy->evaluateServerTrust(trustFor(commonNameOnly), "localhost"));
      EXPECT_TRUE(policy->evaluateServerTrust(trustFor(certs.wrongHost), "localhost"));
    }
  }
}

TEST_F(SecurityPolicyTest, CopiesAndArchivesRecomputeTheSameKeys) {
  auto policy = SDPSecurityPolicy::policyWithPinningMode(SDPSSLPinningMode::PublicKey,
                                                         pins({certs.intermediate, certs.localhost.certificate}));
  policy->allowInvalidCertificates = true;
  policy->validatesDomainName = false;
  auto copy = kit::as<SDPSecurityPolicy>(policy->copy());
  auto restored = kit::as<SDPSecurityPolicy>(
      kit::KeyedUnarchiver::unarchiveObjectWithData(kit::KeyedArchiver::archivedDataWithRootObject(policy)));
  for (const auto& other : {copy, restored}) {
    ASSERT_TRUE(other);
    EXPECT_EQ(other->SSLPinningMode, SDPSSLPinningMode::PublicKey);
    EXPECT_TRUE(other->allowInvalidCertificates);
    EXPECT_FALSE(other->validatesDomainName);
    EXPECT_TRUE(other->pinnedCertificates()->isEqual(*policy->pinnedCertificates()));
    EXPECT_TRUE(other->pinnedPublicKeys()->isEqual(*policy->pinnedPublicKeys()));
  }
  policy->setPinnedCertificates(nullptr);
  EXPECT_FALSE(policy->pinnedPublicKeys());
}

TEST_F(SecurityPolicyTest, CertificatesComeFromTheBundleTopFolder) {
  kit::test::TempDirectory dir;
  auto der = certs.intermediate->DERData();
  kit::writeDataToFile(*der, dir.file("pinned.cer"), false);
  kit::writeDataToFile(*kit::Data::make("not a certificate"), dir.file("broken.cer"), false);
  kit::writeDataToFile(*der, dir.file("ignored.pem"), false);
  auto found = SDPSecurityPolicy::certificatesInBundle(kit::Bundle::bundleWithPath(dir.path()));
  EXPECT_EQ(found->count(), 2u);
  EXPECT_TRUE(found->containsObject(der));
  auto policy = SDPSecurityPolicy::policyWithPinningMode(SDPSSLPinningMode::Certificate, found);
  EXPECT_EQ(policy->pinnedPublicKeys()->count(), 1u) << "the broken file contributes no key";
  EXPECT_TRUE(policy->evaluateServerTrust(trustFor(certs.intermediateSigned), "localhost"));
}

// The same policies deciding real handshakes: the session asks its manager,
// the manager asks the policy, and a refused server never sees a request.
class SecurityPolicyServerTest : public SecurityPolicyTest {
 protected:
  std::unique_ptr<TestServer> serve(const TestIdentity& identity) {
    auto server = TestServer::startHTTPS(identity);
    server->route("GET", "/hello", kit::test::TestResponse::json(R"({"hello":1})"));
    return server;
  }

  // Fetches "/hello" from `server` as "localhost" under `policy`; true when
  // the answer arrived.
  bool fetch(const kit::Ref<SDPSecurityPolicy>& policy, TestServer& server) {
    auto manager = SDPURLSessionManager::make();
    manager->setSecurityPolicy(policy);
    const size_t before = server.requestCount();
    bool done = false;
    kit::Ref<kit::Error> error;
    auto request = kit::URLRequest::make(kit::URL::URLWithString(server.localhostURL("/hello")));
    manager
        ->dataTaskWithRequest(request,
                              [&](const kit::Ref<kit::URLResponse>&, const kit::Id&, const kit::Ref<kit::Error>& e) {
                                error = e;
                                done = true;
                              })
        ->resume();
    EXPECT_TRUE(kit::test::runUntil([&] { return done; }));
    std::atomic<bool> invalid{false};  // set on the thread that posts it
    auto token = kit::NotificationCenter::defaultCenter()->addObserverForName(
        SDPManagerSessionInvalidatedNotification, manager->session(),
        [&](const kit::Ref<kit::Notification>&) { invalid = true; });
    manager->invalidateSessionCancelingTasks(true);
    EXPECT_TRUE(kit::test::runUntil([&] { return invalid.load(); }));
    kit::NotificationCenter::defaultCenter()->removeObserver(token);
    const bool reached = server.requestCount() > before;
    EXPECT_EQ(reached, !error) << "a refused handshake sends no request, an accepted one gets its answer";
    return done && !error;
  }

  kit::Ref<SDPSecurityPolicy> pinning(SDPSSLPinningMode mode, const kit::Ref<kit::Certificate>& pinned,
                                      bool validatesDomainName) {
    auto policy = SDPSecurityPolicy::policyWithPinningMode(mode, pins({pinned}));
    policy->allowInvalidCertificates = true;
    policy->validatesDomainName = validatesDomainName;
    return policy;
  }
};

TEST_F(SecurityPolicyServerTest, AForgedChainBesideThePinnedCertificateIsRefused) {
  const std::vector<std::string> local = {"DNS:localhost", "IP:127.0.0.1"};
  auto forgedUnderAuthority = serve(TestCertificates::forge(certs.authority, local));
  auto genuineUnderAuthority = serve(certs.localhost);
  auto forgedUnderSelfSigned = serve(TestCertificates::forge(certs.selfSigned.certificate, local));
  auto genuineSelfSigned = serve(certs.selfSigned);
  for (auto mode : {SDPSSLPinningMode::PublicKey, SDPSSLPinningMode::Certificate}) {
    for (bool validatesDomainName : {true, false}) {
      SCOPED_TRACE(testing::Message() << "mode " << static_cast<int>(mode)
                                      << (validatesDomainName ? ", host checked" : ", no host check"));
      auto pinnedAuthority = pinning(mode, certs.authority, validatesDomainName);
      EXPECT_FALSE(fetch(pinnedAuthority, *forgedUnderAuthority));
      EXPECT_TRUE(fetch(pinnedAuthority, *genuineUnderAuthority));
      auto pinnedServer = pinning(mode, certs.selfSigned.certificate, validatesDomainName);
      EXPECT_FALSE(fetch(pinnedServer, *forgedUnderSelfSigned));
      EXPECT_TRUE(fetch(pinnedServer, *genuineSelfSigned));
    }
  }
}

TEST_F(SecurityPolicyServerTest, HostNamesAreCheckedWhenAskedFor) {
  // The pinned key, in a self-signed certificate for another host.
  auto elsewhere = serve(TestCertificates::selfSign("wrong.example", {"DNS:wrong.example"}, certs.selfSigned.key));
  EXPECT_FALSE(fetch(pinning(SDPSSLPinningMode::PublicKey, certs.selfSigned.certificate, true), *elsewhere));
  EXPECT_TRUE(fetch(pinning(SDPSSLPinningMode::PublicKey, certs.selfSigned.certificate, false), *elsewhere));

  // Trusted, but "localhost" only in the common name.
  auto commonNameOnly = serve(certs.issue("localhost", {}, -1, 365));
  EXPECT_FALSE(fetch(SDPSecurityPolicy::defaultPolicy(), *commonNameOnly));
  auto noHostCheck = SDPSecurityPolicy::defaultPolicy();
  noHostCheck->validatesDomainName = false;
  EXPECT_TRUE(fetch(noHostCheck, *commonNameOnly));
}

}  // namespace
