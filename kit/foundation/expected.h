// kit::Expected<T>: a value or the error that stopped it.
//
// The way code below the product's public interfaces reports failure: a
// function that can fail returns Expected<T> (Expected<void> when there is no
// value), and the caller either uses the value or passes the error on. The
// error is a kit::Error with the platform's domain, code and message, so the
// texts a screen shows are made at the edge, by the code whose screen shows
// them, from the error's code rather than from a log line.
//
//   kit::Expected<Ref<Data>> readValue(const std::string& key) {
//     if (!found) return kit::unexpected(kit::CocoaErrorDomain, 4, "no value for " + key);
//     return data;
//   }
//
//   auto value = readValue("token");
//   if (!value) return log("read failed: %s", value.error()->localizedDescription());
//   use(*value);
#pragma once

#include <cstdlib>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

#include "kit/foundation/error.h"

namespace kit {

// The error side of an Expected, made by kit::unexpected(...).
struct Unexpected {
  Ref<Error> error;
};

inline Unexpected unexpected(Ref<Error> error) { return Unexpected{std::move(error)}; }
inline Unexpected unexpected(std::string domain, long code, std::string_view message) {
  return Unexpected{Error::make(std::move(domain), code, message)};
}

template <class T>
class [[nodiscard]] Expected {
 public:
  template <class U = T, std::enable_if_t<std::is_convertible_v<U&&, T>, int> = 0>
  Expected(U&& value) : state_(std::in_place_index<0>, std::forward<U>(value)) {}  // NOLINT: implicit by design
  Expected(Unexpected failure) : state_(std::in_place_index<1>, std::move(failure.error)) {}  // NOLINT

  bool hasValue() const { return state_.index() == 0; }
  explicit operator bool() const { return hasValue(); }

  // The value; reading it from an error is a programming fault and aborts.
  T& value() & { return std::get<0>(checked()); }
  const T& value() const& { return std::get<0>(checked()); }
  T&& value() && { return std::get<0>(std::move(checked())); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T valueOr(T fallback) const& { return hasValue() ? std::get<0>(state_) : std::move(fallback); }

  // The error; nil when there is a value.
  Ref<Error> error() const { return hasValue() ? nullptr : std::get<1>(state_); }

 private:
  std::variant<T, Ref<Error>>& checked() {
    if (!hasValue()) std::abort();
    return state_;
  }
  const std::variant<T, Ref<Error>>& checked() const {
    if (!hasValue()) std::abort();
    return state_;
  }

  std::variant<T, Ref<Error>> state_;
};

template <>
class [[nodiscard]] Expected<void> {
 public:
  Expected() = default;
  Expected(Unexpected failure) : error_(std::move(failure.error)) {}  // NOLINT: implicit by design

  bool hasValue() const { return error_ == nullptr; }
  explicit operator bool() const { return hasValue(); }
  const Ref<Error>& error() const { return error_; }

 private:
  Ref<Error> error_;
};

}  // namespace kit
