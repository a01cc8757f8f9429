// Web view configurations and user content controllers.
#include "kit/web/web_view_configuration.h"

#include "kit/foundation/exception.h"

namespace kit {

void UserContentController::addScriptMessageHandler(const std::shared_ptr<ScriptMessageHandler>& handler,
                                                    const std::string& name) {
  if (!handler) raise(InvalidArgumentException, "Attempt to add a nil script message handler");
  auto it = handlers_.find(name);
  if (it != handlers_.end() && !it->second.expired())
    raise(InvalidArgumentException,
          "Attempt to add script message handler with name '" + name + "' when one already exists.");
  handlers_[name] = handler;
}

void UserContentController::removeScriptMessageHandlerForName(const std::string& name) { handlers_.erase(name); }

std::shared_ptr<ScriptMessageHandler> UserContentController::handlerForName(const std::string& name) const {
  auto it = handlers_.find(name);
  return it == handlers_.end() ? nullptr : it->second.lock();
}

std::vector<std::string> UserContentController::handlerNames() const {
  std::vector<std::string> names;
  for (const auto& [name, handler] : handlers_)
    if (!handler.expired()) names.push_back(name);
  return names;
}

bool UserContentController::deliver(const Ref<ScriptMessage>& message) {
  auto handler = handlerForName(message->name());
  if (!handler) return false;
  Ref<Object> keep = weak_from_this().lock();
  handler->didReceiveScriptMessage(*this, message);
  return true;
}

WebViewConfiguration::WebViewConfiguration()
    : userContentController_(UserContentController::make()), preferences_(kit::make<Preferences>()) {}

void WebViewConfiguration::setUserContentController(Ref<UserContentController> c) {
  userContentController_ = c ? std::move(c) : UserContentController::make();
}

}  // namespace kit
