// Delivery of task events on the delegate queue, and answers back to the
// network thread.
#include "kit/net/session_events.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <type_traits>

#include "kit/dispatch/clock.h"
#include "kit/foundation/format.h"
#include "kit/net/event_lane.h"
#include "kit/net/input_stream.h"
#include "kit/net/task_driver.h"
#include "kit/net/url_error_mapping.h"

namespace kit::netdetail {

namespace {

// Runs `command` on the driver's network thread if the session still exists.
void onDriver(const Weak<URLSession>& weak, uint64_t driverId, std::function<void(TaskDriver&)> command) {
  auto session = weak.lock();
  if (!session) return;
  TransferEngine* engine = &session->engine();
  engine->post([engine, driverId, command = std::move(command)] {
    if (TaskDriver* driver = engine->driver(driverId)) command(*driver);
  });
}

// A completion handler that acts on its first call only.
template <class... Args>
std::function<void(Args...)> once(std::type_identity_t<std::function<void(Args...)>> body) {
  auto called = std::make_shared<std::atomic<bool>>(false);
  return [called, body = std::move(body)](Args... args) {
    if (called->exchange(true)) return;
    body(std::move(args)...);
  };
}

std::string percentEncode(std::string_view in) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : in) {
    if (isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/' || c == ':') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::optional<std::string> percentDecode(std::string_view in) {
  std::string out;
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '%') {
      out += in[i];
      continue;
    }
    if (i + 2 >= in.size() || !isxdigit(static_cast<unsigned char>(in[i + 1])) ||
        !isxdigit(static_cast<unsigned char>(in[i + 2]))) {
      return std::nullopt;
    }
    out += static_cast<char>(std::stoi(std::string(in.substr(i + 1, 2)), nullptr, 16));
    i += 2;
  }
  return out;
}

// Events that call into the session's delegate and nothing else.
constexpr auto kDelegateOnly = EventLane::Reach::DelegateOnly;

constexpr std::string_view kResumeMagic = "kit-url-session-resume-data 1\n";

}  // namespace

double wallNow() { return Clock::wallNow(); }

void postTaskCompletion(const LaneRef& lane, Completion c) {
  const auto reach =
      c.dataCompletion || c.downloadCompletion ? EventLane::Reach::Caller : EventLane::Reach::DelegateOnly;
  lane->post([c = std::move(c)]() mutable {
    auto session = c.task->session();
    c.task->setError(c.error);
    c.task->setState(URLSessionTaskState::Completed);
    Ref<URL> location = c.downloadPath.empty() ? nullptr : fileURL(c.downloadPath);
    // The download file lives only as long as the event that hands it over.
    auto removeDownload = [&c] {
      if (!c.downloadPath.empty()) unlink(c.downloadPath.c_str());
      c.downloadPath.clear();
    };
    if (c.dataCompletion) {
      c.dataCompletion(c.error ? nullptr : (c.body ? c.body : Data::make()), c.response, c.error);
    } else if (c.downloadCompletion) {
      c.downloadCompletion(location, c.response, c.error);
      removeDownload();
    } else if (c.toDelegate && session) {
      if (auto delegate = session->delegate()) {
        if (location) {
          delegate->didFinishDownloading(*session, std::static_pointer_cast<URLSessionDownloadTask>(c.task), location);
        }
        removeDownload();
        delegate->didCompleteWithError(*session, c.task, c.error);
      }
    }
    removeDownload();
    c.dataCompletion = nullptr;
    c.downloadCompletion = nullptr;
    if (session) session->taskFinished(c.task);
  }, reach);
}

void postResponse(const LaneRef& lane, const Ref<URLSessionDataTask>& task, const Ref<URLResponse>& response,
                  TransferEngine*, uint64_t driverId, bool awaited) {
  lane->post([task, response, driverId, awaited] {
    task->setResponse(response);
    auto session = task->session();
    if (!session) return;
    Weak<URLSession> weak = session;
    URLSessionDelegate::ResponseCompletion answer = [](URLSessionResponseDisposition) {};
    if (awaited) {
      answer = once<URLSessionResponseDisposition>([weak, driverId](URLSessionResponseDisposition d) {
        onDriver(weak, driverId, [d](TaskDriver& driver) { driver.answerResponse(d); });
      });
    }
    auto delegate = session->delegate();
    if (delegate && delegate->implements(URLSessionDelegateEvent::DataTaskResponse)) {
      delegate->didReceiveResponse(*session, task, response, answer);
    } else {
      answer(URLSessionResponseDisposition::Allow);
    }
  }, kDelegateOnly);
}

void postData(const LaneRef& lane, const Ref<URLSessionDataTask>& task, const Ref<Data>& data,
              int64_t totalReceived) {
  lane->post([task, data, totalReceived] {
    task->setCounter(URLSessionTaskCounter::BytesReceived, totalReceived);
    auto session = task->session();
    if (!session) return;
    if (auto delegate = session->delegate()) delegate->didReceiveData(*session, task, data);
  }, kDelegateOnly);
}

void postWroteData(const LaneRef& lane, const Ref<URLSessionDownloadTask>& task, int64_t written, int64_t total,
                   int64_t expected) {
  lane->post([task, written, total, expected] {
    task->setCounter(URLSessionTaskCounter::BytesReceived, total);
    auto session = task->session();
    if (!session) return;
    auto delegate = session->delegate();
    if (delegate && delegate->implements(URLSessionDelegateEvent::DownloadWroteData)) {
      delegate->didWriteData(*session, task, written, total, expected);
    }
  }, kDelegateOnly);
}

void postSentBodyData(const LaneRef& lane, const Ref<URLSessionTask>& task, int64_t sent, int64_t total,
                      int64_t expected) {
  lane->post([task, sent, total, expected] {
    task->setCounter(URLSessionTaskCounter::BytesSent, total);
    if (expected >= 0) task->setCounter(URLSessionTaskCounter::BytesExpectedToSend, expected);
    auto session = task->session();
    if (!session) return;
    auto delegate = session->delegate();
    if (delegate && delegate->implements(URLSessionDelegateEvent::SendBodyData)) {
      delegate->didSendBodyData(*session, task, sent, total, expected);
    }
  }, kDelegateOnly);
}

void postRedirect(const LaneRef& lane, const Ref<URLSessionTask>& task, const Ref<HTTPURLResponse>& response,
                  const Ref<URLRequest>& proposed, TransferEngine*, uint64_t driverId) {
  lane->post([task, response, proposed, driverId] {
    auto session = task->session();
    if (!session) return;
    Weak<URLSession> weak = session;
    auto answer = once<Ref<URLRequest>>([weak, driverId](Ref<URLRequest> request) {
      onDriver(weak, driverId, [request](TaskDriver& driver) { driver.answerRedirect(request); });
    });
    auto delegate = session->delegate();
    if (delegate && delegate->implements(URLSessionDelegateEvent::Redirection)) {
      delegate->willPerformHTTPRedirection(*session, task, response, proposed, answer);
    } else {
      answer(proposed);
    }
  }, kDelegateOnly);
}

void postNeedBodyStream(const LaneRef& lane, const Ref<URLSessionTask>& task, TransferEngine*, uint64_t driverId) {
  lane->post([task, driverId] {
    auto session = task->session();
    if (!session) return;
    Weak<URLSession> weak = session;
    auto answer = once<Ref<InputStream>>([weak, driverId](Ref<InputStream> stream) {
      onDriver(weak, driverId, [stream](TaskDriver& driver) { driver.answerBodyStream(stream); });
    });
    auto delegate = session->delegate();
    if (delegate && delegate->implements(URLSessionDelegateEvent::NeedNewBodyStream)) {
      delegate->needNewBodyStream(*session, task, answer);
    } else {
      answer(nullptr);
    }
  }, kDelegateOnly);
}

void postWillCache(const LaneRef& lane, const Ref<URLSessionDataTask>& task, const Ref<CachedURLResponse>& proposed,
                   TransferEngine*, uint64_t driverId) {
  lane->post([task, proposed, driverId] {
    auto session = task->session();
    if (!session) return;
    Weak<URLSession> weak = session;
    auto answer = once<Ref<CachedURLResponse>>([weak, driverId](Ref<CachedURLResponse> cached) {
      onDriver(weak, driverId, [cached](TaskDriver& driver) { driver.answerCache(cached); });
    });
    auto delegate = session->delegate();
    if (delegate && delegate->implements(URLSessionDelegateEvent::WillCacheResponse)) {
      delegate->willCacheResponse(*session, task, proposed, answer);
    } else {
      answer(proposed);
    }
  }, kDelegateOnly);
}

void postHTTPChallenge(const LaneRef& lane, const Ref<URLSessionTask>& task, const Ref<URLProtectionSpace>& space,
                       long previousFailures, const Ref<HTTPURLResponse>& response, TransferEngine*,
                       uint64_t driverId) {
  lane->post([task, space, previousFailures, response, driverId] {
    auto session = task->session();
    if (!session) return;
    Weak<URLSession> weak = session;
    auto answer = once<URLSessionAuthChallengeDisposition, Ref<URLCredential>>(
        [weak, driverId](URLSessionAuthChallengeDisposition d, Ref<URLCredential> credential) {
          onDriver(weak, driverId, [d, credential](TaskDriver& driver) { driver.answerAuthentication(d, credential); });
        });
    auto challenge = std::make_shared<URLAuthenticationChallenge>(space, nullptr, previousFailures, response, nullptr);
    auto delegate = session->delegate();
    if (!delegate) return answer(URLSessionAuthChallengeDisposition::PerformDefaultHandling, nullptr);
    delegate->taskDidReceiveChallenge(*session, task, challenge, answer);
  }, kDelegateOnly);
}

TrustAnswer evaluateTrustByDefault(const Ref<Trust>& trust, const Ref<URL>& url) {
  TrustAnswer answer;
  trust->setPolicies({TrustPolicy::SSL(true, urlHost(url))});
  Ref<Error> error;
  if (trust->evaluateWithError(&error)) {
    answer.accepted = true;
    return answer;
  }
  std::string description = describeURLError(error->code());
  if (url) {
    description += formatString(" You might be connecting to a server that is pretending to be \u201c%s\u201d.",
                                urlHost(url));
  }
  answer.error = makeURLError(error->code(), url, description, error);
  return answer;
}

void postTrustChallenge(const LaneRef& lane, const Ref<URLSessionTask>& task, const Ref<URLProtectionSpace>& space,
                        TransferEngine*, uint64_t driverId) {
  lane->post([task, space, driverId] {
    auto session = task->session();
    if (!session) return;
    Weak<URLSession> weak = session;
    Ref<URL> url = task->currentRequest() ? task->currentRequest()->URL() : nullptr;
    auto answer = once<URLSessionAuthChallengeDisposition, Ref<URLCredential>>(
        [weak, driverId, url](URLSessionAuthChallengeDisposition d, Ref<URLCredential> credential) {
          TrustAnswer result;
          switch (d) {
            case URLSessionAuthChallengeDisposition::UseCredential:
              // Without a credential, as by default (the driver evaluates,
              // knowing what the connection passed before).
              result.accepted = credential != nullptr;
              result.defaultHandling = !credential;
              break;
            case URLSessionAuthChallengeDisposition::PerformDefaultHandling:
              result.defaultHandling = true;
              break;
            case URLSessionAuthChallengeDisposition::CancelAuthenticationChallenge:
            case URLSessionAuthChallengeDisposition::RejectProtectionSpace:
              result.error = makeURLError(URLErrorCancelled, url);
              break;
          }
          if (auto s = weak.lock()) s->engine().answerGate(driverId, std::move(result));
        });
    auto challenge = std::make_shared<URLAuthenticationChallenge>(space, nullptr, 0, nullptr, nullptr);
    auto delegate = session->delegate();
    if (!delegate) return answer(URLSessionAuthChallengeDisposition::PerformDefaultHandling, nullptr);
    if (delegate->implements(URLSessionDelegateEvent::SessionChallenge)) {
      delegate->didReceiveChallenge(*session, challenge, answer);
    } else {
      delegate->taskDidReceiveChallenge(*session, task, challenge, answer);
    }
  }, kDelegateOnly);
}

void postDownloadResumed(const LaneRef& lane, const Ref<URLSessionTask>& task, int64_t offset, int64_t expected,
                         bool toDelegate) {
  lane->post([task, offset, expected, toDelegate] {
    task->setCounter(URLSessionTaskCounter::BytesReceived, offset);
    auto session = task->session();
    if (!session || !toDelegate) return;
    auto delegate = session->delegate();
    if (delegate && delegate->implements(URLSessionDelegateEvent::DownloadResumed)) {
      delegate->didResumeAtOffset(*session, std::static_pointer_cast<URLSessionDownloadTask>(task), offset, expected);
    }
  }, kDelegateOnly);
}

void postBecameDownload(const LaneRef& lane, const Ref<URLSessionDataTask>& from,
                        const Ref<URLSessionDownloadTask>& to, const Ref<URLResponse>& response) {
  lane->post([from, to, response] {
    to->setResponse(response);
    auto session = to->session();
    if (!session) return;
    auto delegate = session->delegate();
    if (delegate && delegate->implements(URLSessionDelegateEvent::DataTaskBecameDownloadTask)) {
      delegate->didBecomeDownloadTask(*session, from, to);
    }
  }, kDelegateOnly);
}

Ref<URLSessionDownloadTask> adoptAsDownload(const Ref<URLSessionTask>& dataTask) {
  auto session = dataTask->session();
  auto data = as<URLSessionDataTask>(dataTask);
  if (!session || !data) return nullptr;
  return session->adoptDownloadTask(data);
}

Ref<Data> encodeResumeData(const Ref<URLRequest>& request, const std::string& path, int64_t offset,
                           const std::string& validator) {
  std::string text(kResumeMagic);
  text += "url=" + percentEncode(urlString(request->URL())) + "\n";
  text += "path=" + percentEncode(path) + "\n";
  text += "offset=" + std::to_string(offset) + "\n";
  text += "validator=" + percentEncode(validator) + "\n";
  return Data::make(text);
}

std::optional<ResumeState> decodeResumeData(const Ref<Data>& data) {
  if (!data || !data->view().starts_with(kResumeMagic)) return std::nullopt;
  ResumeState state;
  std::string_view rest = data->view().substr(kResumeMagic.size());
  bool haveOffset = false;
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    if (end == std::string_view::npos) return std::nullopt;
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end + 1);
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    std::string_view key = line.substr(0, eq);
    auto value = percentDecode(line.substr(eq + 1));
    if (!value) return std::nullopt;
    if (key == "url") {
      state.url = urlFromString(*value);
    } else if (key == "path") {
      state.path = *value;
    } else if (key == "offset") {
      if (value->empty() || value->size() > 18 || value->find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
      }
      state.offset = std::stoll(*value);
      haveOffset = true;
    } else if (key == "validator") {
      state.validator = *value;
    }
  }
  if (!state.url || state.path.empty() || !haveOffset) return std::nullopt;
  return state;
}

}  // namespace kit::netdetail
