// Protection spaces, credentials and challenges.
#include "kit/net/authentication_challenge.h"

#include "kit/foundation/format.h"
#include "kit/foundation/runtime.h"

namespace kit {

KIT_DEFINE_CLASS_NAMED(URLProtectionSpace, Object, "NSURLProtectionSpace") {}
KIT_DEFINE_CLASS_NAMED(URLCredential, Object, "NSURLCredential") {}
KIT_DEFINE_CLASS_NAMED(URLAuthenticationChallenge, Object, "NSURLAuthenticationChallenge") {}

std::string URLProtectionSpace::description() const {
  return formatString("<%s: %p>: Host:%s, Server:%s, Auth-Scheme:%s, Realm:%s, Port:%d", className(),
                      static_cast<const void*>(this), host_, protocol_, method_, realm_.empty() ? "(null)" : realm_,
                      port_);
}

Ref<URLCredential> URLCredential::credentialWithUser(std::string user, std::string password,
                                                     URLCredentialPersistence persistence) {
  auto c = std::make_shared<URLCredential>();
  c->user_ = std::move(user);
  c->password_ = std::move(password);
  c->hasPassword_ = true;
  c->persistence_ = persistence;
  return c;
}

Ref<URLCredential> URLCredential::credentialForTrust(Ref<Trust> trust) {
  if (!trust) return nullptr;
  auto c = std::make_shared<URLCredential>();
  c->trust_ = std::move(trust);
  c->persistence_ = URLCredentialPersistence::ForSession;
  return c;
}

}  // namespace kit
