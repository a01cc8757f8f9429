// Multipart bodies byte for byte, read in awkward buffer sizes, throttled,
// copied, and with parts that misbehave.
#include "net/multipart_form_data.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "kit/foundation/values.h"
#include "kit/testing/temp_directory.h"
#include "net/networking_errors.h"

namespace {

kit::Ref<SDPStreamingMultipartFormData> makeForm() {
  auto request = kit::MutableURLRequest::make(kit::URL::URLWithString("http://127.0.0.1/upload"));
  request->setHTTPMethod("POST");
  return kit::make<SDPStreamingMultipartFormData>(request, kit::StringEncoding::UTF8);
}

// Reads a stream to its end with reads of at most `chunk` bytes; "<error>"
// when a read fails. `sizes` receives every read's count.
std::string readAll(const kit::Ref<kit::InputStream>& stream, size_t chunk, std::vector<long>* sizes = nullptr) {
  stream->open();
  std::string out;
  std::vector<uint8_t> buffer(chunk);
  while (true) {
    long n = stream->read(buffer.data(), chunk);
    if (sizes) sizes->push_back(n);
    if (n < 0) return "<error>";
    if (n == 0) break;
    out.append(reinterpret_cast<char*>(buffer.data()), static_cast<size_t>(n));
  }
  stream->close();
  return out;
}

TEST(MultipartFormData, SingleFieldIsByteExact) {
  auto form = makeForm();
  form->appendPartWithFormData(kit::Data::make("1"), "a");
  auto request = form->requestByFinalizingMultipartFormData();
  const std::string& b = form->boundary();
  ASSERT_EQ(b.size(), 25u);
  EXPECT_TRUE(b.starts_with("Boundary+"));
  EXPECT_EQ(b.find_first_not_of("0123456789ABCDEF", 9), std::string::npos);

  std::string expected = "--" + b + "\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n--" + b + "--\r\n";
  EXPECT_EQ(readAll(request->HTTPBodyStream(), 4096), expected);
  EXPECT_EQ(kit::describe(request->valueForHTTPHeaderField("Content-Type")), "multipart/form-data; boundary=" + b);
  EXPECT_EQ(kit::describe(request->valueForHTTPHeaderField("Content-Length")), std::to_string(expected.size()));
}

TEST(MultipartFormData, SmallBuffersDeliverExactlyTheAnnouncedLength) {
  kit::test::TempDirectory dir;
  std::string path = dir.file("photo.png");
  std::ofstream(path) << std::string(1000, 'p');
  auto form = makeForm();
  form->appendPartWithFormData(kit::Data::make("value"), "field");
  kit::Ref<kit::Error> error;
  ASSERT_TRUE(form->appendPartWithFileURL(kit::URL::fileURLWithPath(path), "avatar", &error));
  form->appendPartWithFileData(kit::Data::make("abc"), "doc", "notes.zzq", "text/plain");
  form->appendPartWithInputStream(kit::InputStream::inputStreamWithData(kit::Data::make("stream!")), "s", "s.bin", 7,
                                  "application/octet-stream");
  auto request = form->requestByFinalizingMultipartFormData();
  std::vector<long> sizes;
  auto whole = readAll(request->HTTPBodyStream(), 7, &sizes);
  EXPECT_TRUE(whole.starts_with("--" + form->boundary() +
                                "\r\nContent-Disposition: form-data; name=\"field\"\r\n\r\n"
                                "value\r\n--" +
                                form->boundary() + "\r\n"));
  EXPECT_EQ(std::to_string(whole.size()), kit::describe(request->valueForHTTPHeaderField("Content-Length")));
  for (size_t i = 0; i + 1 < sizes.size(); ++i) EXPECT_LE(sizes[i], 7);
  EXPECT_NE(whole.find("name=\"avatar\"; filename=\"photo.png\"\r\nContent-Type: image/png\r\n\r\n" +
                       std::string(1000, 'p') + "\r\n--"),
            std::string::npos);
  EXPECT_NE(whole.find("filename=\"notes.zzq\"\r\nContent-Type: text/plain"), std::string::npos);
  EXPECT_TRUE(whole.ends_with("stream!\r\n--" + form->boundary() + "--\r\n"));
}

TEST(MultipartFormData, FileURLWithoutKnownExtensionIsOctetStream) {
  kit::test::TempDirectory dir;
  std::string path = dir.file("blob.qqqz");
  std::ofstream(path) << "x";
  auto form = makeForm();
  ASSERT_TRUE(form->appendPartWithFileURL(kit::URL::fileURLWithPath(path), "f", nullptr));
  auto body = readAll(form->requestByFinalizingMultipartFormData()->HTTPBodyStream(), 512);
  EXPECT_NE(body.find("Content-Type: application/octet-stream\r\n"), std::string::npos);
}

TEST(MultipartFormData, BadFileURLsFailAndLeaveTheFormUnchanged) {
  auto form = makeForm();
  kit::Ref<kit::Error> error;
  EXPECT_FALSE(form->appendPartWithFileURL(kit::URL::URLWithString("http://127.0.0.1/a.png"), "f", &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain(), SDPRequestSerializationErrorDomain);
  EXPECT_EQ(error->code(), -1000);
  EXPECT_EQ(kit::describe(error->userInfo()->objectForKey(kit::LocalizedFailureReasonErrorKey)),
            "Expected URL to be a file URL");

  error = nullptr;
  EXPECT_FALSE(form->appendPartWithFileURL(kit::URL::fileURLWithPath("/nonexistent/dir/x.png"), "f", &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), -1000);
  EXPECT_EQ(kit::describe(error->userInfo()->objectForKey(kit::LocalizedFailureReasonErrorKey)),
            "File URL not reachable.");

  EXPECT_TRUE(form->bodyStream()->isEmpty());
  auto request = form->requestByFinalizingMultipartFormData();
  EXPECT_FALSE(request->HTTPBodyStream());
  EXPECT_FALSE(request->valueForHTTPHeaderField("Content-Type"));
}

TEST(MultipartFormData, QuotesAndLineBreaksInNamesCannotEscapeTheHeader) {
  auto form = makeForm();
  form->appendPartWithFileData(kit::Data::make("x"), "a\"\r\nX-Injected: 1", "evil\".png\r\n", "image/png");
  auto body = readAll(form->requestByFinalizingMultipartFormData()->HTTPBodyStream(), 512);
  EXPECT_NE(body.find("name=\"a%22%0D%0AX-Injected: 1\"; filename=\"evil%22.png%0D%0A\"\r\n"), std::string::npos);
  EXPECT_EQ(body.find("\r\nX-Injected"), std::string::npos);
}

TEST(MultipartFormData, StreamShorterThanDeclaredFailsTheRead) {
  auto form = makeForm();
  form->appendPartWithInputStream(kit::InputStream::inputStreamWithData(kit::Data::make("short")), "s", "s.bin", 50,
                                  "application/octet-stream");
  auto stream = form->requestByFinalizingMultipartFormData()->HTTPBodyStream();
  EXPECT_EQ(readAll(stream, 1024), "<error>");
  ASSERT_TRUE(stream->streamError());
  EXPECT_EQ(stream->streamStatus(), kit::StreamStatus::Error);
}

TEST(MultipartFormData, StreamLongerThanDeclaredIsCut) {
  auto form = makeForm();
  form->appendPartWithInputStream(kit::InputStream::inputStreamWithData(kit::Data::make("0123456789")), "s", "s", 4,
                                  "text/plain");
  auto request = form->requestByFinalizingMultipartFormData();
  auto body = readAll(request->HTTPBodyStream(), 1024);
  EXPECT_NE(body.find("\r\n\r\n0123\r\n--"), std::string::npos);
  EXPECT_EQ(std::to_string(body.size()), kit::describe(request->valueForHTTPHeaderField("Content-Length")));
}

TEST(MultipartFormData, MissingFileFailsTheReadInsteadOfShorteningTheBody) {
  kit::test::TempDirectory dir;
  std::string path = dir.file("gone.txt");
  std::ofstream(path) << "soon gone";
  auto form = makeForm();
  ASSERT_TRUE(form->appendPartWithFileURL(kit::URL::fileURLWithPath(path), "f", nullptr));
  std::remove(path.c_str());
  EXPECT_EQ(readAll(form->requestByFinalizingMultipartFormData()->HTTPBodyStream(), 1024), "<error>");
}

TEST(MultipartFormData, ThrottlingCapsEveryReadAndPauses) {
  auto form = makeForm();
  form->appendPartWithFormData(kit::Data::make(std::string(100, 'v')), "field");
  form->throttleBandwidthWithPacketSize(16, 0.2);
  auto stream = form->requestByFinalizingMultipartFormData()->HTTPBodyStream();
  stream->open();
  uint8_t buffer[4096];
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(stream->read(buffer, sizeof buffer), 16);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(590));
  auto body = kit::as<SDPMultipartBodyStream>(stream);
  EXPECT_EQ(body->numberOfBytesInPacket(), 16u);
  // A copy starts unthrottled.
  auto copy = kit::as<SDPMultipartBodyStream>(body->copy());
  EXPECT_EQ(copy->delay(), 0);
  EXPECT_GT(copy->numberOfBytesInPacket(), 1u << 30);
}

TEST(MultipartFormData, ReadBeforeOpenAndAfterCloseGiveNothing) {
  auto form = makeForm();
  form->appendPartWithFormData(kit::Data::make("1"), "a");
  auto stream = form->requestByFinalizingMultipartFormData()->HTTPBodyStream();
  uint8_t buffer[64];
  EXPECT_EQ(stream->read(buffer, sizeof buffer), 0);
  EXPECT_FALSE(stream->hasBytesAvailable());
  stream->open();
  EXPECT_TRUE(stream->hasBytesAvailable());
  stream->close();
  EXPECT_EQ(stream->read(buffer, sizeof buffer), 0);
}

TEST(MultipartFormData, CopyReadsTheWholeBodyAgain) {
  auto form = makeForm();
  form->appendPartWithFormData(kit::Data::make("1"), "a");
  form->appendPartWithFileData(kit::Data::make("bytes"), "b", "b.txt", "text/plain");
  auto stream = form->requestByFinalizingMultipartFormData()->HTTPBodyStream();
  auto first = readAll(stream, 5);
  auto again = readAll(kit::as<kit::InputStream>(stream->copy()), 3);
  EXPECT_EQ(first, again);
  auto body = kit::as<SDPMultipartBodyStream>(stream);
  EXPECT_EQ(body->contentLength(), first.size());
  auto parts = body->HTTPBodyParts();
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_TRUE(parts[0]->hasInitialBoundary && !parts[0]->hasFinalBoundary);
  EXPECT_TRUE(parts[1]->hasFinalBoundary && !parts[1]->hasInitialBoundary);
}

}  // namespace
