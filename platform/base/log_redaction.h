// LogRedaction: keeps session tokens and passwords out of log lines. A
// server reply or a request body that goes into a log line passes through
// redacted() first; every value under a secret key then reads "***".
//
// A secret key is one whose name holds "token", "password", "passwd",
// "pwd" or "session" (any case), or that is "sid" or ends in "_sid".
// Dictionaries are masked at any depth; texts are masked where they carry a
// secret key with its value as a query ("token=abc&..."), as JSON
// ("\"token\": \"abc\"") or as a description ("token = abc;"), which also
// covers a reply logged as text or a body kept as JSON.
//
//   kit::log("claim body: %@", LogRedaction::redacted(body));
//
// Pure functions: any thread.
#pragma once

#include <string>
#include <string_view>

#include "kit/foundation/object.h"

class LogRedaction {
 public:
  static constexpr const char* kMask = "***";

  // Whether a value under this key is a secret.
  static bool isSecretKey(std::string_view key);

  // The value with every secret masked: dictionaries and arrays are copied
  // (nested ones too) with the values of secret keys replaced by kMask,
  // texts go through redactedText; anything else, nil and null included,
  // is returned as it is. A value without secrets may come back itself.
  static kit::Id redacted(const kit::Id& value);

  // The text with the value of every secret key replaced by kMask.
  static std::string redactedText(std::string_view text);
};
