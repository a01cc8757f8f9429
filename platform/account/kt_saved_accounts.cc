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
  auto defaults = kit::UserDefaults::standardUserDefaults();
  auto stored = defaults->arrayForKey(kKey);
  auto list = stored ? kit::as<kit::MutableArray>(stored->mutableCopy()) : kit::MutableArray::make();
  for (size_t i = 0; i < list->count(); ++i) {
    auto entryName = nameOfEntry(list->objectAtIndex(i));
    if (entryName && entryName->utf8() == name->utf8()) {
      list->removeObjectAtIndex(i);
      break;
    }
  }
  list->addObject(kit::array({name, password}));
  defaults->setObject(list, kKey);
  defaults->synchronize();
}
