// The scene registry: interface files written as code. A storyboard is a
// set of controller factories keyed by identifier (one of them initial); a
// nib is a factory of top-level objects given the file's owner, so that it
// can connect outlets and actions. Screens register their scenes once,
// from a function the code that shows them calls: a registration from a
// static initializer is lost when the linker leaves its file out.
//
//   kit::SceneRegistry::shared().registerController("KTUserShow", "KTAlterLoginVC", [] {
//     return kit::make<KTAlterLoginVC>();
//   });
//   auto vc = kit::Storyboard::named("KTUserShow")->instantiateViewController("KTAlterLoginVC");
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "kit/foundation/object.h"

namespace kit {

class View;
class ViewController;

class SceneRegistry {
 public:
  using ControllerFactory = std::function<Ref<ViewController>()>;
  // Builds the nib's top-level objects; `owner` is the file's owner (may be
  // nil).
  using NibFactory = std::function<std::vector<Id>(const Id& owner)>;

  static SceneRegistry& shared();

  void registerController(const std::string& storyboard, const std::string& identifier, ControllerFactory factory);
  void setInitialController(const std::string& storyboard, const std::string& identifier);
  void registerNib(const std::string& name, NibFactory factory);
  // Forgets a storyboard or a nib (tests).
  void removeStoryboard(const std::string& storyboard);
  void removeNib(const std::string& name);

  bool hasStoryboard(const std::string& storyboard) const;
  bool hasNib(const std::string& name) const;
  // What is registered, each list in name order.
  std::vector<std::string> storyboardNames() const;
  std::vector<std::string> sceneIdentifiers(const std::string& storyboard) const;
  std::vector<std::string> nibNames() const;
  // A new controller, or nil when the storyboard has no such scene.
  Ref<ViewController> instantiate(const std::string& storyboard, const std::string& identifier) const;
  Ref<ViewController> instantiateInitial(const std::string& storyboard) const;
  // The nib's top-level objects (empty when there is no such nib); every
  // top-level view is sent awakeFromNib.
  std::vector<Id> loadNibNamed(const std::string& name, const Id& owner) const;
  // The last top-level view of a nib, for a controller's view.
  Ref<View> loadNib(const std::string& name, ViewController* owner) const;

 private:
  struct Storyboard {
    std::map<std::string, ControllerFactory> scenes;
    std::string initial;
  };
  mutable std::mutex mutex_;
  std::map<std::string, Storyboard> storyboards_;
  std::map<std::string, NibFactory> nibs_;
};

// The platform's storyboard object over the registry.
class Storyboard : public Object {
 public:
  // Nil when no scene was registered under the name.
  static Ref<Storyboard> named(const std::string& name);
  const std::string& name() const { return name_; }
  // A new controller; raises the platform's invalid-argument exception for
  // an unknown identifier, as the platform does.
  Ref<ViewController> instantiateViewController(const std::string& identifier) const;
  Ref<ViewController> instantiateInitialViewController() const;

  explicit Storyboard(std::string name) : name_(std::move(name)) {}

 private:
  std::string name_;
};

}  // namespace kit
