// kit::Pasteboard: the general pasteboard (and named ones), holding strings
// for the process's life. Thread-safe.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kit/foundation/object.h"

namespace kit {

class Pasteboard : public Object {
 public:
  static Ref<Pasteboard> general();
  // A named pasteboard, made on first use.
  static Ref<Pasteboard> named(const std::string& name);

  // The first string, or nullopt when the pasteboard holds none.
  std::optional<std::string> string() const;
  void setString(const std::string& s);
  std::vector<std::string> strings() const;
  void setStrings(std::vector<std::string> s);
  bool hasStrings() const;
  // Counts every change, as the platform's change count.
  long changeCount() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> strings_;
  long changes_ = 0;
};

}  // namespace kit
