// A loopback image server for the web-image tests and benchmarks, and the
// pictures it serves: baseline and progressive JPEG (libjpeg), plain and
// interlaced PNG (Adam7, written pass by pass), an animated GIF, streamed
// answers in timed chunks, a chunked answer without length, error statuses,
// a silent route, HTTP basic authentication, a cookie, JPEG-typed garbage and
// an HTTPS server with a self-signed certificate. The server's request log
// gives the hits per path and the headers each request carried.
#pragma once

// stdio before libjpeg's header, which uses FILE.
#include <cstdio>
#include <cstdlib>
// clang-format off
#include <jpeglib.h>
// clang-format on
#include <zlib.h>

#include <memory>
#include <string>
#include <vector>

#include "kit/net/testing/test_server.h"
#include "ui/images/testing/apng_test_support.h"
#include "ui/images/testing/gif_test_support.h"

namespace webimagetest {

// A picture with detail everywhere, so that every scan of a progressive
// JPEG carries bytes.
inline std::vector<uint8_t> rgbPicture(int width, int height) {
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  uint32_t noise = 12345;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      noise = noise * 1103515245 + 12345;
      uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      p[0] = static_cast<uint8_t>(x * 255 / width);
      p[1] = static_cast<uint8_t>(y * 255 / height);
      p[2] = static_cast<uint8_t>((noise >> 16) & 0xFF);
    }
  }
  return rgb;
}

inline std::vector<uint8_t> jpeg(int width, int height, bool progressive, int quality = 90) {
  std::vector<uint8_t> rgb = rgbPicture(width, height);
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = &rgb[static_cast<size_t>(cinfo.next_scanline) * width * 3];
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<uint8_t> bytes(out, out + size);
  jpeg_destroy_compress(&cinfo);
  free(out);
  return bytes;
}

// RGBA PNG, Adam7-interlaced when asked (each pass's rows with filter 0).
inline std::vector<uint8_t> png(int width, int height, bool interlaced) {
  std::vector<uint8_t> rgb = rgbPicture(width, height);
  auto pixel = [&](int x, int y, std::vector<uint8_t>& out) {
    const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
    out.insert(out.end(), {p[0], p[1], p[2], 255});
  };
  std::vector<uint8_t> raw;
  if (!interlaced) {
    for (int y = 0; y < height; ++y) {
      raw.push_back(0);
      for (int x = 0; x < width; ++x) pixel(x, y, raw);
    }
  } else {
    const int startX[7] = {0, 4, 0, 2, 0, 1, 0}, startY[7] = {0, 0, 4, 0, 2, 0, 1};
    const int stepX[7] = {8, 8, 4, 4, 2, 2, 1}, stepY[7] = {8, 8, 8, 4, 4, 2, 2};
    for (int pass = 0; pass < 7; ++pass) {
      if (startX[pass] >= width) continue;
      for (int y = startY[pass]; y < height; y += stepY[pass]) {
        raw.push_back(0);
        for (int x = startX[pass]; x < width; x += stepX[pass]) pixel(x, y, raw);
      }
    }
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> deflated(size);
  compress2(deflated.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 6);
  deflated.resize(size);
  apngtest::Chunk header = apngtest::ihdr(static_cast<uint32_t>(width), static_cast<uint32_t>(height));
  header.data.back() = interlaced ? 1 : 0;
  return apngtest::serialize({header, apngtest::idat(std::move(deflated)), apngtest::iend()});
}

inline std::vector<uint8_t> animatedGIF() { return giftest::gifBytes({0.1, 0.1, 0.1}, 0, 16, 16); }

// The bytes in pieces of `size` (the last one shorter).
inline std::vector<std::string> pieces(const std::vector<uint8_t>& bytes, size_t size) {
  std::vector<std::string> out;
  for (size_t at = 0; at < bytes.size(); at += size) {
    out.emplace_back(reinterpret_cast<const char*>(bytes.data()) + at, std::min(size, bytes.size() - at));
  }
  return out;
}

inline std::string text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

inline size_t countScanMarkers(const uint8_t* bytes, size_t length) {
  size_t count = 0;
  for (size_t i = 0; i + 1 < length; ++i) count += bytes[i] == 0xFF && bytes[i + 1] == 0xDA;
  return count;
}

inline kit::test::TestResponse image(const std::vector<uint8_t>& bytes, const char* type) {
  kit::test::TestResponse response;
  response.contentType = type;
  response.body = text(bytes);
  return response;
}

inline kit::test::TestResponse streamed(const std::vector<uint8_t>& bytes, const char* type, size_t chunk,
                                        double pause) {
  kit::test::TestResponse response;
  response.contentType = type;
  response.chunks = pieces(bytes, chunk);
  response.chunkIntervalSeconds = pause;
  return response;
}

struct Pictures {
  std::vector<uint8_t> baselineJPEG = jpeg(64, 48, false);
  std::vector<uint8_t> progressiveJPEG = jpeg(320, 240, true);
  std::vector<uint8_t> smallProgressiveJPEG = jpeg(24, 24, true, 60);
  std::vector<uint8_t> plainPNG = png(40, 30, false);
  std::vector<uint8_t> interlacedPNG = png(160, 120, true);
  std::vector<uint8_t> gif = animatedGIF();
  // Typed JPEG by its first bytes, garbage after them.
  std::vector<uint8_t> corrupt = [] {
    std::vector<uint8_t> bytes = {0xFF, 0xD8, 0xFF};
    for (int i = 0; i < 61; ++i) bytes.push_back(static_cast<uint8_t>('a' + i % 26));
    return bytes;
  }();

  static const Pictures& shared() {
    static const auto* pictures = new Pictures();
    return *pictures;
  }
};

// The routes of the loopback image server.
class ImageServer {
 public:
  ImageServer() : http_(kit::test::TestServer::startHTTP()) {
    const Pictures& p = Pictures::shared();
    http_->route("GET", "/baseline.jpg", image(p.baselineJPEG, "image/jpeg"));
    http_->route("GET", "/progressive.jpg", image(p.progressiveJPEG, "image/jpeg"));
    http_->route("GET", "/plain.png", image(p.plainPNG, "image/png"));
    http_->route("GET", "/interlaced.png", image(p.interlacedPNG, "image/png"));
    http_->route("GET", "/animated.gif", image(p.gif, "image/gif"));
    http_->route("GET", "/img/*", image(p.baselineJPEG, "image/jpeg"));
    // Streams: about eight pieces of the file with pauses between them.
    const size_t jpegPiece = p.progressiveJPEG.size() / 8 + 1;
    http_->route("GET", "/stream/progressive.jpg", streamed(p.progressiveJPEG, "image/jpeg", jpegPiece, 0.25));
    http_->route("GET", "/stream/blur.jpg", streamed(p.progressiveJPEG, "image/jpeg", jpegPiece, 0.45));
    http_->route("GET", "/stream/baseline.jpg", streamed(p.baselineJPEG, "image/jpeg", 300, 0.25));
    http_->route("GET", "/stream/interlaced.png",
                 streamed(p.interlacedPNG, "image/png", p.interlacedPNG.size() / 6 + 1, 0.25));
    http_->route("GET", "/stream/plain.png", streamed(p.plainPNG, "image/png", p.plainPNG.size() / 4 + 1, 0.25));
    http_->route("GET", "/stream/tiny.jpg", streamed(p.smallProgressiveJPEG, "image/jpeg", 16, 0.005));
    http_->route("GET", "/chunked.jpg", streamed(p.baselineJPEG, "image/jpeg", 500, 0));
    http_->route("GET", "/status/304", kit::test::TestResponse::withStatus(304));
    http_->route("GET", "/status/404", kit::test::TestResponse::withStatus(404));
    http_->route("GET", "/status/500", kit::test::TestResponse::withStatus(500));
    kit::test::TestResponse silent;
    silent.silent = true;
    http_->route("GET", "/silent", silent);
    http_->route("GET", "/basic.jpg", [](const kit::test::RecordedRequest& request) {
      // "ann:secret"
      if (request.header("Authorization").value_or("") == "Basic YW5uOnNlY3JldA==") {
        return image(Pictures::shared().baselineJPEG, "image/jpeg");
      }
      auto refused = kit::test::TestResponse::withStatus(401);
      refused.headers.set("WWW-Authenticate", "Basic realm=\"pictures\"");
      return refused;
    });
    auto cookie = image(p.baselineJPEG, "image/jpeg");
    cookie.headers.set("Set-Cookie", "visit=1; Path=/");
    http_->route("GET", "/cookie/set.jpg", cookie);
    http_->route("GET", "/cookie/next.jpg", image(p.baselineJPEG, "image/jpeg"));
    http_->route("GET", "/corrupt.jpg", image(p.corrupt, "image/jpeg"));
    // The pictures again after a pause: "/slow/baseline.jpg", "/slow/plain.png".
    http_->route("GET", "/slow/*", [](const kit::test::RecordedRequest& request) {
      const Pictures& p = Pictures::shared();
      auto answer = request.path.ends_with(".png") ? image(p.plainPNG, "image/png") : image(p.baselineJPEG, "image/jpeg");
      answer.delaySeconds = 0.3;
      return answer;
    });
  }

  kit::test::TestServer& http() { return *http_; }
  std::string url(const std::string& path) const { return http_->url(path); }

  // An HTTPS server with a self-signed certificate, started on first use.
  std::string secureURL(const std::string& path) {
    if (!https_) {
      https_ = kit::test::TestServer::startHTTPS(kit::test::TestCertificates::shared().selfSigned);
      https_->route("GET", "/secure.jpg", image(Pictures::shared().baselineJPEG, "image/jpeg"));
    }
    return https_->url(path);
  }

  // Requests seen for `path`.
  size_t hits(const std::string& path) const {
    size_t count = 0;
    for (const auto& request : http_->requests()) count += request.path == path;
    return count;
  }
  // The headers of the last request for `path`.
  std::optional<kit::HTTPHeaderFields> lastHeaders(const std::string& path) const {
    std::optional<kit::HTTPHeaderFields> found;
    for (const auto& request : http_->requests()) {
      if (request.path == path) found = request.headers;
    }
    return found;
  }

 private:
  std::unique_ptr<kit::test::TestServer> http_;
  std::unique_ptr<kit::test::TestServer> https_;
};

}  // namespace webimagetest
