// kit::NoDestructor<T>: the one way a shared instance is kept. The value is
// made once, where it is declared (a function-local static is made on its
// first use, thread-safely, by the language), and is never destroyed: its
// destructor does nothing, so no exit handler is registered for it and it
// is still there for whatever reaches it while the process ends (a view's
// destructor, a worker thread, another static's destructor). What it holds
// stays reachable from static storage, so a leak checker does not report it.
//
//   kit::Ref<Countdown> Countdown::shared() {
//     static const kit::NoDestructor<kit::Ref<Countdown>> instance(kit::make<Countdown>());
//     return *instance;
//   }
//
// Made from one value, it takes that value's type:
//
//   static const kit::NoDestructor allowed(kit::CharacterSet::fromString("&=")->inverted());
//
// A value that is set later (a slot the first caller fills, or one a test
// replaces) is a NoDestructor of the slot, guarded by its own mutex.
#pragma once

#include <new>
#include <type_traits>
#include <utility>

namespace kit {

template <class T>
class NoDestructor {
 public:
  // Makes the value from `arguments` (none: a value-initialized T).
  template <class... Arguments>
  explicit NoDestructor(Arguments&&... arguments) {
    ::new (static_cast<void*>(storage_)) T(std::forward<Arguments>(arguments)...);
  }
  NoDestructor(const NoDestructor&) = delete;
  NoDestructor& operator=(const NoDestructor&) = delete;
  // Deliberately leaves the value alone.
  ~NoDestructor() = default;

  T& operator*() { return *get(); }
  const T& operator*() const { return *get(); }
  T* operator->() { return get(); }
  const T* operator->() const { return get(); }
  T* get() { return std::launder(reinterpret_cast<T*>(storage_)); }
  const T* get() const { return std::launder(reinterpret_cast<const T*>(storage_)); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

// `static const kit::NoDestructor set(makeSet());` keeps the type of what it is made from.
template <class T>
NoDestructor(T) -> NoDestructor<T>;

}  // namespace kit
