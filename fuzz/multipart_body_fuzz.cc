// Fuzzes the multipart body: parts with arbitrary names, file names,
// content and declared lengths, read with arbitrary buffer sizes. A read
// either fails or delivers exactly the announced Content-Length, and no
// name can start a header line of its own: the test server's strict reader
// finds every part again with its content unchanged. The reader also takes
// the raw input as a body.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "kit/foundation/format.h"
#include "kit/foundation/string.h"
#include "kit/net/input_stream.h"
#include "kit/net/testing/multipart_form.h"
#include "net/multipart_form_data.h"

namespace {

// Reads a length-prefixed piece of the input.
std::string take(const uint8_t*& p, const uint8_t* end) {
  if (p == end) return {};
  size_t wanted = *p++;
  size_t n = std::min<size_t>(wanted, static_cast<size_t>(end - p));
  std::string out(reinterpret_cast<const char*>(p), n);
  p += n;
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  kit::test::parseMultipartFormData("multipart/form-data; boundary=B",
                                    std::string_view(reinterpret_cast<const char*>(bytes), size));
  if (size < 2) return 0;
  const uint8_t* p = bytes;
  const uint8_t* end = bytes + size;
  const size_t bufferSize = 1 + (*p++ % 97);
  auto request = kit::MutableURLRequest::make(kit::URL::URLWithString("http://127.0.0.1/upload"));
  auto form = kit::make<SDPStreamingMultipartFormData>(request, kit::StringEncoding::UTF8);
  bool streamLiesAboutLength = false;
  std::vector<std::string> contents;
  while (p < end) {
    uint8_t kind = *p++ % 4;
    std::string name = take(p, end);
    std::string fileName = take(p, end);
    std::string content = take(p, end);
    switch (kind) {
      case 0: form->appendPartWithFormData(kit::Data::make(content), name); break;
      case 1: form->appendPartWithFileData(kit::Data::make(content), name, fileName, "application/octet-stream"); break;
      case 2: {
        int64_t declared = p < end ? (*p++ % 64) : 0;
        if (static_cast<size_t>(declared) > content.size()) streamLiesAboutLength = true;
        form->appendPartWithInputStream(kit::InputStream::inputStreamWithData(kit::Data::make(content)), name, fileName,
                                        declared, "text/plain");
        content.resize(std::min(content.size(), static_cast<size_t>(declared)));
        break;
      }
      default: form->appendPartWithHeaders(nullptr, kit::Data::make(content)); break;
    }
    contents.push_back(content);
  }
  auto finished = form->requestByFinalizingMultipartFormData();
  auto stream = finished->HTTPBodyStream();
  if (!stream) return 0;
  stream->open();
  std::string body;
  std::string buffer(bufferSize, '\0');
  bool failed = false;
  while (true) {
    long n = stream->read(reinterpret_cast<uint8_t*>(buffer.data()), bufferSize);
    if (n < 0) {
      failed = true;
      break;
    }
    if (n == 0) break;
    if (static_cast<size_t>(n) > bufferSize) std::abort();
    body.append(buffer.data(), static_cast<size_t>(n));
  }
  if (failed != streamLiesAboutLength) std::abort();
  if (failed) return 0;
  if (std::to_string(body.size()) != kit::describe(finished->valueForHTTPHeaderField("Content-Length"))) std::abort();
  auto parts =
      kit::test::parseMultipartFormData(kit::describe(finished->valueForHTTPHeaderField("Content-Type")), body);
  if (!parts || parts->size() != contents.size()) std::abort();
  for (size_t i = 0; i < contents.size(); ++i) {
    if ((*parts)[i].content != contents[i]) std::abort();
  }
  return 0;
}
