// Shape checks for property-list bytes (see property_list_guard.h).

#include "kit/foundation/property_list_guard.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kit::detail {

bool xmlPropertyListFits(std::string_view s, size_t maxDepth, std::string& problem) {
  if (s.find('\0') != std::string_view::npos) {
    problem = "the XML property list holds a NUL byte";
    return false;
  }
  size_t depth = 0;
  auto startsWith = [&](size_t at, std::string_view what) { return s.substr(at, what.size()) == what; };
  for (size_t i = s.find('<'); i != std::string_view::npos; i = s.find('<', i + 1)) {
    if (startsWith(i, "<!--")) {
      i = s.find("-->", i);
      if (i == std::string_view::npos) break;
      continue;
    }
    if (startsWith(i, "<![CDATA[")) {
      i = s.find("]]>", i);
      if (i == std::string_view::npos) break;
      continue;
    }
    if (startsWith(i, "</array") || startsWith(i, "</dict")) {
      if (depth > 0) --depth;
      continue;
    }
    size_t nameLength = startsWith(i, "<array") ? 6 : startsWith(i, "<dict") ? 5 : 0;
    if (nameLength == 0 || i + nameLength >= s.size()) continue;
    char after = s[i + nameLength];
    if (after != '>' && after != '/' && after != ' ' && after != '\t' && after != '\n' && after != '\r') continue;
    size_t close = s.find('>', i);
    if (close != std::string_view::npos && s[close - 1] == '/') continue;  // <array/>
    if (++depth > maxDepth) {
      problem = "the property list nests too deeply";
      return false;
    }
  }
  return true;
}

namespace {

uint64_t readBigEndian(const unsigned char* p, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i) v = v << 8 | p[i];
  return v;
}

}  // namespace

bool binaryPropertyListFits(std::string_view bytes, size_t maxDepth, size_t maxNodes, std::string& problem) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t size = bytes.size();
  constexpr size_t HeaderSize = 8, TrailerSize = 32;
  if (size < HeaderSize + TrailerSize) {
    problem = "the binary property list is too short";
    return false;
  }
  const unsigned char* trailer = data + size - TrailerSize;
  const size_t offsetSize = trailer[6], refSize = trailer[7];
  const uint64_t objectCount = readBigEndian(trailer + 8, 8);
  const uint64_t top = readBigEndian(trailer + 16, 8);
  const uint64_t tableOffset = readBigEndian(trailer + 24, 8);
  const size_t bodyEnd = size - TrailerSize;
  if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8 || objectCount == 0 || top >= objectCount ||
      tableOffset < HeaderSize || tableOffset > bodyEnd || objectCount > (bodyEnd - tableOffset) / offsetSize) {
    problem = "the binary property list's trailer is inconsistent";
    return false;
  }
  auto offsetOf = [&](uint64_t index) { return readBigEndian(data + tableOffset + index * offsetSize, offsetSize); };

  // The count of a container or string at `pos` (just past the marker),
  // moving `pos` past an extended count.
  auto readCount = [&](unsigned marker, uint64_t& pos, uint64_t& count) {
    count = marker & 0xF;
    if (count != 0xF) return true;
    if (pos >= tableOffset || (data[pos] >> 4) != 0x1) return false;
    size_t width = size_t(1) << (data[pos] & 0xF);
    if (width > 8 || pos + 1 + width > tableOffset) return false;
    count = readBigEndian(data + pos + 1, width);
    pos += 1 + width;
    return true;
  };

  // The references held by an object. False when the object runs out of
  // range, or is a string holding a NUL (which libplist cannot represent
  // and aborts on).
  auto children = [&](uint64_t index, std::vector<uint64_t>& out) {
    out.clear();
    uint64_t at = offsetOf(index);
    if (at < HeaderSize || at >= tableOffset) {
      problem = "an object of the binary property list is out of range";
      return false;
    }
    unsigned marker = data[at];
    unsigned type = marker >> 4;
    uint64_t pos = at + 1, count = 0;
    if (type == 0x5 || type == 0x6) {  // ASCII or UTF-16 string
      size_t width = type == 0x5 ? 1 : 2;
      if (!readCount(marker, pos, count) || count > (tableOffset - pos) / width) {
        problem = "a string of the binary property list is out of range";
        return false;
      }
      for (uint64_t k = 0; k < count; ++k) {
        if (readBigEndian(data + pos + k * width, width) == 0) {
          problem = "a string of the binary property list holds a NUL character";
          return false;
        }
      }
      return true;
    }
    if (type != 0xA && type != 0xC && type != 0xD) return true;  // another scalar
    if (!readCount(marker, pos, count)) {
      problem = "an object of the binary property list is out of range";
      return false;
    }
    uint64_t refs = type == 0xD ? count * 2 : count;
    if (count > (tableOffset - pos) / refSize || refs > (tableOffset - pos) / refSize) {
      problem = "an object of the binary property list is out of range";
      return false;
    }
    out.reserve(refs);
    for (uint64_t k = 0; k < refs; ++k) {
      uint64_t ref = readBigEndian(data + pos + k * refSize, refSize);
      if (ref >= objectCount) {
        problem = "an object of the binary property list is out of range";
        return false;
      }
      out.push_back(ref);
    }
    return true;
  };

  // Depth-first walk from the top object computing, for every reachable
  // object, its height and the number of values it expands to.
  enum : uint8_t { Unseen, Open, Done };
  std::vector<uint8_t> state(objectCount, Unseen);
  std::vector<uint32_t> height(objectCount, 0);
  std::vector<uint64_t> expanded(objectCount, 0);
  struct Frame {
    uint64_t index;
    std::vector<uint64_t> refs;
    size_t next = 0;
  };
  std::vector<Frame> stack;
  auto open = [&](uint64_t index) {
    Frame frame{index, {}, 0};
    if (!children(index, frame.refs)) return false;
    state[index] = Open;
    stack.push_back(std::move(frame));
    if (stack.size() > maxDepth) {
      problem = "the property list nests too deeply";
      return false;
    }
    return true;
  };
  if (!open(top)) return false;
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next < frame.refs.size()) {
      uint64_t child = frame.refs[frame.next++];
      if (state[child] == Open) {
        problem = "the binary property list refers to itself";
        return false;
      }
      if (state[child] == Unseen && !open(child)) return false;
      continue;
    }
    uint32_t h = 0;
    uint64_t n = 1;
    for (uint64_t child : frame.refs) {
      h = std::max(h, height[child]);
      n += expanded[child];
      if (n > maxNodes) {
        problem = "the binary property list expands to too many values";
        return false;
      }
    }
    if (h + 1 > maxDepth) {
      problem = "the property list nests too deeply";
      return false;
    }
    height[frame.index] = h + 1;
    expanded[frame.index] = n;
    state[frame.index] = Done;
    stack.pop_back();
  }
  return true;
}

}  // namespace kit::detail
