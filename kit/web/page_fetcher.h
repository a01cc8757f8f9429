// The page fetcher of a web view: fetches documents for real through a
// kit::URLSession of its own, delivering every step on the main thread and
// letting the view decide on each redirect and on the response. One fetch
// runs at a time; starting another cancels the first quietly. Bodies
// larger than MaximumBodyBytes fail with the platform's data-length error.
// The session ends with the fetcher; its invalidation is delivered on the
// main queue, so a test drains that queue before it stops its server.
#pragma once

#include <functional>
#include <memory>

#include "kit/foundation/data.h"
#include "kit/foundation/error.h"
#include "kit/net/url_request.h"
#include "kit/net/url_response.h"

namespace kit {

class URLSession;
class URLSessionDataTask;

class PageFetcher {
 public:
  // Told about the current fetch, on the main thread. The decision
  // callbacks may be called later (but once); a fetch cancelled meanwhile
  // ignores them.
  struct Client {
    virtual ~Client() = default;
    virtual void fetchWillRedirect(const Ref<HTTPURLResponse>& response, const Ref<URLRequest>& next,
                                   std::function<void(bool allow)> decide) = 0;
    virtual void fetchDidReceiveResponse(const Ref<URLResponse>& response, std::function<void(bool allow)> decide) = 0;
    virtual void fetchDidReceiveData(int64_t received, int64_t expected) = 0;
    virtual void fetchDidFinish(const Ref<URLResponse>& response, const Ref<Data>& body) = 0;
    virtual void fetchDidFail(const Ref<Error>& error) = 0;
  };

  static constexpr size_t MaximumBodyBytes = 32u << 20;

  explicit PageFetcher(std::weak_ptr<Client> client);
  ~PageFetcher();
  PageFetcher(const PageFetcher&) = delete;
  PageFetcher& operator=(const PageFetcher&) = delete;

  void start(const Ref<URLRequest>& request);
  // Ends the current fetch without telling the client.
  void cancel();
  bool isFetching() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace kit
