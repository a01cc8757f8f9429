// ICO and CUR reading (own directory parser over the PNG reader and the DIB
// decoder) and ICO writing with PNG-compressed entries. Each entry is one
// frame at its own size; icons are never extended to a canvas.
#include <cstring>

#include "kit/graphics/bmp_dib.h"
#include "kit/graphics/image_codecs.h"

namespace kit {

namespace {

uint32_t le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

struct Entry {
  size_t width, height;
  uint32_t size, offset;
  int bitsPerPixel;
};

class ICOReader : public ImageReader {
 public:
  ICOReader(Bytes data, std::vector<Entry> entries, const DecodeLimits& limits)
      : data_(std::move(data)), entries_(std::move(entries)), limits_(limits) {}

  size_t frameCount() const override { return entries_.size(); }

  ImageProperties frameProperties(size_t index) const override {
    ImageProperties p;
    if (index >= entries_.size()) return p;
    p.pixelWidth = entries_[index].width;
    p.pixelHeight = entries_[index].height;
    p.hasAlpha = true;
    return p;
  }

  FileProperties fileProperties() const override { return {data_->size(), {}, {}}; }

  Ref<Bitmap> decode(size_t index, std::string& error) override {
    if (index >= entries_.size()) {
      error = "icon entry out of range";
      return nullptr;
    }
    const Entry& e = entries_[index];
    const size_t available = std::min<size_t>(e.size, data_->size() - e.offset);
    const uint8_t* d = data_->data() + e.offset;
    if (available >= 8 && std::memcmp(d, "\x89PNG\r\n\x1a\n", 8) == 0) {
      auto png = makeBytes(std::span<const uint8_t>(d, available));
      auto reader = openPNGReader(png, true, limits_, error);
      return reader ? reader->decode(0, error) : nullptr;
    }
    DIBHeader header;
    if (!readDIBHeader(d, available, header, error)) return nullptr;
    // The header's height counts the colour rows and the mask rows.
    return decodeDIB(d, available, 0, true, header.height / 2, limits_, error);
  }

 private:
  Bytes data_;
  std::vector<Entry> entries_;
  DecodeLimits limits_;
};

void put16(std::vector<uint8_t>& out, uint32_t v) { out.push_back(v & 0xff), out.push_back((v >> 8) & 0xff); }
void put32(std::vector<uint8_t>& out, uint32_t v) { put16(out, v & 0xffff), put16(out, v >> 16); }

}  // namespace

std::unique_ptr<ImageReader> openICOReader(Bytes data, bool, const DecodeLimits& limits, std::string& error) {
  const auto& d = *data;
  if (d.size() < 6 || le16(&d[0]) != 0 || (le16(&d[2]) != 1 && le16(&d[2]) != 2)) {
    error = "icon header is incomplete";
    return nullptr;
  }
  const size_t count = le16(&d[4]);
  if (count == 0) {
    error = "icon has no entries";
    return nullptr;
  }
  if (count > limits.maxFrames) {
    error = "icon has more entries than the decoder's limit";
    return nullptr;
  }
  std::vector<Entry> entries;
  for (size_t i = 0; i < count; ++i) {
    const size_t at = 6 + i * 16;
    if (at + 16 > d.size()) break;
    Entry e;
    e.width = d[at] ? d[at] : 256;
    e.height = d[at + 1] ? d[at + 1] : 256;
    e.bitsPerPixel = le16(&d[at + 6]);
    e.size = le32(&d[at + 8]);
    e.offset = le32(&d[at + 12]);
    // Entries whose data has not arrived (or lies outside the file) are not frames.
    if (e.offset >= d.size() || e.size == 0) continue;
    entries.push_back(e);
  }
  if (entries.empty()) {
    error = "icon entries are incomplete";
    return nullptr;
  }
  return std::make_unique<ICOReader>(std::move(data), std::move(entries), limits);
}

bool writeICO(const std::vector<EncodeFrame>& frames, std::vector<uint8_t>& out, std::string& error) {
  if (frames.empty() || frames.size() > 0xffff) {
    error = "icon needs 1 to 65535 images";
    return false;
  }
  std::vector<std::vector<uint8_t>> pngs;
  for (const auto& f : frames) {
    if (f.bitmap->width() > 256 || f.bitmap->height() > 256) {
      error = "icon images are limited to 256 pixels a side";
      return false;
    }
    std::vector<uint8_t> png;
    if (!writePNG(*f.bitmap, png, error)) return false;
    pngs.push_back(std::move(png));
  }
  put16(out, 0), put16(out, 1), put16(out, static_cast<uint32_t>(frames.size()));
  uint32_t offset = static_cast<uint32_t>(6 + 16 * frames.size());
  for (size_t i = 0; i < frames.size(); ++i) {
    const Bitmap& b = *frames[i].bitmap;
    out.push_back(static_cast<uint8_t>(b.width() & 0xff));
    out.push_back(static_cast<uint8_t>(b.height() & 0xff));
    out.push_back(0), out.push_back(0);
    put16(out, 1), put16(out, 32);
    put32(out, static_cast<uint32_t>(pngs[i].size())), put32(out, offset);
    offset += static_cast<uint32_t>(pngs[i].size());
  }
  for (const auto& png : pngs) out.insert(out.end(), png.begin(), png.end());
  return true;
}

}  // namespace kit
