// The saved accounts of the login card. See kt_saved_accounts.h.
#include "platform/account/kt_saved_accounts.h"

#include "kit/dispatch/thread_check.h"
#include "kit/foundation/user_defaults.h"
#include "kit/foundation/values.h"

namespace {

// The entry's name when it is a pair of texts; nil otherwise.
kit::Ref<kit::String> nameOfEntry(const kit::Id& entry) {
  auto pair = kit::as<kit::Array>(entry);
  if (!pair || pair->count() != 2) return nullptr;
  auto name = kit::as<kit::String>(pair->objectAtIndex(0));
  if (!name || !kit::isKind<kit::String>(pair->objectAtIndex(1))) return nullptr;
  return name;
}

}  // namespace

kit::Ref<kit::Array> KTSavedAccounts::accounts() {
  auto list = kit::UserDefaults::standardUserDefaults()->arrayForKey(kKey);
  auto accounts = kit::MutableArray::make();
  if (!list) return accounts;
  for (const kit::Id& entry : list->objects()) {
    if (!nameOfEntry(entry)) continue;
    auto pair = kit::as<kit::Array>(entry);
    accounts->addObject(kit::array({pair->objectAtIndex(0), pair->objectAtIndex(1)}));
  }
  return accounts;
}

void KTSavedAccounts::save(const kit::Ref<kit::String>& name, const kit::Ref<kit::String>& password) {
  KIT_CHECK_MAIN_THREAD();
  if (!name || !password || name->length() == 0 || password->length() == 0) return;
  // Another client on this home folder may have saved accounts since this
  // one read its defaults: the list is read, changed and written under the
  // defaults' file lock, so that neither client loses the other's.
  kit::UserDefaults::standardUserDefaults()->updateObject(kKey, [&](const kit::Id& stored) -> kit::Id {
    auto saved = kit::as<kit::Array>(stored);
    auto list = saved ? kit::as<kit::MutableArray>(saved->mutableCopy()) : kit::MutableArray::make();
    for (size_t i = 0; i < list->count(); ++i) {
      auto entryName = nameOfEntry(list->objectAtIndex(i));
      if (entryName && entryName->utf8() == name->utf8()) {
        list->removeObjectAtIndex(i);
        break;
      }
    }
    list->addObject(kit::array({name, password}));
    return list;
  });
}
