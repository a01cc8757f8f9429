// Page fetches on a URL session whose events come to the main thread.
#include "kit/web/page_fetcher.h"

#include <cstdio>

#include "kit/dispatch/operation_queue.h"
#include "kit/foundation/values.h"
#include "kit/net/url_session.h"

namespace kit {

namespace {

// Calls `decide` at most once; a decision dropped unmade counts as a no.
std::function<void(bool)> once(std::function<void(bool)> decide) {
  auto pending = std::make_shared<std::function<void(bool)>>(std::move(decide));
  struct Guard {
    std::shared_ptr<std::function<void(bool)>> pending;
    ~Guard() {
      if (*pending) (*pending)(false);
    }
  };
  auto guard = std::shared_ptr<Guard>(new Guard{pending});
  return [pending, guard](bool allow) {
    if (!*pending) return;
    auto call = std::move(*pending);
    *pending = nullptr;
    call(allow);
  };
}

}  // namespace

struct PageFetcher::State {
  std::weak_ptr<Client> client;
  Ref<URLSession> session;
  Ref<URLSessionDataTask> task;
  Ref<MutableData> body;
  Ref<URLResponse> response;
  bool overflowed = false;

  bool isCurrent(const URLSessionTask& t) const { return task && task.get() == &t; }
};

namespace {

class FetchDelegate : public URLSessionDelegate {
 public:
  explicit FetchDelegate(std::weak_ptr<PageFetcher::State> state) : state_(std::move(state)) {}

  void willPerformHTTPRedirection(URLSession&, const Ref<URLSessionTask>& task, const Ref<HTTPURLResponse>& response,
                                  const Ref<URLRequest>& request, RedirectCompletion completion) override {
    auto state = state_.lock();
    auto client = state ? state->client.lock() : nullptr;
    if (!state || !client || !state->isCurrent(*task)) {
      completion(nullptr);
      return;
    }
    Ref<URLSessionTask> keepTask = task;
    client->fetchWillRedirect(response, request,
                              once([weak = state_, keepTask, request, completion](bool allow) {
                                completion(allow ? request : nullptr);
                                auto s = weak.lock();
                                if (!allow && s && s->isCurrent(*keepTask)) {
                                  s->task.reset();
                                  keepTask->cancel();
                                }
                              }));
  }

  void didReceiveResponse(URLSession&, const Ref<URLSessionDataTask>& task, const Ref<URLResponse>& response,
                          ResponseCompletion completion) override {
    auto state = state_.lock();
    auto client = state ? state->client.lock() : nullptr;
    if (!state || !client || !state->isCurrent(*task)) {
      completion(URLSessionResponseDisposition::Cancel);
      return;
    }
    state->response = response;
    Ref<URLSessionTask> keepTask = task;
    client->fetchDidReceiveResponse(response, once([weak = state_, keepTask, completion](bool allow) {
                                      auto s = weak.lock();
                                      if (!allow && s && s->isCurrent(*keepTask)) s->task.reset();
                                      completion(allow ? URLSessionResponseDisposition::Allow
                                                       : URLSessionResponseDisposition::Cancel);
                                    }));
  }

  void didReceiveData(URLSession&, const Ref<URLSessionDataTask>& task, const Ref<Data>& data) override {
    auto state = state_.lock();
    if (!state || !state->isCurrent(*task) || state->overflowed) return;
    if (state->body->length() + data->length() > PageFetcher::MaximumBodyBytes) {
      state->overflowed = true;
      task->cancel();
      return;
    }
    state->body->appendData(*data);
    if (auto client = state->client.lock())
      client->fetchDidReceiveData(static_cast<int64_t>(state->body->length()), task->countOfBytesExpectedToReceive());
  }

  void didCompleteWithError(URLSession&, const Ref<URLSessionTask>& task, const Ref<Error>& error) override {
    auto state = state_.lock();
    if (!state || !state->isCurrent(*task)) return;
    state->task.reset();
    auto client = state->client.lock();
    if (!client) return;
    if (state->overflowed) {
      client->fetchDidFail(Error::make(URLErrorDomain, URLErrorDataLengthExceedsMaximum,
                                       dict({{LocalizedDescriptionKey, "The page is too large."}})));
      return;
    }
    if (error) {
      client->fetchDidFail(error);
      return;
    }
    client->fetchDidFinish(state->response ? state->response : task->response(), state->body);
  }

 private:
  std::weak_ptr<PageFetcher::State> state_;
};

}  // namespace

PageFetcher::PageFetcher(std::weak_ptr<Client> client) : state_(std::make_shared<State>()) {
  state_->client = std::move(client);
}

PageFetcher::~PageFetcher() {
  if (state_->session) state_->session->invalidateAndCancel();
}

void PageFetcher::start(const Ref<URLRequest>& request) {
  cancel();
  if (!state_->session) {
    state_->session = URLSession::sessionWithConfiguration(URLSessionConfiguration::defaultSessionConfiguration(),
                                                           std::make_shared<FetchDelegate>(state_),
                                                           OperationQueue::main().selfAs<OperationQueue>());
  }
  state_->body = MutableData::make();
  state_->response.reset();
  state_->overflowed = false;
  state_->task = state_->session->dataTaskWithRequest(request);
  state_->task->resume();
}

void PageFetcher::cancel() {
  if (!state_->task) return;
  Ref<URLSessionDataTask> task = std::move(state_->task);
  state_->task.reset();
  task->cancel();
}

bool PageFetcher::isFetching() const { return static_cast<bool>(state_->task); }

}  // namespace kit
