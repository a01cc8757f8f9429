// Storyboards and nibs as registered factories.
#include "kit/ui/scene_registry.h"

#include "kit/foundation/exception.h"
#include "kit/foundation/no_destructor.h"
#include "kit/ui/view.h"
#include "kit/ui/view_controller.h"

namespace kit {

SceneRegistry& SceneRegistry::shared() {
  static NoDestructor<SceneRegistry> registry;
  return *registry;
}

void SceneRegistry::registerController(const std::string& storyboard, const std::string& identifier,
                                       ControllerFactory factory) {
  std::lock_guard lock(mutex_);
  storyboards_[storyboard].scenes[identifier] = std::move(factory);
}

void SceneRegistry::setInitialController(const std::string& storyboard, const std::string& identifier) {
  std::lock_guard lock(mutex_);
  storyboards_[storyboard].initial = identifier;
}

void SceneRegistry::registerNib(const std::string& name, NibFactory factory) {
  std::lock_guard lock(mutex_);
  nibs_[name] = std::move(factory);
}

void SceneRegistry::removeStoryboard(const std::string& storyboard) {
  std::lock_guard lock(mutex_);
  storyboards_.erase(storyboard);
}

void SceneRegistry::removeNib(const std::string& name) {
  std::lock_guard lock(mutex_);
  nibs_.erase(name);
}

bool SceneRegistry::hasStoryboard(const std::string& storyboard) const {
  std::lock_guard lock(mutex_);
  return storyboards_.count(storyboard) > 0;
}

bool SceneRegistry::hasNib(const std::string& name) const {
  std::lock_guard lock(mutex_);
  return nibs_.count(name) > 0;
}

std::vector<std::string> SceneRegistry::storyboardNames() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> names;
  for (const auto& [name, board] : storyboards_) names.push_back(name);
  return names;
}

std::vector<std::string> SceneRegistry::sceneIdentifiers(const std::string& storyboard) const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> identifiers;
  auto sb = storyboards_.find(storyboard);
  if (sb == storyboards_.end()) return identifiers;
  for (const auto& [identifier, factory] : sb->second.scenes) identifiers.push_back(identifier);
  return identifiers;
}

std::vector<std::string> SceneRegistry::nibNames() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> names;
  for (const auto& [name, factory] : nibs_) names.push_back(name);
  return names;
}

Ref<ViewController> SceneRegistry::instantiate(const std::string& storyboard, const std::string& identifier) const {
  ControllerFactory factory;
  {
    std::lock_guard lock(mutex_);
    auto sb = storyboards_.find(storyboard);
    if (sb == storyboards_.end()) return nullptr;
    auto scene = sb->second.scenes.find(identifier);
    if (scene == sb->second.scenes.end()) return nullptr;
    factory = scene->second;
  }
  return factory ? factory() : nullptr;
}

Ref<ViewController> SceneRegistry::instantiateInitial(const std::string& storyboard) const {
  std::string initial;
  {
    std::lock_guard lock(mutex_);
    auto sb = storyboards_.find(storyboard);
    if (sb == storyboards_.end()) return nullptr;
    initial = sb->second.initial;
  }
  return initial.empty() ? nullptr : instantiate(storyboard, initial);
}

std::vector<Id> SceneRegistry::loadNibNamed(const std::string& name, const Id& owner) const {
  NibFactory factory;
  {
    std::lock_guard lock(mutex_);
    auto it = nibs_.find(name);
    if (it == nibs_.end()) return {};
    factory = it->second;
  }
  std::vector<Id> objects = factory ? factory(owner) : std::vector<Id>{};
  for (auto& o : objects)
    if (auto v = as<View>(o)) v->awakeFromNib();
  return objects;
}

Ref<View> SceneRegistry::loadNib(const std::string& name, ViewController* owner) const {
  Id ownerId = owner ? Id(owner->weak_from_this().lock()) : Id();
  auto objects = loadNibNamed(name, ownerId);
  for (auto it = objects.rbegin(); it != objects.rend(); ++it)
    if (auto v = as<View>(*it)) return v;
  return nullptr;
}

Ref<Storyboard> Storyboard::named(const std::string& name) {
  if (!SceneRegistry::shared().hasStoryboard(name)) return nullptr;
  return kit::make<Storyboard>(name);
}

Ref<ViewController> Storyboard::instantiateViewController(const std::string& identifier) const {
  auto vc = SceneRegistry::shared().instantiate(name_, identifier);
  if (!vc) {
    raise(InvalidArgumentException,
          "Storyboard (" + name_ + ") doesn't contain a view controller with identifier '" + identifier + "'");
  }
  return vc;
}

Ref<ViewController> Storyboard::instantiateInitialViewController() const {
  return SceneRegistry::shared().instantiateInitial(name_);
}

}  // namespace kit
