// kit::Pasteboard: the general pasteboard (and named ones), holding strings
// for the process's life. Thread-safe.
#pragma once

#include <functional>
#include <memory>
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

  // Told of every change with the strings set, on the thread that set
  // them, once the pasteboard holds them (a desktop window offers the
  // general pasteboard's string to the desktop's other programs). One
  // observer at a time; nil stops the telling. A change made on another
  // thread as the observer is replaced may still tell the one before.
  using ChangeObserver = std::function<void(const std::vector<std::string>&)>;
  void setChangeObserver(ChangeObserver observer);

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> strings_;
  long changes_ = 0;
  std::shared_ptr<const ChangeObserver> observer_;
};

}  // namespace kit
