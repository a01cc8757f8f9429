// Streams, MIME types from extensions and progress objects.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "kit/net/input_stream.h"
#include "kit/net/mime_types.h"
#include "kit/net/progress.h"

namespace kit {
namespace {

TEST(InputStream, DataStreamReadsInPiecesThenReportsTheEnd) {
  auto stream = InputStream::inputStreamWithData(Data::make("hello world"));
  uint8_t buffer[4];
  EXPECT_EQ(stream->read(buffer, sizeof buffer), -1) << "not open yet";
  stream->open();
  EXPECT_EQ(stream->streamStatus(), StreamStatus::Open);
  std::string got;
  long n;
  while ((n = stream->read(buffer, sizeof buffer)) > 0) got.append(reinterpret_cast<char*>(buffer), n);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(got, "hello world");
  EXPECT_EQ(stream->streamStatus(), StreamStatus::AtEnd);
  EXPECT_FALSE(stream->hasBytesAvailable());
  auto copy = std::static_pointer_cast<InputStream>(stream->copy());
  copy->open();
  EXPECT_EQ(copy->readAll()->toString(), "hello world") << "a copy starts over";
}

TEST(InputStream, FileStreamsReadAndWriteAndReportMissingFiles) {
  char pattern[] = "/tmp/kit-stream-XXXXXX";
  std::string dir = mkdtemp(pattern);
  std::string path = dir + "/out.bin";
  auto out = OutputStream::outputStreamToFileAtPath(path, false);
  out->open();
  const uint8_t bytes[] = {1, 2, 3, 0, 255};
  EXPECT_EQ(out->write(bytes, sizeof bytes), 5);
  out->close();
  auto in = InputStream::inputStreamWithFileAtPath(path);
  in->open();
  auto data = in->readAll();
  ASSERT_TRUE(data);
  EXPECT_EQ(data->vector(), std::vector<uint8_t>(bytes, bytes + 5));
  EXPECT_EQ(in->streamStatus(), StreamStatus::AtEnd);
  auto missing = InputStream::inputStreamWithFileAtPath(dir + "/none");
  missing->open();
  EXPECT_EQ(missing->streamStatus(), StreamStatus::Error);
  ASSERT_TRUE(missing->streamError());
  EXPECT_EQ(missing->streamError()->domain(), POSIXErrorDomain);
  uint8_t b;
  EXPECT_EQ(missing->read(&b, 1), -1);
  auto memory = OutputStream::outputStreamToMemory();
  memory->open();
  memory->write(bytes, 2);
  EXPECT_EQ(memory->dataWritten()->length(), 2u);
  unlink(path.c_str());
  rmdir(dir.c_str());
}

TEST(MIMETypes, CommonExtensionsAndTheDefault) {
  EXPECT_EQ(MIMETypeForExtension("PNG"), "image/png");
  EXPECT_EQ(MIMETypeForExtension("json"), "application/json");
  EXPECT_EQ(MIMETypeForExtension("nope"), "");
  EXPECT_EQ(MIMETypeForPathOrDefault("/a/b/photo.jpeg"), "image/jpeg");
  EXPECT_EQ(MIMETypeForPathOrDefault("/a/b.c/noext"), "application/octet-stream");
  EXPECT_EQ(MIMETypeForPathOrDefault(".hidden"), "application/octet-stream");
}

TEST(Progress, FractionObserversAndHandlers) {
  auto progress = Progress::progressWithTotalUnitCount(-1);
  EXPECT_TRUE(progress->isIndeterminate());
  EXPECT_EQ(progress->fractionCompleted(), 0.0);
  std::vector<double> fractions;
  progress->addObserver([&](Progress& p, Progress::Key key) {
    if (key == Progress::Key::FractionCompleted) fractions.push_back(p.fractionCompleted());
  });
  progress->setTotalUnitCount(4);
  progress->setCompletedUnitCount(1);
  progress->setCompletedUnitCount(1);  // no change, no call
  progress->setCompletedUnitCount(4);
  EXPECT_EQ(fractions, (std::vector<double>{0.0, 0.25, 1.0}));
  EXPECT_TRUE(progress->isFinished());

  int cancels = 0, pauses = 0, resumes = 0;
  progress->setCancellationHandler([&] { ++cancels; });
  progress->setPausingHandler([&] { ++pauses; });
  progress->setResumingHandler([&] { ++resumes; });
  progress->pause();
  EXPECT_EQ(pauses, 0) << "not pausable";
  progress->setPausable(true);
  progress->pause();
  progress->pause();
  progress->resume();
  EXPECT_EQ(pauses, 1);
  EXPECT_EQ(resumes, 1);
  progress->cancel();
  progress->cancel();
  EXPECT_EQ(cancels, 1);
  EXPECT_TRUE(progress->isCancelled());
  int late = 0;
  progress->setCancellationHandler([&] { ++late; });
  EXPECT_EQ(late, 1) << "a handler set after cancelling runs at once";
}

}  // namespace
}  // namespace kit
