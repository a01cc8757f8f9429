// Download tasks (temporary files, progress, resume data, a data task that
// becomes a download), file URLs and the URL cache through a session.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "kit/foundation/format.h"
#include "kit/net/testing/recording_delegate.h"
#include "kit/net/testing/test_server.h"
#include "kit/net/url_cache.h"
#include "kit/net/url_session.h"

namespace kit {
namespace {

using test::Latch;
using test::RecordingDelegate;
using test::TestResponse;
using test::TestServer;

Ref<URL> url(const std::string& text) { return URL::URLWithString(text); }

bool exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string tempDir() {
  char pattern[] = "/tmp/kit-net-test-XXXXXX";
  return mkdtemp(pattern);
}

class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server = TestServer::startHTTP();
    delegate = std::make_shared<RecordingDelegate>();
    session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration(), delegate,
                                                   nullptr);
  }
  void TearDown() override {
    session->invalidateAndCancel();
    EXPECT_TRUE(delegate->waitForEvent("invalid"));
    session = nullptr;
    server = nullptr;
  }
  std::unique_ptr<TestServer> server;
  std::shared_ptr<RecordingDelegate> delegate;
  Ref<URLSession> session;
};

TEST_F(DownloadTest, TemporaryFileExistsDuringFinishEventAndIsRemovedAfter) {
  TestResponse chunked;
  chunked.chunks = {std::string(5000, 'a'), std::string(5000, 'b')};
  chunked.chunkIntervalSeconds = 0.05;
  server->route("GET", "/file", chunked);
  std::string contents;
  delegate->onFinishDownloading = [&](const Ref<URL>& location) { contents = readFile(location->path()->utf8()); };
  auto task = session->downloadTaskWithURL(url(server->url("/file")));
  task->resume();
  ASSERT_TRUE(delegate->waitForCompletion(task->taskIdentifier()));
  auto events = delegate->events();
  std::vector<std::string> names;
  Ref<URL> location;
  int64_t lastTotal = 0;
  for (const auto& e : events) {
    if (e.task != task->taskIdentifier()) continue;
    if (names.empty() || names.back() != e.name) names.push_back(e.name);
    if (e.name == "wrote") {
      EXPECT_GT(e.b, lastTotal);
      lastTotal = e.b;
    }
    if (e.name == "finishDownloading") {
      location = e.location;
      EXPECT_TRUE(e.locationExisted);
    }
  }
  EXPECT_EQ(names, (std::vector<std::string>{"wrote", "finishDownloading", "complete"}));
  EXPECT_EQ(lastTotal, 10000);
  EXPECT_EQ(contents, std::string(5000, 'a') + std::string(5000, 'b'));
  ASSERT_TRUE(location);
  EXPECT_FALSE(exists(location->path()->utf8()));
}

TEST_F(DownloadTest, CompletionHandlerGetsTheFileForTheLengthOfTheCall) {
  server->route("GET", "/f", TestResponse::text("download me"));
  Latch done;
  std::string contents, path;
  session->downloadTaskWithURL(url(server->url("/f")), [&](Ref<URL> location, Ref<URLResponse>, Ref<Error> error) {
    EXPECT_FALSE(error);
    path = location->path()->utf8();
    contents = readFile(path);
    done.open();
  })->resume();
  ASSERT_TRUE(done.wait());
  EXPECT_EQ(contents, "download me");
  // The file goes once the handler has returned; wait for that on the queue.
  Latch listed;
  session->getAllTasksWithCompletionHandler([&](std::vector<Ref<URLSessionTask>>) { listed.open(); });
  ASSERT_TRUE(listed.wait());
  EXPECT_FALSE(exists(path));
}

TEST_F(DownloadTest, CancelledDownloadResumesFromItsResumeData) {
  const std::string full = std::string(1000, 'x') + std::string(1000, 'y');
  server->route("GET", "/big", [full](const test::RecordedRequest& r) {
    if (auto range = r.header("Range")) {
      EXPECT_EQ(*range, "bytes=1000-");
      EXPECT_EQ(r.header("If-Range"), "\"v1\"");
      // The server answers ranges itself: it sends 206 with bytes 1000-1999.
      TestResponse whole = TestResponse::text(full);
      whole.headers.set("ETag", "\"v1\"");
      return whole;
    }
    TestResponse slow;
    slow.headers.set("ETag", "\"v1\"");
    slow.chunks = {full.substr(0, 1000), full.substr(1000)};
    slow.chunkIntervalSeconds = 30;
    return slow;
  });
  auto first = session->downloadTaskWithURL(url(server->url("/big")));
  first->resume();
  ASSERT_TRUE(delegate->waitForEvent("wrote"));
  Latch produced;
  Ref<Data> resumeData;
  first->cancelByProducingResumeData([&](Ref<Data> data) {
    resumeData = data;
    produced.open();
  });
  ASSERT_TRUE(produced.wait());
  ASSERT_TRUE(resumeData);
  ASSERT_TRUE(delegate->waitForCompletion(first->taskIdentifier()));
  EXPECT_EQ(delegate->completion(first->taskIdentifier())->error->code(), URLErrorCancelled);

  EXPECT_FALSE(session->downloadTaskWithResumeData(Data::make("garbage")));
  std::string contents;
  delegate->onFinishDownloading = [&](const Ref<URL>& location) { contents = readFile(location->path()->utf8()); };
  auto second = session->downloadTaskWithResumeData(resumeData);
  ASSERT_TRUE(second);
  second->resume();
  ASSERT_TRUE(delegate->waitForCompletion(second->taskIdentifier()));
  EXPECT_FALSE(delegate->completion(second->taskIdentifier())->error);
  EXPECT_EQ(contents, full);
  bool resumedAt1000 = false;
  for (const auto& e : delegate->events()) {
    if (e.task == second->taskIdentifier() && e.name == "resumed") resumedAt1000 = e.a == 1000 && e.b == 2000;
  }
  EXPECT_TRUE(resumedAt1000);
}

TEST_F(DownloadTest, DataTaskBecomesADownloadTask) {
  server->route("GET", "/x", TestResponse::text("becomes a file"));
  delegate->onResponse = [](const Ref<URLResponse>&, URLSessionDelegate::ResponseCompletion completion) {
    completion(URLSessionResponseDisposition::BecomeDownload);
  };
  std::string contents;
  delegate->onFinishDownloading = [&](const Ref<URL>& location) { contents = readFile(location->path()->utf8()); };
  auto task = session->dataTaskWithURL(url(server->url("/x")));
  task->resume();
  ASSERT_TRUE(delegate->waitForEvent("complete"));
  auto events = delegate->events();
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events[0].name, "response");
  EXPECT_EQ(events[1].name, "becameDownload");
  uint64_t download = static_cast<uint64_t>(events[1].a);
  EXPECT_NE(download, task->taskIdentifier());
  ASSERT_TRUE(delegate->waitForCompletion(download));
  EXPECT_EQ(contents, "becomes a file");
  EXPECT_FALSE(delegate->completion(task->taskIdentifier())) << "the data task ends without its own completion";
}

TEST(FileURL, DataTaskReadsAFileAndReportsAMissingOne) {
  std::string dir = tempDir();
  std::string path = dir + "/page.html";
  std::ofstream(path) << "<p>local</p>";
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
  Latch found, missing;
  Ref<Data> data;
  Ref<URLResponse> response;
  Ref<Error> missingError;
  session->dataTaskWithURL(URL::fileURLWithPath(path), [&](Ref<Data> d, Ref<URLResponse> r, Ref<Error>) {
    data = d;
    response = r;
    found.open();
  })->resume();
  session->dataTaskWithURL(URL::fileURLWithPath(dir + "/none.html"), [&](Ref<Data>, Ref<URLResponse>, Ref<Error> e) {
    missingError = e;
    missing.open();
  })->resume();
  ASSERT_TRUE(found.wait());
  ASSERT_TRUE(missing.wait());
  EXPECT_EQ(data->toString(), "<p>local</p>");
  EXPECT_EQ(describe(response->MIMEType()), "text/html");
  EXPECT_EQ(response->expectedContentLength(), 12);
  EXPECT_FALSE(as<HTTPURLResponse>(response));
  ASSERT_TRUE(missingError);
  EXPECT_EQ(missingError->code(), URLErrorFileDoesNotExist);
  unlink(path.c_str());
  rmdir(dir.c_str());
}

TEST(FileURL, AFIFOIsRefusedWithoutHoldingTheSession) {
  std::string dir = tempDir();
  const std::string fifo = dir + "/page.html";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  auto session = URLSession::sessionWithConfiguration(URLSessionConfiguration::ephemeralSessionConfiguration());
  Latch loaded, uploaded;
  Ref<Error> loadError, uploadError;
  session->dataTaskWithURL(URL::fileURLWithPath(fifo), [&](Ref<Data>, Ref<URLResponse>, Ref<Error> e) {
    loadError = e;
    loaded.open();
  })->resume();
  auto request = MutableURLRequest::make(URL::URLWithString("http://127.0.0.1:9/upload"));
  request->setHTTPMethod("POST");
  session->uploadTaskWithRequestFromFile(request, URL::fileURLWithPath(fifo), [&](Ref<Data>, Ref<URLResponse>, Ref<Error> e) {
    uploadError = e;
    uploaded.open();
  })->resume();
  const bool answered = loaded.wait(10) && uploaded.wait(10);
  if (!answered) {
    ADD_FAILURE() << "the session blocked on a FIFO";
    for (int i = 0; i < 2; ++i) {  // lets each blocked open return
      const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (writer >= 0) close(writer);
    }
  }
  session->invalidateAndCancel();
  if (answered) {
    ASSERT_TRUE(loadError);
    EXPECT_EQ(loadError->code(), URLErrorResourceUnavailable);
    ASSERT_TRUE(uploadError);
    EXPECT_EQ(uploadError->code(), URLErrorFileDoesNotExist);
  }
  unlink(fifo.c_str());
  rmdir(dir.c_str());
}

TEST(URLCacheSession, FreshResponsesComeFromTheCacheAndDontLoadFailsWithoutOne) {
  auto server = TestServer::startHTTP();
  int served = 0;
  server->route("GET", "/cached", [&served](const test::RecordedRequest&) {
    TestResponse r = TestResponse::text("cached body #" + std::to_string(++served));
    r.headers.set("Cache-Control", "max-age=60");
    return r;
  });
  auto config = URLSessionConfiguration::ephemeralSessionConfiguration();
  config->URLCache = URLCache::make(1 << 20, 0, "");
  auto session = URLSession::sessionWithConfiguration(config);
  auto fetch = [&](Ref<URLRequest> request) {
    Latch done;
    std::string body;
    long code = 0;
    session->dataTaskWithRequest(request, [&](Ref<Data> d, Ref<URLResponse>, Ref<Error> e) {
      body = d ? d->toString() : "";
      code = e ? e->code() : 0;
      done.open();
    })->resume();
    EXPECT_TRUE(done.wait());
    return std::make_pair(body, code);
  };
  auto request = URLRequest::make(url(server->url("/cached")));
  EXPECT_EQ(fetch(request).first, "cached body #1");
  EXPECT_EQ(fetch(request).first, "cached body #1");
  EXPECT_EQ(server->requestCount(), 1u);
  auto reload = URLRequest::make(url(server->url("/cached")), URLRequestCachePolicy::ReloadIgnoringLocalCacheData);
  EXPECT_EQ(fetch(reload).first, "cached body #2");
  auto offline = URLRequest::make(url(server->url("/other")), URLRequestCachePolicy::ReturnCacheDataDontLoad);
  EXPECT_EQ(fetch(offline).second, URLErrorResourceUnavailable);
  EXPECT_EQ(server->requestCount(), 2u);
  session = nullptr;
}

}  // namespace
}  // namespace kit
