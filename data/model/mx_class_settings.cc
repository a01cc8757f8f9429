// The process-wide table of class settings.

#include "data/model/mx_class_settings.h"

#include <atomic>
#include <mutex>
#include <unordered_map>

#include "kit/foundation/no_destructor.h"

namespace mx_settings {
namespace {

struct Table {
  std::mutex mutex;
  std::unordered_map<const kit::Class*, MXClassSettings> byClass;
  std::atomic<uint64_t> generation{1};
};

Table& table() {
  static kit::NoDestructor<Table> t;
  return *t;
}

}  // namespace

MXClassSettings of(const kit::Class& cls) {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  auto it = t.byClass.find(&cls);
  return it == t.byClass.end() ? MXClassSettings() : it->second;
}

MXNewValueHook newValueFunctionOf(const kit::Class& cls) {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  auto it = t.byClass.find(&cls);
  return it == t.byClass.end() ? MXNewValueHook() : it->second.newValueFunction;
}

void update(const kit::Class& cls, const std::function<void(MXClassSettings&)>& change) {
  Table& t = table();
  MXClassSettings old;  // whatever is replaced is released outside the lock
  {
    std::lock_guard lock(t.mutex);
    MXClassSettings& settings = t.byClass[&cls];
    old = settings;
    change(settings);
    t.generation.fetch_add(1, std::memory_order_acq_rel);
  }
}

uint64_t generation() { return table().generation.load(std::memory_order_acquire); }

void walkAll(const kit::Class& cls, const std::function<void(const kit::Class&, bool* stop)>& visit) {
  bool stop = false;
  for (const kit::Class* c = &cls; c && !stop; c = c->superclass()) visit(*c, &stop);
}

}  // namespace mx_settings
