// Fuzz target for the login card's answers: any JSON value answers the
// registration the card sent, then the login that follows it. Whatever the
// answers hold, no text of the card (its greeting while logging in, its
// toasts, its fields) reads "(null)", "<null>" or "NaN" (but for a name the
// answers give, which shows as it came), and the card ends in one of its
// styles. The first byte picks the form that registered.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "fuzz/shown_text_check.h"
#include "kit/foundation/data.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/log.h"
#include "kit/foundation/search_paths.h"
#include "kit/foundation/user_defaults.h"
#include "kit/foundation/values.h"
#include "platform/account/cxr_message.h"
#include "platform/account/kt_login_api.h"
#include "platform/account/kt_login_view.h"

using fuzzsupport::check;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzsupport::silenceLogs();
  // A login answer saves the account: into a file of the fuzzer's own.
  kit::UserDefaults::setStandardPath(kit::temporaryDirectory()->utf8() + "/login-card-reply-fuzz.plist");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const long form = data[0] % 2 ? KTLoginView::PhoneRegister : KTLoginView::AccountRegister;
  kit::Id value = kit::JSONSerialization::JSONObjectWithData(
      kit::Data::make(data + 1, size - 1), kit::JSONReadingMutableContainers | kit::JSONReadingFragmentsAllowed);
  const KTPlatformReply reply(value);

  auto card = KTLoginView::make();
  card->setUsingStyle(form);
  card->setUsingStyle(KTLoginView::Registering);
  bool registered = false;
  KTLoginAPI::Answers::registration(
      reply,
      [&](const kit::Ref<RegisterResult>& result) {
        registered = true;
        card->registered(result);
      },
      [&](const kit::Ref<kit::String>& message) { card->registrationFailed(message, form); });
  shownfuzz::checkTree(*card, data, size, shownfuzz::Names::Shown);
  if (registered) {
    // The login that follows greets the player while it waits, then hears
    // its answer: a refusal is toasted on the card, which returns to the form.
    card->setUsingStyle(KTLoginView::LoggingIn);
    shownfuzz::checkTree(*card, data, size, shownfuzz::Names::Shown);
    KTLoginAPI::Answers::login(
        reply, [](const kit::Ref<LoginResult>& result) { check(result != nullptr); },
        [&](const kit::Ref<kit::String>& message, const kit::Ref<kit::String>&) {
          CXRMessage::showMessage(message, card);
          card->setUsingStyle(KTLoginView::Login);
        });
    shownfuzz::checkTree(*card, data, size, shownfuzz::Names::Shown);
  } else {
    check(card->UsingStyle() == form);
  }
  // Each input starts from no saved accounts.
  kit::UserDefaults::standardUserDefaults()->removeObjectForKey("KT_accounts");
  return 0;
}
