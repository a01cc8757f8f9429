// Fuzzes the platform API's reply models and the login and pay APIs'
// answers with arbitrary JSON values (wrong kinds, deep nesting, huge
// texts): every responseWithDic and the sub-account record must build a
// model whose text fields hold texts or nothing (the account models'
// messages and notice content a readable text or nothing), and every answer
// handler must end in at most one of its blocks, the login side's with a
// message a player can read or none. The first byte picks the outcome
// the answers see: the decoded value, a delivered exchange without a reply
// object, or a failed transport.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "kit/foundation/bundle.h"
#include "kit/foundation/json_serialization.h"
#include "kit/foundation/search_paths.h"
#include "kit/foundation/user_defaults.h"
#include "kit/foundation/values.h"
#include "platform/account/cxr_sub_name_model.h"
#include "platform/account/kt_login_api.h"
#include "platform/account/kt_pay_api.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// Every declared text property of the model holds a text or nothing.
void checkTexts(const kit::Id& model) {
  check(model != nullptr);
  for (const kit::Class* c = &model->objectClass(); c && c != &kit::Object::staticClass(); c = c->superclass()) {
    for (const auto& property : c->declaredProperties()) {
      if (property.typeEncoding != "@\"NSString\"") continue;
      kit::Id value = model->valueForKey(property.name);
      check(!value || kit::isKind<kit::String>(value));
    }
  }
}

// The account models' texts to read: a readable text or nothing.
void checkReadable(const kit::Ref<kit::String>& message) { check(!message || !kit::readableText(message).empty()); }

// Counts the blocks of one call; with `readable`, checks that each message
// handed on is a text a player can read, or none.
struct Blocks {
  int calls = 0;
  bool readable = false;
  template <class T>
  std::function<void(const kit::Ref<T>&)> success() {
    return [this](const kit::Ref<T>& value) {
      check(value != nullptr);
      ++calls;
    };
  }
  std::function<void(const kit::Id&)> value() {
    return [this](const kit::Id&) { ++calls; };
  }
  std::function<void()> plain() {
    return [this] { ++calls; };
  }
  std::function<void(const kit::Ref<kit::String>&)> failure() {
    return [this](const kit::Ref<kit::String>& message) {
      if (readable) checkReadable(message);
      ++calls;
    };
  }
  std::function<void(const kit::Ref<kit::String>&, const kit::Ref<kit::String>&)> codeFailure() {
    return [this](const kit::Ref<kit::String>& message, const kit::Ref<kit::String>&) {
      if (readable) checkReadable(message);
      ++calls;
    };
  }
};

template <class Answer>
void atMostOnce(Answer answer, bool readable = false) {
  Blocks blocks;
  blocks.readable = readable;
  answer(blocks);
  check(blocks.calls <= 1);
}

void answerAll(const KTPlatformReply& reply) {
  using Login = KTLoginAPI::Answers;
  using Pay = KTPayAPI::Answers;
  atMostOnce([&](Blocks& b) { Login::login(reply, b.success<LoginResult>(), b.codeFailure()); }, true);
  atMostOnce([&](Blocks& b) { Login::registration(reply, b.success<RegisterResult>(), b.failure()); }, true);
  atMostOnce([&](Blocks& b) { Login::authCode(reply, b.success<RegisterResult>(), b.failure()); }, true);
  atMostOnce([&](Blocks& b) { Login::realName(reply, b.success<rzResult>(), b.failure()); }, true);
  atMostOnce([&](Blocks& b) { Login::notice(reply, b.success<GetNotice>(), b.codeFailure()); }, true);
  atMostOnce([&](Blocks& b) { Login::role(reply, b.plain(), b.failure()); });
  atMostOnce([&](Blocks& b) { Login::subNames(reply, b.success<kit::Array>()); });
  Login::logout(reply);
  atMostOnce([&](Blocks& b) { Pay::h5Order(reply, b.success<NotifyServer>(), b.failure()); });
  atMostOnce([&](Blocks& b) { Pay::walletAppOrder(reply, b.success<WalletPayInfo>(), b.failure()); });
  atMostOnce([&](Blocks& b) { Pay::wxOrder(reply, b.success<NotifyServer>(), b.failure()); });
  atMostOnce([&](Blocks& b) { Pay::ptbOrder(reply, b.success<PtbPay>(), b.codeFailure()); });
  atMostOnce([&](Blocks& b) { Pay::djqOrder(reply, b.success<DiscountPayWay>(), b.codeFailure()); });
  atMostOnce([&](Blocks& b) { Pay::ptbBalance(reply, b.success<GetMyPtbResult>(), b.failure()); });
  atMostOnce([&](Blocks& b) { Pay::discountBalance(reply, b.success<GetMyDiscountResult>(), b.failure()); });
  atMostOnce([&](Blocks& b) { Pay::serviceContacts(reply, b.success<HelpQQAndTel>(), b.failure()); });
  atMostOnce([&](Blocks& b) { Pay::payRecords(reply, b.success<OrderRecords>(), b.failure()); });
  atMostOnce([&](Blocks& b) { Pay::gameDetail(reply, b.value(), b.failure()); });
  atMostOnce([&](Blocks& b) { Pay::payWays(reply, b.value(), b.failure()); });
}

void buildAll(const kit::Id& value) {
  checkTexts(KTBaseResponse::responseWithDic(value));
  const kit::Ref<KTBaseResponse> accountModels[] = {LoginResult::responseWithDic(value),
                                                    RegisterResult::responseWithDic(value),
                                                    rzResult::responseWithDic(value), GetNotice::responseWithDic(value),
                                                    LoginOut::responseWithDic(value)};
  for (const kit::Ref<KTBaseResponse>& model : accountModels) {
    checkTexts(model);
    checkReadable(model->mesage());
  }
  checkReadable(GetNotice::responseWithDic(value)->content());
  checkTexts(GetMyPtbResult::responseWithDic(value));
  checkTexts(PtbPay::responseWithDic(value));
  checkTexts(HelpQQAndTel::responseWithDic(value));
  checkTexts(QuickPay::responseWithDic(value));
  checkTexts(GameDetail::responseWithDic(value));
  checkTexts(NotifyServer::responseWithDic(value));
  checkTexts(WeiXinInfo::responseWithDic(value));
  checkTexts(DiscountPayWay::responseWithDic(value));
  checkTexts(GetMyDiscountResult::responseWithDic(value));
  checkTexts(WalletPayInfo::responseWithDic(value));
  checkTexts(CXRSubNameModel::initWithDictionary(value));
  auto ways = PayWay::responseWithDic(value);
  checkTexts(ways);
  for (const kit::Id& way : ways->data()->objects()) checkTexts(way);
  auto records = OrderRecords::responseWithDic(value);
  for (const kit::Id& record : records->dataArray()->objects()) checkTexts(record);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The answers write the saved accounts and the session: into a file of
  // the fuzzer's own.
  kit::UserDefaults::setStandardPath(kit::temporaryDirectory()->utf8() + "/platform-reply-models-fuzz.plist");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  kit::Id value = kit::JSONSerialization::JSONObjectWithData(
      kit::Data::make(data + 1, size - 1), kit::JSONReadingMutableContainers | kit::JSONReadingFragmentsAllowed);
  buildAll(value);
  switch (data[0] % 3) {
    case 0: answerAll(KTPlatformReply(value)); break;
    case 1: answerAll(KTPlatformReply(kit::Id())); break;
    default: answerAll(KTPlatformReplies::notDelivered(kit::Error::make("NSURLErrorDomain", -1004))); break;
  }
  // Each input starts from no saved accounts.
  kit::UserDefaults::standardUserDefaults()->removeObjectForKey("KT_accounts");
  return 0;
}
