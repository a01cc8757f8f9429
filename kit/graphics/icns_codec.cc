// ICNS reading: an own parser of the icon container over the real codecs.
// Entries holding PNG or JPEG 2000 data decode through those readers; the
// classic 32-bit entries ('is32' 16, 'il32' 32, 'ih32' 48, 'it32' 128
// pixels) are run-length coded colour planes with a separate 8-bit mask
// entry ('s8mk', 'l8mk', 'h8mk', 't8mk'); the 'ARGB' entries are run-length
// coded planes with alpha. Every icon is a frame at its own size, the largest
// first. The 1-, 4- and 8-bit palette icons of the oldest files are skipped.
//
// ICNS writing: one PNG entry per image, each under the entry type of its
// size, the order of the images kept.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "kit/graphics/image_codecs.h"
#include "kit/graphics/type_identifiers.h"

namespace kit {

namespace {

uint32_t be32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]; }

struct ClassicKind {
  const char* type;
  const char* mask;
  size_t size;
};
constexpr ClassicKind kClassic[] = {
    {"is32", "s8mk", 16}, {"il32", "l8mk", 32}, {"ih32", "h8mk", 48}, {"it32", "t8mk", 128}};

// Entries whose data may be "ARGB" followed by run-length coded planes.
struct ARGBKind {
  const char* type;
  size_t size;
};
constexpr ARGBKind kARGB[] = {{"ic04", 16}, {"ic05", 32}, {"icsb", 18}, {"icsB", 36}};

enum class Coding { Embedded, Classic, ARGB };

struct Icon {
  Coding coding;
  size_t offset = 0, length = 0;          // the entry's data
  size_t maskOffset = 0, maskLength = 0;  // classic: the mask entry's data, length 0 when absent
  Bytes embedded;                         // embedded: the PNG or JPEG 2000 file
  std::string embeddedType;
  ImageProperties properties;
};

// Expands the run-length coding of `planes` planes of `pixels` bytes each:
// a byte below 0x80 copies that many plus one bytes, any other repeats the
// next byte that many minus 125 times. Plane k goes to out[first + k], then
// every `stride` bytes. Gives the bytes read, or 0 when the data is damaged.
size_t unpackPlanes(const uint8_t* d, size_t n, size_t pixels, int planes, uint8_t* out, int stride, int first) {
  size_t at = 0;
  for (int plane = 0; plane < planes; ++plane) {
    size_t done = 0;
    uint8_t* target = out + first + plane;
    while (done < pixels) {
      if (at >= n) return 0;
      const uint8_t control = d[at++];
      size_t run;
      if (control < 0x80) {
        run = size_t{control} + 1;
        if (run > n - at || run > pixels - done) return 0;
        for (size_t i = 0; i < run; ++i) target[(done + i) * stride] = d[at + i];
        at += run;
      } else {
        run = size_t{control} - 125;
        if (at >= n || run > pixels - done) return 0;
        const uint8_t value = d[at++];
        for (size_t i = 0; i < run; ++i) target[(done + i) * stride] = value;
      }
      done += run;
    }
  }
  return at;
}

class ICNSReader : public ImageReader {
 public:
  ICNSReader(Bytes data, std::vector<Icon> icons, const DecodeLimits& limits)
      : data_(std::move(data)), icons_(std::move(icons)), limits_(limits) {}

  size_t frameCount() const override { return icons_.size(); }

  ImageProperties frameProperties(size_t index) const override {
    return index < icons_.size() ? icons_[index].properties : ImageProperties{};
  }

  FileProperties fileProperties() const override { return {data_->size(), {}, {}}; }

  Ref<Bitmap> decode(size_t index, std::string& error) override {
    if (index >= icons_.size()) {
      error = "icon out of range";
      return nullptr;
    }
    const Icon& icon = icons_[index];
    if (icon.coding == Coding::Embedded) {
      auto open = icon.embeddedType == UTType::PNG ? openPNGReader : openJPEG2000Reader;
      auto reader = open(icon.embedded, true, limits_, error);
      return reader ? reader->decode(0, error) : nullptr;
    }
    const size_t w = icon.properties.pixelWidth, h = icon.properties.pixelHeight, pixels = w * h;
    std::vector<uint8_t> rgba(pixels * 4, 255);
    const uint8_t* d = data_->data() + icon.offset;
    size_t n = icon.length;
    if (icon.coding == Coding::ARGB) {
      // "ARGB", then the alpha, red, green and blue planes.
      const size_t alphaBytes = unpackPlanes(d + 4, n - 4, pixels, 1, rgba.data(), 4, 3);
      if (!alphaBytes || !unpackPlanes(d + 4 + alphaBytes, n - 4 - alphaBytes, pixels, 3, rgba.data(), 4, 0)) {
        error = "icon's ARGB data is damaged";
        return nullptr;
      }
      return codec::fromRGBA(w, h, std::move(rgba), true);
    }
    // The 128-pixel entry starts with four zero bytes.
    if (n >= 4 && w == 128 && be32(d) == 0) d += 4, n -= 4;
    if (n == pixels * 4) {
      // Uncompressed: one unused byte, then red, green and blue.
      for (size_t i = 0; i < pixels; ++i) std::memcpy(&rgba[i * 4], d + i * 4 + 1, 3);
    } else if (!unpackPlanes(d, n, pixels, 3, rgba.data(), 4, 0)) {
      error = "icon's colour data is damaged";
      return nullptr;
    }
    if (icon.maskLength >= pixels) {
      const uint8_t* mask = data_->data() + icon.maskOffset;
      for (size_t i = 0; i < pixels; ++i) rgba[i * 4 + 3] = mask[i];
    }
    return codec::fromRGBA(w, h, std::move(rgba), icon.maskLength >= pixels);
  }

 private:
  Bytes data_;
  std::vector<Icon> icons_;
  DecodeLimits limits_;
};

// Walks the container's entries (type, then length including the 8-byte
// entry header) up to `end`, calling visit(type, offset, length) with each
// entry's data. An entry that runs past the end (not arrived yet, or lying)
// ends the walk.
template <class Visit>
void forEachEntry(const ByteSnapshot& d, size_t end, Visit visit) {
  for (size_t at = 8; at + 8 <= end;) {
    const size_t length = be32(&d[at + 4]);
    if (length < 8 || length > end - at) return;
    if (!visit(&d[at], at + 8, length - 8)) return;
    at += length;
  }
}

}  // namespace

std::unique_ptr<ImageReader> openICNSReader(Bytes data, bool, const DecodeLimits& limits, std::string& error) {
  const auto& d = *data;
  if (d.size() < 8 || std::memcmp(d.data(), "icns", 4) != 0) {
    error = "ICNS header is incomplete";
    return nullptr;
  }
  const size_t end = std::min<size_t>(d.size(), std::max<uint32_t>(be32(&d[4]), 8));

  // The masks of the classic icons, by kind.
  size_t maskOffset[std::size(kClassic)] = {}, maskLength[std::size(kClassic)] = {};
  forEachEntry(d, end, [&](const uint8_t* type, size_t offset, size_t length) {
    for (size_t k = 0; k < std::size(kClassic); ++k) {
      if (std::memcmp(type, kClassic[k].mask, 4) == 0 && length >= kClassic[k].size * kClassic[k].size) {
        maskOffset[k] = offset;
        maskLength[k] = length;
      }
    }
    return true;
  });

  std::vector<Icon> icons;
  bool tooMany = false;
  forEachEntry(d, end, [&](const uint8_t* type, size_t offset, size_t length) {
    const uint8_t* p = d.data() + offset;
    Icon icon;
    icon.offset = offset;
    icon.length = length;
    const size_t classic = std::find_if(std::begin(kClassic), std::end(kClassic),
                                        [&](const ClassicKind& k) { return std::memcmp(type, k.type, 4) == 0; }) -
                           std::begin(kClassic);
    const auto argb = std::find_if(std::begin(kARGB), std::end(kARGB),
                                   [&](const ARGBKind& k) { return std::memcmp(type, k.type, 4) == 0; });
    const std::string embeddedType = detectImageType(p, length);
    if (embeddedType == UTType::PNG || embeddedType == UTType::JPEG2000) {
      icon.coding = Coding::Embedded;
      icon.embeddedType = embeddedType;
      icon.embedded = makeBytes(std::span<const uint8_t>(p, length));
      auto open = embeddedType == UTType::PNG ? openPNGReader : openJPEG2000Reader;
      std::string reason;
      auto reader = open(icon.embedded, true, limits, reason);
      if (!reader) {
        // A damaged or oversized icon is left out; the others remain.
        if (error.empty()) error = "ICNS entry cannot be read: " + reason;
        return true;
      }
      icon.properties = reader->frameProperties(0);
    } else if (classic < std::size(kClassic)) {
      icon.coding = Coding::Classic;
      icon.properties.pixelWidth = icon.properties.pixelHeight = kClassic[classic].size;
      icon.maskOffset = maskOffset[classic];
      icon.maskLength = maskLength[classic];
      icon.properties.hasAlpha = icon.maskLength > 0;
    } else if (argb != std::end(kARGB) && length > 4 && std::memcmp(p, "ARGB", 4) == 0) {
      icon.coding = Coding::ARGB;
      icon.properties.pixelWidth = icon.properties.pixelHeight = argb->size;
      icon.properties.hasAlpha = true;
    } else {
      return true;  // table of contents, version, names, and icons kit does not read
    }
    if (icons.size() >= limits.maxFrames) {
      tooMany = true;
      return false;
    }
    icons.push_back(std::move(icon));
    return true;
  });
  if (tooMany) {
    error = "ICNS has more icons than the decoder's limit";
    return nullptr;
  }
  if (icons.empty()) {
    if (error.empty()) error = "ICNS holds no icons kit can read";
    return nullptr;
  }
  error.clear();
  // The largest icon is the first frame.
  std::stable_sort(icons.begin(), icons.end(), [](const Icon& a, const Icon& b) {
    return a.properties.pixelWidth * a.properties.pixelHeight > b.properties.pixelWidth * b.properties.pixelHeight;
  });
  return std::make_unique<ICNSReader>(std::move(data), std::move(icons), limits);
}

namespace {

// The entry types that hold a PNG of one size.
struct PNGKind {
  const char* type;
  size_t size;
};
constexpr PNGKind kPNGKinds[] = {{"icp4", 16},  {"icp5", 32},  {"icp6", 64},  {"ic07", 128},
                                 {"ic08", 256}, {"ic09", 512}, {"ic10", 1024}};

void putBE32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

}  // namespace

bool writeICNS(const std::vector<EncodeFrame>& frames, std::vector<uint8_t>& out, std::string& error) {
  if (frames.empty()) {
    error = "icon family needs at least one image";
    return false;
  }
  std::vector<uint8_t> file = {'i', 'c', 'n', 's', 0, 0, 0, 0};
  std::vector<const char*> used;
  for (const auto& frame : frames) {
    const Bitmap& b = *frame.bitmap;
    const auto kind = std::find_if(std::begin(kPNGKinds), std::end(kPNGKinds),
                                   [&](const PNGKind& k) { return b.width() == k.size && b.height() == k.size; });
    if (kind == std::end(kPNGKinds)) {
      error = "icon family images are square, 16, 32, 64, 128, 256, 512 or 1024 pixels a side";
      return false;
    }
    if (std::find(used.begin(), used.end(), kind->type) != used.end()) {
      error = "icon family holds one image of each size";
      return false;
    }
    used.push_back(kind->type);
    std::vector<uint8_t> png;
    if (!writePNG(b, png, error)) return false;
    if (png.size() > 0x7fffffffu - file.size()) {
      error = "icon family is too large";
      return false;
    }
    file.insert(file.end(), kind->type, kind->type + 4);
    putBE32(file, static_cast<uint32_t>(png.size() + 8));
    file.insert(file.end(), png.begin(), png.end());
  }
  const auto total = static_cast<uint32_t>(file.size());
  for (int i = 0; i < 4; ++i) file[4 + i] = static_cast<uint8_t>(total >> (24 - 8 * i));
  out.insert(out.end(), file.begin(), file.end());
  return true;
}

}  // namespace kit
