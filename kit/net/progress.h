// Progress objects: a total and a completed unit count with the fraction
// they make, observers told of every change (on the thread that made it),
// and cancel / pause / resume with their handlers.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

#include "kit/foundation/object.h"

namespace kit {

class Progress : public Object {
 public:
  const Class& objectClass() const override { return staticClass(); }
  static const Class& staticClass();

  // What changed, for observers.
  enum class Key { TotalUnitCount, CompletedUnitCount, FractionCompleted, Cancelled, Paused };
  using Observer = std::function<void(Progress& progress, Key key)>;

  static Ref<Progress> progressWithTotalUnitCount(int64_t total);
  Progress() = default;

  int64_t totalUnitCount() const;
  void setTotalUnitCount(int64_t total);
  int64_t completedUnitCount() const;
  void setCompletedUnitCount(int64_t completed);
  // completed / total; 0 while the total is not positive (unknown is -1).
  double fractionCompleted() const;
  bool isIndeterminate() const;
  bool isFinished() const;

  bool isCancellable() const;
  void setCancellable(bool v);
  bool isPausable() const;
  void setPausable(bool v);
  bool isCancelled() const;
  bool isPaused() const;

  void setCancellationHandler(std::function<void()> handler);
  void setPausingHandler(std::function<void()> handler);
  void setResumingHandler(std::function<void()> handler);
  // Marks the progress cancelled and calls the cancellation handler (once).
  void cancel();
  void pause();
  void resume();

  uint64_t addObserver(Observer observer);
  void removeObserver(uint64_t token);

  std::string description() const override;

 private:
  void notify(std::initializer_list<Key> keys);

  mutable std::mutex mutex_;
  int64_t total_ = 0;
  int64_t completed_ = 0;
  bool cancellable_ = true;
  bool pausable_ = false;
  bool cancelled_ = false;
  bool paused_ = false;
  std::function<void()> onCancel_, onPause_, onResume_;
  std::map<uint64_t, Observer> observers_;
  uint64_t nextObserver_ = 1;
};

}  // namespace kit
