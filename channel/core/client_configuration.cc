// The client's service addresses. See client_configuration.h.

#include "channel/core/client_configuration.h"

#include <cstdlib>

#include "kit/foundation/bundle.h"
#include "kit/foundation/log.h"
#include "kit/foundation/property_list.h"
#include "kit/foundation/values.h"

namespace {

kit::Ref<kit::Dictionary> readPlist(const std::string& path) {
  auto dictionary = kit::dictionaryWithContentsOfFile(path);
  if (!dictionary) kit::log("configuration: %@ is not a dictionary property list", path);
  return dictionary;
}

}  // namespace

ClientConfiguration& ClientConfiguration::shared() {
  static ClientConfiguration* const instance = new ClientConfiguration();
  return *instance;
}

void ClientConfiguration::loadLocked() {
  if (loaded_) return;
  loaded_ = true;
  auto merged = kit::MutableDictionary::make();
  if (auto path = kit::Bundle::main()->pathForResource("ServiceHosts", "plist")) {
    if (auto values = readPlist(path->utf8())) merged->addEntriesFromDictionary(*values);
  }
  if (const char* file = std::getenv(kEnvironmentVariable); file && *file) {
    if (auto values = readPlist(file)) merged->addEntriesFromDictionary(*values);
  }
  values_ = merged;
}

kit::Ref<kit::String> ClientConfiguration::valueForKey(std::string_view key) {
  std::lock_guard lock(mutex_);
  loadLocked();
  kit::Id value;
  if (overrides_) value = (*overrides_)[key];
  if (!value) value = (*values_)[key];
  if (!kit::isSet(value)) return nullptr;
  return kit::text(value);
}

kit::Ref<kit::String> ClientConfiguration::urlForService(std::string_view serviceKey, std::string_view path) {
  auto base = valueForKey(serviceKey);
  if (!base) return nullptr;
  std::string url = base->utf8();
  while (!url.empty() && url.back() == '/') url.pop_back();
  while (!path.empty() && path.front() == '/') path.remove_prefix(1);
  return kit::str(url + "/" + std::string(path));
}

void ClientConfiguration::setOverrides(kit::Ref<kit::Dictionary> overrides) {
  std::lock_guard lock(mutex_);
  overrides_ = std::move(overrides);
}

void ClientConfiguration::reload() {
  std::lock_guard lock(mutex_);
  loaded_ = false;
}
