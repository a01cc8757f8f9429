// HTTP verbs on the URL session manager.
#include "net/http_session_manager.h"

#include "kit/foundation/format.h"

KIT_DEFINE_CLASS(SDPHTTPSessionManager, SDPURLSessionManager) {}

kit::Ref<SDPHTTPSessionManager> SDPHTTPSessionManager::manager() { return managerWithBaseURL(nullptr); }

kit::Ref<SDPHTTPSessionManager> SDPHTTPSessionManager::managerWithBaseURL(
    const kit::Ref<kit::URL>& baseURL, const kit::Ref<kit::URLSessionConfiguration>& configuration) {
  auto manager = kit::make<SDPHTTPSessionManager>();
  manager->initWithBaseURL(baseURL, configuration);
  return manager;
}

void SDPHTTPSessionManager::initWithBaseURL(const kit::Ref<kit::URL>& baseURL,
                                            const kit::Ref<kit::URLSessionConfiguration>& configuration) {
  initWithSessionConfiguration(configuration);
  kit::Ref<kit::URL> base = baseURL;
  // A base path without its trailing "/" would lose its last segment when
  // relative paths are resolved against it.
  if (base && base->path() && !base->path()->empty() && !base->absoluteText().ends_with("/")) {
    base = base->URLByAppendingPathComponent("", true);
  }
  baseURL_ = base;
  requestSerializer_ = SDPHTTPRequestSerializer::serializer();
  setResponseSerializer(SDPJSONResponseSerializer::serializer());
}

kit::Ref<SDPHTTPRequestSerializer> SDPHTTPSessionManager::requestSerializer() const { return requestSerializer_; }

void SDPHTTPSessionManager::setRequestSerializer(kit::Ref<SDPHTTPRequestSerializer> serializer) {
  requestSerializer_ = std::move(serializer);
}

std::string SDPHTTPSessionManager::absoluteURLString(std::string_view URLString) const {
  auto url = kit::URL::URLWithString(URLString, baseURL_);
  return url ? url->absoluteText() : std::string();
}

void SDPHTTPSessionManager::failLater(const Failure& failure, const kit::Ref<kit::Error>& error) {
  if (!failure) return;
  auto queue = completionQueue();
  (queue ? *queue : kit::Queue::main()).async([failure, error] { failure(nullptr, error); });
}

SDPURLSessionManager::CompletionHandler SDPHTTPSessionManager::completionFor(
    const std::shared_ptr<kit::Ref<kit::URLSessionDataTask>>& slot, Success success, Failure failure) {
  return [slot, success = std::move(success), failure = std::move(failure)](
             const kit::Ref<kit::URLResponse>&, const kit::Id& responseObject, const kit::Ref<kit::Error>& error) {
    // The task reaches its own callbacks; the slot lets go of it after.
    kit::Ref<kit::URLSessionDataTask> task = std::move(*slot);
    if (error) {
      if (failure) failure(task, error);
    } else if (success) {
      success(task, responseObject);
    }
  };
}

kit::Ref<kit::URLSessionDataTask> SDPHTTPSessionManager::dataTaskWithHTTPMethod(
    std::string_view method, std::string_view URLString, const kit::Id& parameters, ProgressBlock uploadProgress,
    ProgressBlock downloadProgress, Success success, Failure failure) {
  kit::Ref<kit::Error> serializationError;
  auto request =
      requestSerializer_->requestWithMethod(method, absoluteURLString(URLString), parameters, &serializationError);
  if (serializationError || !request) {
    failLater(failure, serializationError);
    return nullptr;
  }
  auto slot = std::make_shared<kit::Ref<kit::URLSessionDataTask>>();
  auto task = dataTaskWithRequest(request, std::move(uploadProgress), std::move(downloadProgress),
                                  completionFor(slot, std::move(success), std::move(failure)));
  *slot = task;
  return task;
}

namespace {

kit::Ref<kit::URLSessionDataTask> started(kit::Ref<kit::URLSessionDataTask> task) {
  if (task) task->resume();
  return task;
}

}  // namespace

kit::Ref<kit::URLSessionDataTask> SDPHTTPSessionManager::GET(std::string_view URLString, const kit::Id& parameters,
                                                             Success success, Failure failure) {
  return GET(URLString, parameters, nullptr, std::move(success), std::move(failure));
}

kit::Ref<kit::URLSessionDataTask> SDPHTTPSessionManager::GET(std::string_view URLString, const kit::Id& parameters,
                                                             ProgressBlock downloadProgress, Success success,
                                                             Failure failure) {
  return started(dataTaskWithHTTPMethod("GET", URLString, parameters, nullptr, std::move(downloadProgress),
                                        std::move(success), std::move(failure)));
}

kit::Ref<kit::URLSessionDataTask> SDPHTTPSessionManager::HEAD(std::string_view URLString, const kit::Id& parameters,
                                                              TaskSuccess success, Failure failure) {
  Success taskOnly;
  if (success) {
    taskOnly = [success](const kit::Ref<kit::URLSessionDataTask>& task, const kit::Id&) { success(task); };
  }
  return started(
      dataTaskWithHTTPMethod("HEAD", URLString, parameters, nullptr, nullptr, std::move(taskOnly), std::move(failure)));
}

kit::Ref<kit::URLSessionDataTask> SDPHTTPSessionManager::POST(std::string_view URLString, const kit::Id& parameters,
                                                              Success success, Failure failure) {
  return POST(URLString, parameters, ProgressBlock(), std::move(success), std::move(failure));
}

kit::Ref<kit::URLSessionDataTask> SDPHTTPSessionManager::POST(std::string_view URLString, const kit::Id& parameters,
                                                              ProgressBlock uploadProgress, Success success,
                                                              Failure failure) {
  return started(dataTaskWithHTTPMethod("POST", URLString, parameters, std::move(uploadProgress), nullptr,
                                        std::move(success), std::move(failure)));
}

kit::Ref<kit::URLSessionDataTask> SDPHTTPSessionManager::POST(std::string_view URLString, const kit::Id& parameters,
                                                              SDPConstructingBody body, Success success,
                                                              Failure failure) {
  return POST(URLString, parameters, std::move(body), ProgressBlock(), std::move(success), std::move(failure));
}

kit::Ref<kit::URLSessionDataTask> SDPHTTPSessionManager::POST(std::string_view URLString, const kit::Id& parameters,
                                                              SDPConstructingBody body, ProgressBlock uploadProgress,
                                                              Success success, Failure failure) {
  kit::Ref<kit::Error> serializationError;
  auto request = requestSerializer_->multipartFormRequestWithMethod("POST", absoluteURLString(URLString), parameters,
                                                                    body.block, &serializationError);
  if (serializationError || !request) {
    failLater(failure, serializationError);
    return nullptr;
  }
  auto slot = std::make_shared<kit::Ref<kit::URLSessionDataTask>>();
  kit::Ref<kit::URLSessionDataTask> task = uploadTaskWithStreamedRequest(
      request, std::move(uploadProgress), completionFor(slot, std::move(success), std::move(failure)));
  *slot = task;
  return started(task);
}

kit::Ref<kit::URLSessionDataTask> SDPHTTPSessionManager::PUT(std::string_view URLString, const kit::Id& parameters,
                                                             Success success, Failure failure) {
  return started(
      dataTaskWithHTTPMethod("PUT", URLString, parameters, nullptr, nullptr, std::move(success), std::move(failure)));
}

kit::Ref<kit::URLSessionDataTask> SDPHTTPSessionManager::PATCH(std::string_view URLString, const kit::Id& parameters,
                                                               Success success, Failure failure) {
  return started(
      dataTaskWithHTTPMethod("PATCH", URLString, parameters, nullptr, nullptr, std::move(success), std::move(failure)));
}

kit::Ref<kit::URLSessionDataTask> SDPHTTPSessionManager::DELETE(std::string_view URLString, const kit::Id& parameters,
                                                                Success success, Failure failure) {
  return started(dataTaskWithHTTPMethod("DELETE", URLString, parameters, nullptr, nullptr, std::move(success),
                                        std::move(failure)));
}

std::string SDPHTTPSessionManager::description() const {
  return kit::formatString("<%s: %p, baseURL: %@, session: %@, operationQueue: %@>", className(),
                           static_cast<const void*>(this), baseURL_, session(), operationQueue());
}

kit::Ref<SDPURLSessionManager> SDPHTTPSessionManager::makeSameClass(
    const kit::Ref<kit::URLSessionConfiguration>& configuration) const {
  auto manager = kit::make<SDPHTTPSessionManager>();
  manager->initWithBaseURL(baseURL_, configuration);
  return manager;
}

kit::Id SDPHTTPSessionManager::copy() const {
  auto copy = std::static_pointer_cast<SDPHTTPSessionManager>(makeSameClass(session()->configuration()));
  copy->setRequestSerializer(kit::as<SDPHTTPRequestSerializer>(requestSerializer_->copy()));
  if (auto serializer = responseSerializer()) {
    copy->setResponseSerializer(kit::as<SDPHTTPResponseSerializer>(serializer->copy()));
  }
  if (auto policy = securityPolicy()) copy->setSecurityPolicy(kit::as<SDPSecurityPolicy>(policy->copy()));
  return copy;
}

// ---- Archiving

void SDPHTTPSessionManager::encodeWithCoder(kit::KeyedArchiver& coder) const {
  SDPURLSessionManager::encodeWithCoder(coder);
  coder.encodeObject(baseURL_, "baseURL");
  if (auto configuration = session() ? session()->configuration() : nullptr) {
    if (kit::KeyedArchiver::canArchiveObject(*configuration)) {
      coder.encodeObject(configuration, "sessionConfiguration");
    } else if (configuration->identifier()) {
      coder.encodeObject(kit::str(*configuration->identifier()), "identifier");
    }
  }
  coder.encodeObject(requestSerializer_, "requestSerializer");
  coder.encodeObject(responseSerializer(), "responseSerializer");
  coder.encodeObject(securityPolicy(), "securityPolicy");
}

bool SDPHTTPSessionManager::initWithCoder(kit::KeyedUnarchiver& coder) {
  if (!coder.requiresSecureCoding()) return false;
  // Everything is read before the session exists, so an archive that turns
  // out to be bad leaves no session behind.
  auto baseURL = coder.decodeObjectOfClass<kit::URL>("baseURL");
  auto configuration = coder.decodeObjectOfClass<kit::URLSessionConfiguration>("sessionConfiguration");
  if (!configuration) {
    auto identifier = coder.decodeObjectOfClass<kit::String>("identifier");
    if (identifier && !identifier->empty()) {
      configuration = kit::URLSessionConfiguration::backgroundSessionConfigurationWithIdentifier(identifier->utf8());
    }
  }
  auto requestSerializer = coder.decodeObjectOfClass<SDPHTTPRequestSerializer>("requestSerializer");
  auto responseSerializer = coder.decodeObjectOfClass<SDPHTTPResponseSerializer>("responseSerializer");
  auto policy = coder.decodeObjectOfClass<SDPSecurityPolicy>("securityPolicy");

  initWithBaseURL(baseURL, configuration);
  if (requestSerializer) setRequestSerializer(requestSerializer);
  if (responseSerializer) setResponseSerializer(responseSerializer);
  if (policy) setSecurityPolicy(policy);
  return true;
}
